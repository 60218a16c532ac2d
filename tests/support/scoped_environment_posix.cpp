#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "support/scoped_environment.h"

namespace trellon::test_support {

ScopedEnvironment::ScopedEnvironment(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) old_ = old;
  if (!Set(name_, value)) throw std::runtime_error("cannot set the environment variable " + name_);
}

ScopedEnvironment::~ScopedEnvironment() {
  // Only an invalid name fails, and the constructor took this one.
  Set(name_, old_);
}

bool ScopedEnvironment::Set(const std::string& name, const std::optional<std::string>& value) {
  return (value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str())) == 0;
}

}  // namespace trellon::test_support
