#include "crash/stack_tracer.h"

namespace trellon {

const TclStackFrames& TclStackTracer::GetStackFrames(const TclExceptionInformation& information) {
  frames_.clear();
  BeginWalk(information.Context);
  TclStackFrame frame;
  while (frames_.size() < kMaxFrames && NextFrame(frame)) {
    Add(frame);
    frame = TclStackFrame();
  }
  if (frames_.empty() && information.ExceptionRecord.ExceptionAddress != 0) {
    frame.Address = information.ExceptionRecord.ExceptionAddress;
    frame.ReturnAddress = information.ExceptionRecord.ExceptionCode == kNativeException ||
                          information.ExceptionRecord.ExceptionCode == kNativeReRaise;
    Add(frame);
  }
  return frames_;
}

std::vector<TclSourceLocation> TclStackTracer::GetSourceLocations(uint64_t address) {
  TclSourceLocation location;
  location.ProcedureName = GetProcedureName(address);
  location.FileName = GetSourceLine(address, location.LineNumber);
  return {location};
}

void TclStackTracer::Add(const TclStackFrame& walked) {
  TclStackFrame frame = walked;
  frame.ModuleName = GetModuleName(frame.Address);
  if (frame.ModuleName.empty()) {  // outside every module: the frame stays unnamed
    frames_.push_back(std::move(frame));
    return;
  }
  // A return address lies after its call, which may be the last instruction of a function.
  const uint64_t lookup =
      frame.ReturnAddress && frame.Address > 0 ? frame.Address - 1 : frame.Address;
  std::vector<TclSourceLocation> locations = GetSourceLocations(lookup);
  if (locations.empty()) locations.emplace_back();
  for (TclSourceLocation& location : locations) {
    if (frames_.size() >= kMaxFrames) return;
    frame.ProcedureName = std::move(location.ProcedureName);
    frame.FileName = std::move(location.FileName);
    frame.LineNumber = location.LineNumber;
    frames_.push_back(frame);
  }
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

std::vector<TclSourceLocation> RecordedStackTracer::GetSourceLocations(uint64_t address) {
  return symbols_ ? symbols_->SourceLocations(address)
                  : TclStackTracer::GetSourceLocations(address);
}

}  // namespace trellon
