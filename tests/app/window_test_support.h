#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "base/clock.h"
#include "fakes/app/fake_fault_reporting.h"
#include "fakes/app/fake_message_box.h"
#include "fakes/fake_comm_device.h"
#include "fakes/fake_power_system.h"
#include "fakes/fake_process_control.h"
#include "fakes/fake_speedfan_view.h"
#include "fakes/fake_window_list.h"
#include "support/temporary_directory.h"

namespace trellon::testing {

constexpr double kStart = 46363.0 + 4.0 / 24;  // 2026-12-07 04:00:00

// A main window in a fresh working directory, on a manual clock, with recording message boxes
// and fakes for SpeedFan, processes, windows and power. The key server takes a free port; the
// serial port is the real backend on a path to nothing (tests/app/main.cpp) unless a test gives
// a fake device.
class WindowTest : public ::testing::Test {
 protected:
  std::unique_ptr<TVX710MainWindow> Create(std::vector<std::string> arguments = {"trellon"},
                                           std::unique_ptr<CommDevice> commDevice = nullptr) {
    return std::make_unique<TVX710MainWindow>(
        TVX710MainWindow::Options{.clock = clock,
                                  .boxes = boxes,
                                  .speedFanView = speedFan,
                                  .arguments = std::move(arguments),
                                  .settingsPath = "Trellon.ini",
                                  .logPath = "Trellon.log",
                                  .logEcho = nullptr,
                                  .logLocale = "C",
                                  .keyServerPort = 0,
                                  .keyOutputs = keyOutputs,
                                  .defaultLircSocket = "",
                                  .faultReporting = &faults,
                                  .commDevice = std::move(commDevice),
                                  .processControl = MakeProcessControl(),
                                  .windowList = std::make_unique<fakes::FakeWindowList>(),
                                  .powerSystem = &powerSystem});
  }

  std::unique_ptr<ProcessControl> MakeProcessControl() {
    auto fake = std::make_unique<fakes::FakeProcessControl>();
    processes = fake.get();
    return fake;
  }

  // The messages of the log lines, without their time stamps.
  static std::vector<std::string> Messages(TVX710MainWindow& window) {
    std::vector<std::string> messages;
    for (const std::string& line : window.eventLog().Lines()) {
      const size_t colon = line.find(": ");
      messages.push_back(colon == std::string::npos ? line : line.substr(colon + 2));
    }
    return messages;
  }

  static void ProcessEvents() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
  }

  test_support::TemporaryWorkingDirectory folder;
  // The virtual keyboard and the LIRC socket as the settings file asks (off unless a test asks).
  bool keyOutputs = false;
  ManualClock clock{0, kStart};
  fakes::RecordingMessageBoxes boxes;
  fakes::FakeSpeedFanView speedFan;
  fakes::RecordingPowerSystem powerSystem;
  fakes::RecordingFaultReporting faults;
  // The process table of the window made last.
  fakes::FakeProcessControl* processes = nullptr;
};

}  // namespace trellon::testing
