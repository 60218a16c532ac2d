// The main window in this process, against the virtual controller on a pseudo-terminal: what
// the controller reports shows on the Status page, and the fan labels follow the commands the
// controller received.

#include <gtest/gtest.h>

#include <QLabel>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "base/clock.h"
#include "e2e_test_support.h"
#include "fakes/app/fake_message_box.h"
#include "fakes/fake_power_system.h"
#include "fakes/fake_speedfan_view.h"
#include "support/qt_events.h"
#include "support/scoped_environment.h"
#include "support/wait.h"

namespace trellon::e2e {
namespace {

using test_support::kPatienceMs;

using test_support::ProcessQtEvents;
using test_support::WaitFor;

std::string Text(const QLabel* label) {
  return label ? label->text().toStdString() : std::string("<no label>");
}

// The percentage the simulator printed for the last command of a fan: "fan rear 53 (30 %)".
std::string LastFanPercent(const Lines& lines, const std::string& fan) {
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    if (!FanValue(*line, fan)) continue;
    const size_t open = line->text.find('(');
    const size_t close = line->text.find(')');
    if (open != std::string::npos && close != std::string::npos && close > open) {
      return line->text.substr(open + 1, close - open - 1);
    }
  }
  return "";
}

TEST(StatusPageEndToEnd, ShowsTheReportedTemperaturesAndTheFanCommands) {
  TemporaryDirectory directory;
  SimProcess sim(directory, {"--rear", "52", "--front", "47", "--quiet-ticks"});
  ASSERT_TRUE(sim.Started()) << sim.Transcript();
  const test_support::ScopedEnvironment port("TRELLON_COM3", sim.LinkPath());

  SystemClock clock;
  fakes::RecordingMessageBoxes boxes;
  fakes::FakeSpeedFanView speedFan;
  speedFan.slotValues[2] = 4550;  // sf2: 45.50 °C shows as 46
  fakes::RecordingPowerSystem powerSystem;
  auto window = std::make_unique<TVX710MainWindow>(
      TVX710MainWindow::Options{.clock = clock,
                                .boxes = boxes,
                                .speedFanView = speedFan,
                                .arguments = {"trellon"},
                                .settingsPath = directory.File("Trellon.ini"),
                                .logPath = directory.File("Trellon.log"),
                                .keyServerPort = 0,
                                .powerSystem = &powerSystem});
  window->show();
  auto& labels = window->tempLabels;
  auto& names = window->tempNameLabels;
  // Before the first regulation tick the labels show what the window was built with.
  EXPECT_EQ(Text(labels[0]), "N/A");

  const bool shown = WaitFor([&] { return Text(labels[0]) == "52" && Text(labels[1]) == "47"; },
                             20000, ProcessQtEvents);
  EXPECT_TRUE(shown) << "rear " << Text(labels[0]) << ", front " << Text(labels[1]) << "\n"
                     << sim.Transcript();
  EXPECT_TRUE(sim.WaitFor("attached", 0));
  for (const size_t sensor : {0u, 1u, 4u}) {
    EXPECT_TRUE(labels[sensor]->isVisibleTo(window.get())) << sensor;
    EXPECT_TRUE(names[sensor]->isVisibleTo(window.get())) << sensor;
  }
  EXPECT_EQ(Text(labels[4]), "46");
  // SpeedFan sensors without a reading are hidden.
  for (const size_t sensor : {2u, 3u, 5u}) {
    EXPECT_FALSE(labels[sensor]->isVisibleTo(window.get())) << sensor;
    EXPECT_FALSE(names[sensor]->isVisibleTo(window.get())) << sensor;
  }

  // The fan labels show the last command the controller received, in percent. The window does
  // nothing while the events are not processed, so the controller's last line catches up.
  ASSERT_TRUE(WaitFor([&] { return !LastFanPercent(sim.Lines(), "front").empty(); }, kPatienceMs,
                      ProcessQtEvents));
  sim.WaitUntil(
      [&](const Lines& now) {
        return Text(window->fanLabels[0]) == LastFanPercent(now, "rear") &&
               Text(window->fanLabels[1]) == LastFanPercent(now, "front");
      },
      kPatienceMs);
  const Lines lines = sim.Lines();
  EXPECT_EQ(Text(window->fanLabels[0]), LastFanPercent(lines, "rear"));
  EXPECT_EQ(Text(window->fanLabels[1]), LastFanPercent(lines, "front"));

  // Closing the window detaches the controller.
  window->close();
  EXPECT_TRUE(sim.WaitFor("detach", kPatienceMs));
  window.reset();
  EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
}  // namespace trellon::e2e
