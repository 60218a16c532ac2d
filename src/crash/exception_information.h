#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace trellon {

// Exception codes of the reports. A C++ exception object thrown by the program is
// kNativeException, the same object thrown again (`throw;`) kNativeReRaise; faults carry the
// system code of what happened.
constexpr uint32_t kNativeException = 0x0EEDFADE;
constexpr uint32_t kNativeReRaise = 0x0EEDFADF;
// An exception object of another language's runtime crossing C++ frames.
constexpr uint32_t kForeignException = 0x0EEDFAE4;
constexpr uint32_t kAccessViolation = 0xC0000005;        // SIGSEGV
constexpr uint32_t kInPageError = 0xC0000006;            // SIGBUS
constexpr uint32_t kIntegerDivideByZero = 0xC0000094;    // SIGFPE, integer division
constexpr uint32_t kFloatInvalidOperation = 0xC0000090;  // SIGFPE, anything else
constexpr uint32_t kIllegalInstruction = 0xC000001D;     // SIGILL
constexpr uint32_t kFatalAppExit = 0x40000015;           // SIGABRT

// ExceptionFlags: an exception that cannot be continued (every C++ throw).
constexpr uint32_t kNonContinuable = 0x1;
// ExceptionFlags of the unwinding calls; those are never reported.
constexpr uint32_t kUnwinding = 0x2;
constexpr uint32_t kExitUnwind = 0x4;

// The processor state at the exception, as this platform has it. For a fault, the registers of
// the interrupted thread; for a C++ exception, the frame that threw: InstructionPointer is where
// the throw returns to and StackPointer the frame's stack pointer at the throw.
struct TclProcessorContext {
  static constexpr size_t kMaxRegisters = 32;

  uint64_t InstructionPointer = 0;
  uint64_t StackPointer = 0;
  uint64_t FramePointer = 0;
  // The general registers in the order of this platform's context record (x86-64: the 23
  // registers of the signal context); none for a C++ exception.
  std::array<uint64_t, kMaxRegisters> Registers{};
  uint32_t RegisterCount = 0;
};

// What happened. For a C++ exception: ExceptionInformation[0] is the throw's address,
// ExceptionInformation[1] the thrown object. For a fault: the signal, its code and the address
// it names (the inaccessible one for SIGSEGV and SIGBUS).
struct TclExceptionRecord {
  uint32_t ExceptionCode = 0;
  uint32_t ExceptionFlags = 0;
  // The record of an exception this one happened in, copied as a value and never followed.
  uint64_t NestedRecord = 0;
  uint64_t ExceptionAddress = 0;
  uint32_t NumberParameters = 0;
  std::array<uint64_t, 15> ExceptionInformation{};
};

// The exception object of a C++ exception as the report shows it: its type without this
// program's own namespace and its message (what() of a std::exception, else empty).
struct TclExceptionObject {
  std::string ClassName;
  std::string Message;
};

// One notification's captured state.
struct TclExceptionInformation {
  TclProcessorContext Context;
  TclExceptionRecord ExceptionRecord;
  // Observed at the terminate path: no frame takes the exception, the program ends after the
  // notification (a report must be on the disk before).
  bool Unhandled = false;
};

}  // namespace trellon
