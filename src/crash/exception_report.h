#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crash/exception_information.h"
#include "crash/stack_tracer.h"

namespace trellon {

// The lines of an exception report, as the log holds them:
//
//   Exception detected:
//     EComPort: Cannot open port ...        (only with an exception object)
//     Code : 0EEDFADE
//     Flags: 00000001
//     Addr : 000055D4C3A2B1C0
//     Thread: 4321 QThread                  (only a fault off the main thread)
//     Stack:
//       trellon.TVX710MainWindow::Timer1Timer @ main_window.cpp.228
//
// A frame line is four blanks, the module's file name, ".", the procedure, " @ ", the source
// file's name, "." and the line; a frame without debug information ends in " @ .0".
struct ExceptionReportInput {
  const TclExceptionObject* object = nullptr;
  const TclExceptionInformation* information = nullptr;
  const TclStackFrames* frames = nullptr;
  // Empty, or the thread that faulted when it is not the main thread.
  std::string threadLine;
};
std::vector<std::string> FormatExceptionReport(const ExceptionReportInput& input);

// Upper-case hexadecimal with at least 8 digits: 0EEDFADE, 000055D4C3A2B1C0 keeps all its
// digits.
std::string HexText(uint64_t value);

// A frame's procedure as the report shows it: demangled, without its parameter list and
// qualifiers, without this program's own namespace ("TVX710MainWindow::Timer1Timer"), without
// a symbol version ("@@GLIBC_2.34").
std::string ReadableProcedureName(const std::string& symbol);

// A type's demangled name without this program's own namespace ("EComPort").
std::string ReadableTypeName(const std::string& demangled);

// The last component of a path.
std::string FileNameOf(const std::string& path);

}  // namespace trellon
