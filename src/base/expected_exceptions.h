#pragma once

namespace trellon {

// Marks exceptions that the code in a scope raises on purpose and handles itself: a port that
// stays missing while the link retries it, a stored exception rethrown to read its message. The
// exception watcher leaves out the frames inside the scope and the frame that holds it (which
// catches them), so a retry loop does not fill the log with reports; an exception that escapes
// that frame is reported by the frames further out as usual.
//
// Create it as a local in the function whose catch takes the exceptions, before its try; what
// the compiler inlines into that function counts as that function. The scopes of a thread nest;
// the innermost counts.
class ExpectedExceptions {
 public:
  ExpectedExceptions() noexcept;
  ~ExpectedExceptions();
  ExpectedExceptions(const ExpectedExceptions&) = delete;
  ExpectedExceptions& operator=(const ExpectedExceptions&) = delete;

  // The calling thread's innermost scope, or null.
  static const ExpectedExceptions* Innermost() noexcept;

 private:
  const ExpectedExceptions* outer_;
};

}  // namespace trellon
