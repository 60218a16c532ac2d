// The tracer of the calling thread's own stack: a notification runs in the search for a handler,
// before any frame of the exception has been left, so the frames from the throw outwards are
// still below the caller; the walk starts at the one the context names.
#include <unistd.h>

#include <vector>

#include "crash/live_stack_linux.h"
#include "crash/stack_tracer.h"

namespace trellon {
namespace {

// Room for the notification's own frames and the runtime's on top of the report's 100.
constexpr size_t kLiveFrames = 512;

class LiveStackTracer final : public TclStackTracer {
 public:
  LiveStackTracer() : frames_(kLiveFrames) {}

  void BeginWalk(const TclProcessorContext& context) override {
    count_ = CaptureLiveStack(frames_.data(), frames_.size());
    next_ = count_;
    for (size_t i = 0; i < count_; ++i) {
      if (frames_[i].address == context.InstructionPointer &&
          frames_[i].stackPointer == context.StackPointer) {
        next_ = i;
        return;
      }
    }
  }

  bool NextFrame(TclStackFrame& frame) override {
    if (next_ >= count_) return false;
    frame.Address = frames_[next_].address;
    frame.ReturnAddress = frames_[next_].returnAddress;
    ++next_;
    return true;
  }

  std::string GetProcedureName(uint64_t address) override {
    return Symbols().ProcedureName(address);
  }
  std::string GetSourceLine(uint64_t address, int32_t& line) override {
    return Symbols().SourceLine(address, line);
  }
  std::string GetModuleName(uint64_t address) override { return Symbols().ModuleName(address); }
  std::vector<TclSourceLocation> GetSourceLocations(uint64_t address) override {
    return Symbols().SourceLocations(address);
  }

 private:
  SymbolSource& Symbols() {
    if (!symbols_) symbols_ = CreateSymbolSource(getpid());
    return *symbols_;
  }

  std::vector<LiveFrame> frames_;
  size_t count_ = 0;
  size_t next_ = 0;
  std::unique_ptr<SymbolSource> symbols_;
};

}  // namespace

std::unique_ptr<TclStackTracer> CreateStackTracer() {
  return std::make_unique<LiveStackTracer>();
}

}  // namespace trellon
