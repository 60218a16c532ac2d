// An exception of another language's runtime, raised through the unwinder of the C++ ABI and
// caught by a C++ catch-all, is a system exception for the watcher.
#include <gtest/gtest.h>
#include <unwind.h>

#include "crash/except_watcher.h"

namespace trellon {
namespace {

void DeleteForeign(_Unwind_Reason_Code, _Unwind_Exception* exception) {
  delete exception;
}

__attribute__((noinline)) void RaiseForeign() {
  auto* exception = new _Unwind_Exception{};
  exception->exception_class = 0x54455354464f5200;  // "TESTFOR\0"
  exception->exception_cleanup = &DeleteForeign;
  _Unwind_RaiseException(exception);
  delete exception;  // no frame took it
}

TEST(ForeignExceptionTest, CaughtByACatchAllItRaisesTheSystemEvent) {
  TclExceptWatcher watcher;
  int native = 0;
  std::vector<TclExceptionRecord> system;
  watcher.OnNativeException = [&](TclExceptWatcher&, const TclExceptionObject*,
                                  const TclExceptionInformation&, TclStackTracer&) { ++native; };
  watcher.OnSystemException = [&](TclExceptWatcher&, const TclExceptionInformation& ei,
                                  TclStackTracer&) { system.push_back(ei.ExceptionRecord); };
  try {
    RaiseForeign();
  } catch (...) {
  }
  EXPECT_EQ(native, 0);
  ASSERT_EQ(system.size(), 1u);
  EXPECT_EQ(system[0].ExceptionCode, kForeignException);
  EXPECT_EQ(system[0].ExceptionFlags, kNonContinuable);
  EXPECT_NE(system[0].ExceptionAddress, 0u);
}

}  // namespace
}  // namespace trellon
