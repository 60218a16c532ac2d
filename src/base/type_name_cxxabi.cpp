// Type names through the Itanium C++ ABI runtime (GCC's and Clang's).
#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "base/type_name.h"

namespace trellon {

std::string DemangledName(const char* mangled) {
  if (mangled == nullptr) return {};
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> name(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
  return status == 0 && name ? std::string(name.get()) : std::string(mangled);
}

std::string CurrentExceptionTypeName() {
  const std::type_info* type = abi::__cxa_current_exception_type();
  return type ? DemangledName(type->name()) : std::string();
}

}  // namespace trellon
