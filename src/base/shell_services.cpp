#include "base/shell_services.h"

#include <stdexcept>

#include "base/expected_exceptions.h"
#include "base/type_name.h"

namespace trellon {

// Both read the stored exception by throwing it again, which is no new failure to report.

std::string ExceptionMessage(const std::exception_ptr& error) {
  if (!error) return {};
  const ExpectedExceptions inspection;
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
  const ExpectedExceptions inspection;
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
