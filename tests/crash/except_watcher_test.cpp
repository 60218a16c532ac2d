// The watcher on real exceptions of this process: which frames report, with what, and which do
// not.
#include "crash/except_watcher.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>
#include <thread>

#include "base/expected_exceptions.h"
#include "crash/exception_report.h"
#include "support/temporary_directory.h"

namespace trellon {
namespace {

int throwLine = 0;

[[noreturn]] __attribute__((noinline)) void ThrowRuntimeError(const char* message) {
  throwLine = __LINE__ + 1;
  throw std::runtime_error(message);
}

struct Guard {
  ~Guard() { ++destroyed; }
  static inline int destroyed = 0;
};

// Only cleans up on the way out: no report.
__attribute__((noinline)) void ThroughCleanup() {
  Guard guard;
  ThrowRuntimeError("through cleanup");
}

// Looks at the exception and lets it pass: a report.
__attribute__((noinline)) void ThroughFilter() {
  try {
    ThroughCleanup();
  } catch (const std::logic_error&) {
    ADD_FAILURE() << "a runtime_error is no logic_error";
  }
}

// One frame per level: the volatile read after the call keeps the compiler from a loop.
__attribute__((noinline)) int ThrowAtDepth(int depth) {
  volatile int level = depth;
  if (depth < 0) return 0;
  if (depth == 0) ThrowRuntimeError("deep");
  return ThrowAtDepth(depth - 1) + level;
}

// A retry that expects its failures and handles them itself.
__attribute__((noinline)) void RetryQuietly() {
  const ExpectedExceptions expected;
  try {
    ThroughFilter();
  } catch (const std::runtime_error&) {
  }
}

// One that expects only some: the others go on.
__attribute__((noinline)) void ExpectOnlyLogicErrors() {
  const ExpectedExceptions expected;
  try {
    ThrowRuntimeError("escapes");
  } catch (const std::logic_error&) {
  }
}

struct Report {
  uint32_t code;
  uint32_t flags;
  uint64_t address;
  bool withObject;
  TclExceptionObject object;
  bool unhandled;
  TclStackFrames frames;
};

class ExceptWatcherTest : public ::testing::Test {
 protected:
  ExceptWatcherTest() {
    watcher.OnNativeException = [this](TclExceptWatcher& sender, const TclExceptionObject* e,
                                       const TclExceptionInformation& ei, TclStackTracer& tracer) {
      EXPECT_EQ(&sender, &watcher);
      reports.push_back({ei.ExceptionRecord.ExceptionCode, ei.ExceptionRecord.ExceptionFlags,
                         ei.ExceptionRecord.ExceptionAddress, e != nullptr,
                         e ? *e : TclExceptionObject(), ei.Unhandled, tracer.GetStackFrames(ei)});
    };
  }

  TclExceptWatcher watcher;
  std::vector<Report> reports;
};

TEST_F(ExceptWatcherTest, AnExceptionCaughtByACatchAllIsReportedOnceWithWhereItWasThrown) {
  try {
    ThrowRuntimeError("boom");
  } catch (...) {
  }
  ASSERT_EQ(reports.size(), 1u) << "the unwinding that follows does not report";
  const Report& report = reports[0];
  EXPECT_EQ(report.code, kNativeException);
  EXPECT_EQ(report.flags, kNonContinuable);
  ASSERT_TRUE(report.withObject);
  EXPECT_EQ(report.object.ClassName, "std::runtime_error");
  EXPECT_EQ(report.object.Message, "boom");
  EXPECT_FALSE(report.unhandled);
  ASSERT_GE(report.frames.size(), 2u);
  EXPECT_EQ(report.frames[0].Address, report.address);
  EXPECT_EQ(report.frames[0].ProcedureName, "(anonymous namespace)::ThrowRuntimeError");
  EXPECT_EQ(FileNameOf(report.frames[0].FileName), "except_watcher_test.cpp");
  EXPECT_EQ(report.frames[0].LineNumber, throwLine);
  EXPECT_EQ(FileNameOf(report.frames[0].ModuleName), "trellon_crash_tests");
  EXPECT_NE(report.frames[1].ProcedureName.find("AnExceptionCaughtByACatchAll"), std::string::npos)
      << report.frames[1].ProcedureName;
}

TEST_F(ExceptWatcherTest, EveryFrameThatExaminesReportsCleanupFramesDoNot) {
  Guard::destroyed = 0;
  try {
    ThroughFilter();
  } catch (const std::exception& error) {
    EXPECT_STREQ(error.what(), "through cleanup");
  }
  EXPECT_EQ(Guard::destroyed, 1);
  ASSERT_EQ(reports.size(), 2u) << "the filter that passes it on, and the catch";
  for (const Report& report : reports) {
    EXPECT_EQ(report.code, kNativeException);
    EXPECT_TRUE(report.withObject);
    EXPECT_EQ(report.frames[0].ProcedureName, "(anonymous namespace)::ThrowRuntimeError");
    EXPECT_EQ(report.frames[1].ProcedureName, "(anonymous namespace)::ThroughCleanup");
  }
}

TEST_F(ExceptWatcherTest, ThrownAgainItIsReportedWithoutItsObject) {
  try {
    try {
      ThrowRuntimeError("again");
    } catch (...) {
      throw;
    }
  } catch (const std::runtime_error&) {
  }
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].code, kNativeException);
  EXPECT_EQ(reports[1].code, kNativeReRaise);
  EXPECT_EQ(reports[1].flags, kNonContinuable);
  EXPECT_FALSE(reports[1].withObject);
  EXPECT_NE(reports[1].frames[0].ProcedureName.find("ThrownAgainItIsReported"), std::string::npos);

