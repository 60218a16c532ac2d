#include "crash/stack_tracer.h"

namespace trellon {

const TclStackFrames& TclStackTracer::GetStackFrames(const TclExceptionInformation& information) {
  frames_.clear();
  BeginWalk(information.Context);
  TclStackFrame frame;
  while (frames_.size() < kMaxFrames && NextFrame(frame)) {
    Fill(frame);
    frames_.push_back(std::move(frame));
    frame = TclStackFrame();
  }
  if (frames_.empty() && information.ExceptionRecord.ExceptionAddress != 0) {
    frame.Address = information.ExceptionRecord.ExceptionAddress;
    frame.ReturnAddress = information.ExceptionRecord.ExceptionCode == kNativeException ||
                          information.ExceptionRecord.ExceptionCode == kNativeReRaise;
    Fill(frame);
    frames_.push_back(std::move(frame));
  }
  return frames_;
}

void TclStackTracer::Fill(TclStackFrame& frame) {
  frame.ModuleName = GetModuleName(frame.Address);
  if (frame.ModuleName.empty()) return;  // outside every module: the frame stays unnamed
  // A return address lies after its call, which may be the last instruction of a function.
  const uint64_t lookup =
      frame.ReturnAddress && frame.Address > 0 ? frame.Address - 1 : frame.Address;
  frame.ProcedureName = GetProcedureName(lookup);
  frame.FileName = GetSourceLine(lookup, frame.LineNumber);
}

RecordedStackTracer::RecordedStackTracer(TclStackFrames frames,
                                         std::unique_ptr<SymbolSource> symbols)
    : recorded_(std::move(frames)), symbols_(std::move(symbols)) {}

void RecordedStackTracer::BeginWalk(const TclProcessorContext& context) {
  next_ = 0;
  for (size_t i = 0; i < recorded_.size(); ++i) {
    if (recorded_[i].Address == context.InstructionPointer) {
      next_ = i;
      return;
    }
  }
}

bool RecordedStackTracer::NextFrame(TclStackFrame& frame) {
  if (next_ >= recorded_.size()) return false;
  frame.Address = recorded_[next_].Address;
  frame.ReturnAddress = recorded_[next_].ReturnAddress;
  ++next_;
  return true;
}

std::string RecordedStackTracer::GetProcedureName(uint64_t address) {
  return symbols_ ? symbols_->ProcedureName(address) : std::string();
}

std::string RecordedStackTracer::GetSourceLine(uint64_t address, int32_t& line) {
  return symbols_ ? symbols_->SourceLine(address, line) : std::string();
}

std::string RecordedStackTracer::GetModuleName(uint64_t address) {
  return symbols_ ? symbols_->ModuleName(address) : std::string();
}

}  // namespace trellon
