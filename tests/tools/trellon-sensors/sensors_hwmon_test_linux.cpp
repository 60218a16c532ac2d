// The built trellon-sensors on a fake hwmon tree: lm-sensors itself finds the chips, the
// listing names them, and the block's bytes are read back by Trellon's SpeedFan view.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fans/speedfan_view.h"
#include "support/child_process.h"
#include "support/fake_hwmon.h"
#include "support/temporary_directory.h"
#include "support/wait.h"

namespace trellon::sensors {
namespace {

using test_support::ChildProcess;
using test_support::ExitStatus;
using test_support::WaitFor;
using ::testing::ElementsAre;

constexpr int kCpuChip = 0;
constexpr int kUsbChip = 3;

class SensorsOnFakeHwmon : public ::testing::Test {
 protected:
  void SetUp() override {
    // Chip names no sensors.conf knows, so that the machine's configuration changes nothing.
    tree_.AddChip(kCpuChip, "faketemp");
    tree_.SetTemperature(kCpuChip, 1, 45500, "Package id 0");
    tree_.SetTemperature(kCpuChip, 2, 51000);  // no label: lm-sensors names it temp2
    tree_.AddChip(kUsbChip, "fakeusb");
    tree_.SetTemperature(kUsbChip, 1, 38850, "Composite");
    if (const auto why = tree_.Unavailable()) GTEST_SKIP() << "skipped: " << *why;
  }

  // trellon-sensors in the namespace, with no pin file and its listing in a file.
  ChildProcess::Options Sensors(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), TRELLON_SENSORS_PATH);
    ChildProcess::Options options(tree_.Wrap(arguments));
    options.environment = {{"XDG_CONFIG_HOME", files_.Path()}};
    options.errorFile = files_.File("stderr.txt");
    return options;
  }

  test_support::FakeHwmonTree tree_;
  test_support::TemporaryDirectory files_;
};

TEST_F(SensorsOnFakeHwmon, ListingNamesEveryVirtualChipsSensorWithItsSlot) {
  ChildProcess::Options options = Sensors({"--list"});
  options.captureOutput = true;
  ChildProcess list(options);
  list.WaitForOutput([](const auto&) { return false; }, test_support::kPatienceMs);
  EXPECT_EQ(list.WaitExit(), ExitStatus::Exited(0)) << test_support::ReadText(options.errorFile);
  EXPECT_THAT(list.Lines(), ElementsAre("slot  chip  label  value",
                                        "0  faketemp-virtual-0  Package id 0  45.5 °C",
                                        "1  faketemp-virtual-0  temp2  51.0 °C",
                                        "2  fakeusb-virtual-0  Composite  38.9 °C"));
}

TEST_F(SensorsOnFakeHwmon, AnUnpluggedSensorReadsZeroAndComesBackIntoItsSlot) {
  const std::string block = "/trellon-sensors-hwmon-test-" + std::to_string(::getpid());
  ::shm_unlink(block.c_str());
  const SharedMemorySpeedFanView view(block);
  ASSERT_TRUE(view.IsOpen()) << view.Error();
  ChildProcess publisher(Sensors({"--block", block, "--interval", "50"}));
  const auto slots = [&view] {
    return std::vector<int32_t>{view.SlotValue(0), view.SlotValue(1), view.SlotValue(2),
                                view.SlotValue(3)};
  };

  EXPECT_TRUE(WaitFor([&] {
    return slots() == std::vector<int32_t>{4550, 5100, 3885, 0};
  })) << ::testing::PrintToString(slots());
  tree_.SetTemperature(kCpuChip, 1, 47250);
  EXPECT_TRUE(WaitFor([&] { return view.SlotValue(0) == 4725; })) << view.SlotValue(0);

  tree_.RemoveChip(kUsbChip);
  EXPECT_TRUE(WaitFor([&] { return view.SlotValue(2) == 0; })) << view.SlotValue(2);
  EXPECT_EQ(view.SlotValue(1), 5100) << "the others keep their slots";
  // A value seen after the vanished one was published comes from a later read, which no longer
  // finds the chip: its return must be found by looking for chips again.
  tree_.SetTemperature(kCpuChip, 1, 48000);
  EXPECT_TRUE(WaitFor([&] { return view.SlotValue(0) == 4800; })) << view.SlotValue(0);

  tree_.AddChip(kUsbChip, "fakeusb");
  tree_.SetTemperature(kUsbChip, 1, 40000, "Composite");
  EXPECT_TRUE(WaitFor([&] { return view.SlotValue(2) == 4000; })) << view.SlotValue(2);

  publisher.Signal(SIGTERM);
  EXPECT_EQ(publisher.WaitExit(), ExitStatus::Exited(0));
  EXPECT_EQ(slots(), std::vector<int32_t>(4, 0)) << "no reading outlives the publisher";
  ::shm_unlink(block.c_str());
}

}  // namespace
}  // namespace trellon::sensors
