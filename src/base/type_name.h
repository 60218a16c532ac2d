#pragma once

#include <string>

namespace trellon {

// Readable C++ type names, from the compiler's runtime.

// The readable form of a mangled type or function name; the name itself when it cannot be
// demangled.
std::string DemangledName(const char* mangled);
// Inside a catch block: the readable name of the type of the exception being handled; "" when
// there is none or the runtime cannot tell.
std::string CurrentExceptionTypeName();

}  // namespace trellon
