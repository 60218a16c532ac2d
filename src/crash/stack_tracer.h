#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "crash/exception_information.h"

namespace trellon {

// One frame of a walked stack.
struct TclStackFrame {
  // The full path of the module (program or shared library) holding Address; empty when the
  // address lies in none.
  std::string ModuleName;
  uint64_t Address = 0;
  // Address is where a call returns to (every frame but a fault's own): its symbol and line are
  // looked up one byte before, inside the call.
  bool ReturnAddress = true;
  std::string ProcedureName;
  // The source file (as the debug information names it) and line; empty and 0 without debug
  // information.
  std::string FileName;
  int32_t LineNumber = 0;
};

// The frames of one walk, innermost first.
using TclStackFrames = std::vector<TclStackFrame>;

// The function and source line at a code address. Code that the compiler inlined gives one
// location per inlined call, innermost first: the inlined function at its own line, then the
// function it was inlined into at the line of that call, and so on out to the function the
// address lies in.
struct TclSourceLocation {
  std::string ProcedureName;
  std::string FileName;
  int32_t LineNumber = 0;
};

// Walks the stack of a captured exception and names the code addresses on it. The walk and the
// symbols are this platform's; GetStackFrames puts them together.
class TclStackTracer {
 public:
  // A report has at most this many frame lines.
  static constexpr size_t kMaxFrames = 100;

  virtual ~TclStackTracer() = default;

  // Prepares a walk that starts at the frame the context describes.
  virtual void BeginWalk(const TclProcessorContext& context) = 0;
  // Steps one frame: a frame with Address and ReturnAddress set, or false when the walk ends.
  virtual bool NextFrame(TclStackFrame& frame) = 0;
  // The symbol's name for a code address (empty when no symbol is found).
  virtual std::string GetProcedureName(uint64_t address) = 0;
  // The source file and line for a code address; empty text and line unchanged when none is
  // found.
  virtual std::string GetSourceLine(uint64_t address, int32_t& line) = 0;
  // The full path of the module holding an address; empty when it lies in none.
  virtual std::string GetModuleName(uint64_t address) = 0;
  // The locations at a code address, innermost first; by default the one that GetProcedureName
  // and GetSourceLine give.
  virtual std::vector<TclSourceLocation> GetSourceLocations(uint64_t address);

  // Walks the captured exception: at most kMaxFrames frames, each with its module, procedure,
  // file and line; a stack frame holding inlined calls gives a frame for each of them. A walk
  // without frames gives one frame for the exception's address (none when that is 0).
  const TclStackFrames& GetStackFrames(const TclExceptionInformation& information);
  const TclStackFrames& StackFrames() const { return frames_; }

 private:
  // Appends the frames of one stack frame.
  void Add(const TclStackFrame& walked);

  TclStackFrames frames_;
};

// Names code addresses of one process: module, symbol, source file and line.
class SymbolSource {
 public:
  virtual ~SymbolSource() = default;
  virtual std::string ModuleName(uint64_t address) = 0;
  virtual std::string ProcedureName(uint64_t address) = 0;
  virtual std::string SourceLine(uint64_t address, int32_t& line) = 0;
  // Innermost first, as TclStackTracer::GetSourceLocations.
  virtual std::vector<TclSourceLocation> SourceLocations(uint64_t address) = 0;
};

// This platform's symbols of the process with this id, read when they are first needed and kept.
std::unique_ptr<SymbolSource> CreateSymbolSource(int64_t processId);

// This platform's tracer of the calling thread's own stack, for notifications that run while the
// exception's frames are still on it; its symbols are read at the first lookup and kept.
std::unique_ptr<TclStackTracer> CreateStackTracer();

// A tracer over frames collected elsewhere (by a crashed process), named through `symbols`.
class RecordedStackTracer final : public TclStackTracer {
 public:
  RecordedStackTracer(TclStackFrames frames, std::unique_ptr<SymbolSource> symbols);

  // The walk starts at the recorded frame whose address is the context's instruction pointer,
  // or at the first one when none is.
  void BeginWalk(const TclProcessorContext& context) override;
  bool NextFrame(TclStackFrame& frame) override;
  std::string GetProcedureName(uint64_t address) override;
  std::string GetSourceLine(uint64_t address, int32_t& line) override;
  std::string GetModuleName(uint64_t address) override;
  std::vector<TclSourceLocation> GetSourceLocations(uint64_t address) override;

 private:
  TclStackFrames recorded_;
  std::unique_ptr<SymbolSource> symbols_;
  size_t next_ = 0;
};

}  // namespace trellon