  // A stored exception thrown once more carries its object.
  reports.clear();
  const std::exception_ptr stored = std::make_exception_ptr(std::out_of_range("stored"));
  try {
    std::rethrow_exception(stored);
  } catch (...) {
  }
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].code, kNativeException);
  EXPECT_EQ(reports[0].object.ClassName, "std::out_of_range");
}

TEST_F(ExceptWatcherTest, AtMostHundredFramesOfADeepStack) {
  try {
    ThrowAtDepth(150);
  } catch (const std::runtime_error&) {
  }
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].frames.size(), TclStackTracer::kMaxFrames);
  EXPECT_EQ(reports[0].frames[1].ProcedureName, "(anonymous namespace)::ThrowAtDepth");
}

TEST_F(ExceptWatcherTest, NothingIsReportedInactiveOnOtherThreadsOrWhenExpected) {
  watcher.SetActive(false);
  EXPECT_EQ(TclExceptWatcher::ActiveWatcher(), nullptr);
  try {
    ThrowRuntimeError("inactive");
  } catch (...) {
  }
  watcher.SetActive(true);
  EXPECT_EQ(TclExceptWatcher::ActiveWatcher(), &watcher);

  std::thread other([] {
    try {
      ThrowRuntimeError("other thread");
    } catch (...) {
    }
  });
  other.join();

  RetryQuietly();
  EXPECT_TRUE(reports.empty());

  // What escapes the frame that expects it is reported further out.
  try {
    ExpectOnlyLogicErrors();
  } catch (const std::runtime_error&) {
  }
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].object.Message, "escapes");
}

// An exception that no frame takes is reported once on the terminate path; the log of that
// report is written before the program ends.
void ThrowUncaught(const std::string& reportFile, bool throughNoexcept) {
  TclExceptWatcher watcher;
  watcher.OnNativeException = [&](TclExceptWatcher&, const TclExceptionObject* e,
                                  const TclExceptionInformation& ei, TclStackTracer& tracer) {
    std::ofstream(reportFile, std::ios::app)
        << HexText(ei.ExceptionRecord.ExceptionCode) << " " << (e ? e->Message : "-") << " "
        << ei.Unhandled << " " << tracer.GetStackFrames(ei)[0].ProcedureName << "\n";
  };
  if (throughNoexcept) {
    [&]() noexcept { ThrowRuntimeError("through noexcept"); }();
  }
  // A thread of its own, where no frame catches: the death test's statement is inside one.
  std::thread([&] {
    watcher.SetActive(false);
    TclExceptWatcher own;
    own.OnNativeException = watcher.OnNativeException;
    ThrowRuntimeError("uncaught");
  }).join();
}

TEST(ExceptWatcherDeathTest, AnExceptionNoFrameTakesIsReportedOnceBeforeTheEnd) {
  test_support::TemporaryDirectory directory;
  const std::string reportFile = directory.File("reports");
  EXPECT_EXIT(ThrowUncaught(reportFile, false), testing::KilledBySignal(SIGABRT), "uncaught");
  EXPECT_EQ(test_support::ReadText(reportFile),
            "0EEDFADE uncaught 1 (anonymous namespace)::ThrowRuntimeError\n");

  const std::string noexceptFile = directory.File("noexcept");
  EXPECT_EXIT(ThrowUncaught(noexceptFile, true), testing::KilledBySignal(SIGABRT), "noexcept");
  EXPECT_EQ(test_support::ReadText(noexceptFile),
            "0EEDFADE through noexcept 1 (anonymous namespace)::ThrowRuntimeError\n");
}

}  // namespace
}  // namespace trellon
