#include "two_monitors/two_monitor_desktop.h"

#include <filesystem>
#include <stdexcept>

#include "support/wait.h"

namespace trellon::testing {

using test_support::ChildProcess;

namespace {

constexpr const char* kDummyDriver = "/usr/lib/xorg/modules/drivers/dummy_drv.so";

constexpr const char* kConfig = R"(Section "ServerFlags"
  Option "DontVTSwitch" "true"
  Option "AllowMouseOpenFail" "true"
  Option "AutoAddDevices" "false"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 131072
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  DefaultDepth 24
EndSection
)";

}  // namespace

bool TwoMonitorDesktop::Available() {
  return std::filesystem::exists(kDummyDriver);
}

TwoMonitorDesktop::TwoMonitorDesktop() {
  test_support::WriteText(folder_.File("xorg.conf"), kConfig);
  ChildProcess::Options server({"Xorg", "-displayfd", "1", "-noreset", "-nolisten", "tcp",
                                "-config", folder_.File("xorg.conf"), "-configdir",
                                folder_.File("none"), "-logfile", folder_.File("Xorg.log"),
                                "-sharevts", "-novtswitch"});
  server.captureOutput = true;
  server.errorFile = "/dev/null";
  server_ = std::make_unique<ChildProcess>(server);
  if (!server_->WaitForOutput([](const auto& lines) { return !lines.empty(); },
                              test_support::kPatienceMs) ||
      server_->Lines().empty()) {
    throw std::runtime_error("Xorg did not start (see its log in " + folder_.File("Xorg.log") +
                             ")");
  }
  displayName_ = ":" + server_->Lines().front();
  Xrandr({"--newmode", "3200x1080", "300", "3200", "3248", "3280", "3360", "1080", "1083", "1093",
          "1100"});
  Xrandr({"--addmode", "DUMMY0", "3200x1080"});
  Xrandr({"--output", "DUMMY0", "--mode", "3200x1080"});
  Xrandr({"--setmonitor", "M0", "1920/508x1080/286+0+0", "DUMMY0"});
  Xrandr({"--setmonitor", "M1", "1280/339x1024/271+1920+0", "none"});
}

TwoMonitorDesktop::~TwoMonitorDesktop() {
  server_.reset();
}

void TwoMonitorDesktop::Xrandr(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{"xrandr"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  ChildProcess::Options options(argv);
  options.environment = {{"DISPLAY", displayName_}};
  options.errorFile = "/dev/null";
  options.captureOutput = true;
  ChildProcess xrandr(options);
  const auto status = xrandr.WaitExit();
  if (!status || !(*status == test_support::ExitStatus::Exited(0))) {
    throw std::runtime_error("xrandr " + arguments.front() + " failed");
  }
}

}  // namespace trellon::testing
