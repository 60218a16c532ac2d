#pragma once

#include <memory>
#include <string>

#include "support/child_process.h"
#include "support/temporary_directory.h"

namespace trellon::testing {

// An X server with two monitors: Xorg on the dummy video driver, a 3200 × 1080 screen, monitor 0
// at (0, 0) 1920 × 1080 and monitor 1 at (1920, 0) 1280 × 1024 (defined with xrandr
// --setmonitor; Xvfb cannot define monitors). No window manager.
class TwoMonitorDesktop {
 public:
  // False when the dummy driver is not installed (the tests then skip).
  static bool Available();
  // Throws when the server does not come up.
  TwoMonitorDesktop();
  ~TwoMonitorDesktop();
  TwoMonitorDesktop(const TwoMonitorDesktop&) = delete;
  TwoMonitorDesktop& operator=(const TwoMonitorDesktop&) = delete;

  const std::string& DisplayName() const { return displayName_; }

 private:
  void Xrandr(const std::vector<std::string>& arguments);

  test_support::TemporaryDirectory folder_;
  std::unique_ptr<test_support::ChildProcess> server_;
  std::string displayName_;
};

}  // namespace trellon::testing
