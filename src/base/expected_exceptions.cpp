#include "base/expected_exceptions.h"

namespace trellon {
namespace {

thread_local const ExpectedExceptions* innermost = nullptr;

}  // namespace

ExpectedExceptions::ExpectedExceptions() noexcept : outer_(innermost) {
  innermost = this;
}

ExpectedExceptions::~ExpectedExceptions() {
  innermost = outer_;
}

const ExpectedExceptions* ExpectedExceptions::Innermost() noexcept {
  return innermost;
}

}  // namespace trellon
