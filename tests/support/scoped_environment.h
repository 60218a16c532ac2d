#pragma once

#include <optional>
#include <string>

namespace trellon::test_support {

// Sets an environment variable (or, given nothing, removes it) for as long as the object lives;
// the old value comes back at the end.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const std::optional<std::string>& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  static bool Set(const std::string& name, const std::optional<std::string>& value);

  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace trellon::test_support
