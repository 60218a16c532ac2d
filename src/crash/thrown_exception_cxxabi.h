#pragma once

#include <unwind.h>

#include <optional>

#include "crash/exception_information.h"

namespace trellon {

// A C++ exception in flight as its runtime keeps it.
struct ThrownException {
  // Thrown by C++; false for an exception of another language's runtime.
  bool cxx = false;
  // Thrown again with `throw;`.
  bool rethrown = false;
  const void* object = nullptr;
  TclExceptionObject description;
};

// The exception a personality routine was given, during the search for a handler.
ThrownException DescribeThrown(const _Unwind_Exception* exception);
// The exception the calling thread handles at the moment (in a terminate handler), if any.
std::optional<ThrownException> DescribeCurrent();

}  // namespace trellon
