#include "base/shell_services.h"

#include <stdexcept>

#include "base/type_name.h"

namespace trellon {

std::string ExceptionMessage(const std::exception_ptr& error) {
  if (!error) return {};
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown exception";
  }
}

std::string ExceptionClassName(const std::exception_ptr& error) {
  if (!error) return {};
  try {
    std::rethrow_exception(error);
  } catch (...) {
    const std::string text = CurrentExceptionTypeName();
    if (text.empty()) return "unknown";
    // Report the class name without its namespace.
    const size_t colon = text.rfind("::");
    return colon == std::string::npos ? text : text.substr(colon + 2);
  }
}

}  // namespace trellon
