#include "crash/exception_report.h"

#include <gtest/gtest.h>

#include <deque>

#include "crash/stack_tracer.h"

namespace trellon {
namespace {

TEST(ExceptionReportTest, LinesOfAnExceptionObjectAndOfAFaultOnAnotherThread) {
  TclExceptionInformation information;
  information.ExceptionRecord.ExceptionCode = kNativeException;
  information.ExceptionRecord.ExceptionFlags = kNonContinuable;
  information.ExceptionRecord.ExceptionAddress = 0x55D4C3A2B1C0;
  TclStackFrames frames(2);
  frames[0].ModuleName = "/opt/trellon/trellon";
  frames[0].ProcedureName = "TVX710MainWindow::Timer1Timer";
  frames[0].FileName = "/src/app/main_window.cpp";
  frames[0].LineNumber = 228;
  // Outside every module: no names at all.
  const TclExceptionObject object{"EComPort", "Unable to open com port (win error code: 2)"};
  ExceptionReportInput input{&object, &information, &frames, ""};
  EXPECT_EQ(FormatExceptionReport(input),
            (std::vector<std::string>{
                "Exception detected: ", "  EComPort: Unable to open com port (win error code: 2)",
                "  Code : 0EEDFADE", "  Flags: 00000001", "  Addr : 55D4C3A2B1C0", "  Stack:",
                "    trellon.TVX710MainWindow::Timer1Timer @ main_window.cpp.228", "    . @ .0"}));

  information.ExceptionRecord = TclExceptionRecord();
  information.ExceptionRecord.ExceptionCode = kAccessViolation;
  information.ExceptionRecord.ExceptionAddress = 0x1234;
  frames.resize(1);
  frames[0].FileName.clear();
  frames[0].LineNumber = 0;
  ExceptionReportInput fault{nullptr, &information, &frames, "QThread (4321)"};
  EXPECT_EQ(
      FormatExceptionReport(fault),
      (std::vector<std::string>{"Exception detected: ", "  Code : C0000005", "  Flags: 00000000",
                                "  Addr : 00001234", "  Thread: QThread (4321)",
                                "  Stack:", "    trellon.TVX710MainWindow::Timer1Timer @ .0"}));
}

TEST(ExceptionReportTest, ProcedureNamesWithoutParametersVersionsOrOwnNamespace) {
  EXPECT_EQ(ReadableProcedureName("_ZN7trellon16TVX710MainWindow11Timer1TimerEv"),
            "TVX710MainWindow::Timer1Timer");
  EXPECT_EQ(ReadableProcedureName("_ZNK7trellon3Foo3BarERKSt6vectorIiSaIiEE"), "Foo::Bar");
  EXPECT_EQ(ReadableProcedureName("_ZZN7trellon16TVX710MainWindow12WireHandlersEvENKUlvE_clEv"),
            "TVX710MainWindow::WireHandlers()::{lambda()#1}::operator()");
  EXPECT_EQ(ReadableProcedureName("_ZN7QObject5eventEP6QEvent"), "QObject::event");
  EXPECT_EQ(ReadableProcedureName("__libc_start_main@@GLIBC_2.34"), "__libc_start_main");
  EXPECT_EQ(ReadableProcedureName("_ZN12_GLOBAL__N_116WriteThroughNullEPi.constprop.0"),
            "(anonymous namespace)::WriteThroughNull");
  EXPECT_EQ(
      ReadableProcedureName("_ZN7trellon10RunHandlerIRSt8functionIFvvEEEEvRNS_13ErrorReporterEOT_"),
      "RunHandler<std::function<void ()>&>")
      << "without the return type of a template function";
  EXPECT_EQ(ReadableProcedureName("_ZN7QObjectnwEm"), "QObject::operator new");
  EXPECT_EQ(ReadableProcedureName("_ZZNK7trellon7IniFile4SaveEvENKUliE_clEi"),
            "IniFile::Save() const::{lambda(int)#1}::operator()");
  EXPECT_EQ(ReadableProcedureName("main"), "main");
  EXPECT_EQ(ReadableProcedureName(""), "");
  EXPECT_EQ(ReadableTypeName("trellon::EComPort"), "EComPort");
  EXPECT_EQ(ReadableTypeName("std::runtime_error"), "std::runtime_error");
}

TEST(ExceptionReportTest, HexadecimalWithAtLeastEightDigits) {
  EXPECT_EQ(HexText(0), "00000000");
  EXPECT_EQ(HexText(0x0EEDFADE), "0EEDFADE");
  EXPECT_EQ(HexText(0x7FAF5FB1A26F), "7FAF5FB1A26F");
  EXPECT_EQ(HexText(~uint64_t{0}), "FFFFFFFFFFFFFFFF");
}

// A walk of given length over addresses 1, 2, 3, ...; even addresses lie in no module.
class CountingTracer final : public TclStackTracer {
 public:
  explicit CountingTracer(size_t depth) : depth_(depth) {}
  void BeginWalk(const TclProcessorContext&) override { next_ = 0; }
  bool NextFrame(TclStackFrame& frame) override {
    if (next_ >= depth_) return false;
    frame.Address = ++next_;
    return true;
  }
  std::string GetProcedureName(uint64_t address) override {
    lookups.push_back(address);
    return "Function" + std::to_string(address);
  }
  std::string GetSourceLine(uint64_t, int32_t& line) override {
    line = 7;
    return "file.cpp";
  }
  std::string GetModuleName(uint64_t address) override {
    return address % 2 == 0 ? "" : "/bin/program";
  }

