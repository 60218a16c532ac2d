// The C++ runtime's exception header as the Itanium C++ ABI lays it out (GCC's libstdc++ and
// LLVM's libc++abi agree on it from exceptionType on): the header sits right before the thrown
// object and ends with the unwinder's exception record.
#include "crash/thrown_exception_cxxabi.h"

#include <cxxabi.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <typeinfo>

#include "base/type_name.h"
#include "crash/exception_report.h"

namespace trellon {
namespace {

// What a thrown object's header and a dependent exception's header share, up to the unwinder's
// record at their end.
struct CxaHeaderTail {
  void (*unexpectedHandler)();
  void (*terminateHandler)();
  struct CxaException* nextException;
  int handlerCount;
  int handlerSwitchValue;
  const unsigned char* actionRecord;
  const unsigned char* languageSpecificData;
  _Unwind_Ptr catchTemp;
  void* adjustedPtr;
  _Unwind_Exception unwindHeader;
};

struct CxaException {
  std::type_info* exceptionType;
  void (*exceptionDestructor)(void*);
  CxaHeaderTail tail;
};

// std::rethrow_exception throws a dependent exception that refers to the stored one.
struct CxaDependentException {
  void* primaryException;
  void (*padding)(void*);
  CxaHeaderTail tail;
};

struct CxaEhGlobals {
  CxaException* caughtExceptions;
  unsigned int uncaughtExceptions;
};

static_assert(offsetof(CxaException, tail) == offsetof(CxaDependentException, tail) &&
              sizeof(CxaException) == sizeof(CxaDependentException));

// Exception classes: vendor "GNUC" or "CLNG", language "C++\0", a dependent one ends in 1.
constexpr uint64_t kClassMask = ~uint64_t{0xff};
constexpr uint64_t kGnuCxx = 0x474e5543432b2b00;
constexpr uint64_t kClangCxx = 0x434c4e47432b2b00;
constexpr uint64_t kDependent = 0x01;

template <typename Header>
const Header* HeaderOf(const _Unwind_Exception* exception) {
  return reinterpret_cast<const Header*>(exception + 1) - 1;
}

TclExceptionObject DescribeObject(const std::type_info* type, const void* object) {
  TclExceptionObject description;
  if (type == nullptr) return description;
  description.ClassName = ReadableTypeName(DemangledName(type->name()));
  // The runtime's own catch matching finds the std::exception inside the object, if any.
  void* adjusted = const_cast<void*>(object);
  if (typeid(std::exception).__do_catch(type, &adjusted, 1)) {
    description.Message = static_cast<const std::exception*>(adjusted)->what();
  }
  return description;
}

// rethrown: a handler count below zero while the search runs (the runtime negates it for
// `throw;`); caught: the exception is being handled, and a rethrown one has had two handlers.
ThrownException Describe(const _Unwind_Exception* exception, bool caught) {
  ThrownException thrown;
  const uint64_t exceptionClass = exception->exception_class;
  if ((exceptionClass & kClassMask) != kGnuCxx && (exceptionClass & kClassMask) != kClangCxx) {
    return thrown;
  }
  thrown.cxx = true;
  const CxaException* header = HeaderOf<CxaException>(exception);
  const void* object = header + 1;
  int handlerCount = header->tail.handlerCount;
  if ((exceptionClass & 0xff) == kDependent) {
    const CxaDependentException* dependent = HeaderOf<CxaDependentException>(exception);
    handlerCount = dependent->tail.handlerCount;
    object = dependent->primaryException;
    header = static_cast<const CxaException*>(object) - 1;
  }
  thrown.rethrown = caught ? handlerCount > 1 : handlerCount < 0;
  thrown.object = object;
  thrown.description = DescribeObject(header->exceptionType, object);
  return thrown;
}

}  // namespace

ThrownException DescribeThrown(const _Unwind_Exception* exception) {
  return Describe(exception, false);
}

std::optional<ThrownException> DescribeCurrent() {
  const auto* globals = reinterpret_cast<const CxaEhGlobals*>(abi::__cxa_get_globals());
  if (globals == nullptr || globals->caughtExceptions == nullptr) return std::nullopt;
  return Describe(&globals->caughtExceptions->tail.unwindHeader, true);
}

}  // namespace trellon