  std::deque<uint64_t> lookups;

 private:
  size_t depth_;
  size_t next_ = 0;
};

TEST(StackTracerTest, AtMostHundredFramesReturnAddressesLookedUpInsideTheCall) {
  CountingTracer tracer(150);
  const TclStackFrames& frames = tracer.GetStackFrames(TclExceptionInformation());
  ASSERT_EQ(frames.size(), TclStackTracer::kMaxFrames);
  EXPECT_EQ(frames[0].Address, 1u);
  EXPECT_EQ(frames[0].ProcedureName, "Function0") << "looked up one byte before the return";
  EXPECT_EQ(frames[0].FileName, "file.cpp");
  EXPECT_EQ(frames[0].LineNumber, 7);
  EXPECT_EQ(frames[1].ModuleName, "");
  EXPECT_EQ(frames[1].ProcedureName, "") << "outside every module";
  EXPECT_EQ(frames[1].LineNumber, 0);
}

TEST(StackTracerTest, AWalkWithoutFramesGivesTheExceptionsAddressOrNothing) {
  CountingTracer tracer(0);
  TclExceptionInformation information;
  information.ExceptionRecord.ExceptionCode = kAccessViolation;
  information.ExceptionRecord.ExceptionAddress = 0x41;
  const TclStackFrames& frames = tracer.GetStackFrames(information);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].Address, 0x41u);
  EXPECT_EQ(frames[0].ProcedureName, "Function65") << "a fault's address is the instruction";
  information.ExceptionRecord.ExceptionAddress = 0;
  EXPECT_TRUE(tracer.GetStackFrames(information).empty());
}

TEST(StackTracerTest, RecordedFramesStartAtTheFaultingInstruction) {
  TclStackFrames recorded(4);
  for (size_t i = 0; i < recorded.size(); ++i) recorded[i].Address = 0x100 + i;
  recorded[2].ReturnAddress = false;
  RecordedStackTracer tracer(recorded, nullptr);
  TclExceptionInformation information;
  information.Context.InstructionPointer = 0x102;
  const TclStackFrames& frames = tracer.GetStackFrames(information);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].Address, 0x102u);
  EXPECT_FALSE(frames[0].ReturnAddress);
  EXPECT_EQ(frames[1].Address, 0x103u);
}

}  // namespace
}  // namespace trellon
