#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fans/speedfan_view.h"
#include "sensor_slots.h"
#include "sensors_options.h"
#include "sensors_publisher.h"
#include "speedfan_block_writer.h"

namespace trellon::sensors {
namespace {

using ::testing::ElementsAre;

// Plays the machine's sensors: what Read() gives is set by the test.
class FakeSensorSource : public SensorSource {
 public:
  std::vector<SensorReading> Read() override { return readings; }
  std::vector<SensorReading> readings;
};

SensorReading Temp(const std::string& chip, const std::string& label, double celsius) {
  return {chip, label, celsius};
}

// A block of the test's own, removed at the end.
class ScopedBlockName {
 public:
  ScopedBlockName() : name_("/trellon-sensors-test-" + std::to_string(::getpid())) {
    ::shm_unlink(name_.c_str());
  }
  ~ScopedBlockName() { ::shm_unlink(name_.c_str()); }
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
};

TEST(SensorSlots, FirstSensorsTakeSlotsInChipAndLabelOrderAndKeepThemWhileTheyComeAndGo) {
  SlotTable table;
  auto values = table.Update({Temp("nvme-pci-0100", "Composite", 38.85),
                              Temp("coretemp-isa-0000", "Core 1", 51.0),
                              Temp("coretemp-isa-0000", "Core 0", 50.004)});
  EXPECT_EQ(values[0], 5000);  // coretemp Core 0
  EXPECT_EQ(values[1], 5100);  // coretemp Core 1
  EXPECT_EQ(values[2], 3885);  // nvme
  EXPECT_EQ(values[3], 0);

  // The USB stick's sensor arrives later, the nvme drive goes away: slots stay, the gone one
  // reads 0 (no reading), and it comes back into its own slot.
  values = table.Update({Temp("coretemp-isa-0000", "Core 0", 60.0),
                         Temp("coretemp-isa-0000", "Core 1", 61.0),
                         Temp("drivetemp-scsi-2-0", "temp1", 30.0)});
  EXPECT_THAT(std::vector<int32_t>(values.begin(), values.begin() + 4),
              ElementsAre(6000, 6100, 0, 3000));
  values = table.Update({Temp("nvme-pci-0100", "Composite", 40.0)});
  EXPECT_THAT(std::vector<int32_t>(values.begin(), values.begin() + 4), ElementsAre(0, 0, 4000, 0));

  // A sensor that cannot be read this time reads 0; its slot stays.
  values = table.Update({{"nvme-pci-0100", "Composite", std::nullopt}});
  EXPECT_EQ(values[2], 0);
  EXPECT_EQ(table.SlotOf({"nvme-pci-0100", "Composite"}), 2);
}

TEST(SensorSlots, PinnedSlotsWaitForTheirSensorAndBeyond32SensorsGetNone) {
  std::vector<std::string> problems;
  const auto pins = ParsePins(
      "# rear of the case\n0 nct6775-isa-0290 SYSTIN\n\n 2  coretemp-isa-0000  Package id 0\r\n",
      problems);
  EXPECT_TRUE(problems.empty());
  SlotTable table(pins);
  std::vector<SensorReading> readings{Temp("coretemp-isa-0000", "Package id 0", 45.5)};
  for (int i = 0; i < 40; ++i) readings.push_back(Temp("many", "t" + std::to_string(100 + i), i));
  const auto values = table.Update(readings);
  EXPECT_EQ(values[2], 4550);
  EXPECT_EQ(values[0], 0) << "slot 0 waits for its pinned sensor";
  EXPECT_EQ(table.SlotOf({"many", "t100"}), 1);
  EXPECT_EQ(table.SlotOf({"many", "t101"}), 3);
  EXPECT_EQ(table.SlotOf({"many", "t129"}), 31);
  EXPECT_FALSE(table.SlotOf({"many", "t130"}));
  const std::string list = ListText(table, readings);
  EXPECT_THAT(list, ::testing::HasSubstr("2  coretemp-isa-0000  Package id 0  45.5 °C\n"));
  EXPECT_THAT(list, ::testing::HasSubstr("0  nct6775-isa-0290  SYSTIN  gone\n"));
  EXPECT_THAT(list, ::testing::HasSubstr("-  many  t139  39.0 °C (no free slot)\n"));
}

TEST(SensorSlots, PinLinesThatCannotBeUsedAreReportedWithTheirNumber) {
  std::vector<std::string> problems;
  const auto pins = ParsePins(
      "32 chip label\nx chip label\n3 chip\n4 chip a\n4 chip b\n5 chip a\n6 other b c\n", problems);
  ASSERT_EQ(pins.size(), 2u);
  EXPECT_EQ(pins[1].slot, 6);
  EXPECT_EQ(pins[1].sensor.label, "b c");
  EXPECT_THAT(problems,
              ElementsAre(::testing::StartsWith("line 1: "), ::testing::StartsWith("line 2: "),
                          ::testing::StartsWith("line 3: "), ::testing::StartsWith("line 5: "),
                          ::testing::StartsWith("line 6: ")));
}

TEST(SensorSlots, HundredthsAreRoundedAndNothingUsableReadsZero) {
  EXPECT_EQ(HundredthsOf(45.505), 4551);
  EXPECT_EQ(HundredthsOf(-1.234), -123);
  EXPECT_EQ(HundredthsOf(std::nullopt), 0);
  EXPECT_EQ(HundredthsOf(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(HundredthsOf(1e300), std::numeric_limits<int32_t>::max());
}

// The bytes are checked by the program's own reader of the block.
TEST(SensorsPublisher, TheBlockReadsBackThroughTrellonsSpeedFanView) {
  const ScopedBlockName block;
  FakeSensorSource source;
  SlotTable table({{1, {"acpitz-acpi-0", "temp1"}}});
  SpeedFanBlockWriter writer(block.Name());
  ASSERT_TRUE(writer.IsOpen()) << writer.Error();
  SensorsPublisher publisher(source, table, writer);
  SharedMemorySpeedFanView view(block.Name());
  ASSERT_TRUE(view.IsOpen()) << view.Error();

  source.readings = {Temp("acpitz-acpi-0", "temp1", 27.8), Temp("k10temp-pci-00c3", "Tctl", -5.5)};
  publisher.PublishOnce();
  EXPECT_EQ(view.SlotValue(0), -550);
  EXPECT_EQ(view.SlotValue(1), 2780);
  EXPECT_EQ(view.SlotValue(2), 0);

  source.readings = {Temp("acpitz-acpi-0", "temp1", 80.0)};
  publisher.PublishOnce();
  EXPECT_EQ(view.SlotValue(0), 0) << "a vanished sensor must read as no reading";
  EXPECT_EQ(view.SlotValue(1), 8000);

  publisher.Withdraw();
  EXPECT_EQ(view.SlotValue(1), 0);
}

TEST(SensorsPublisher, ABlockTrellonMadeFirstIsUsedAndOnlyTheTableIsWritten) {
  const ScopedBlockName block;
  // Trellon started first and made the block (zero-filled); an earlier run left a value.
  SharedMemorySpeedFanView view(block.Name());
  ASSERT_TRUE(view.IsOpen());
  {
    SpeedFanBlockWriter first(block.Name());
    std::array<int32_t, kSlotCount> values{};
    values[31] = 123456;
    first.Write(values);
  }
  SpeedFanBlockWriter writer(block.Name());
  ASSERT_TRUE(writer.IsOpen());
  EXPECT_EQ(view.SlotValue(31), 123456) << "opening must not clear the block";
  std::array<int32_t, kSlotCount> values{};
  values[0] = 0x01020304;
  writer.Write(values);
  EXPECT_EQ(view.SlotValue(0), 0x01020304);
  EXPECT_EQ(view.SlotValue(31), 0);
}

TEST(SensorsOptions, TheCommandLineIsCheckedBeforeAnythingRuns) {
  std::string error;
  const auto options = ParseSensorsOptions(
      {"trellon-sensors", "--list", "--pins", "p.conf", "--block", "/b", "--interval", "250"},
      error);
  ASSERT_TRUE(options) << error;
  EXPECT_TRUE(options->list);
  EXPECT_EQ(options->pinFile, "p.conf");
  EXPECT_EQ(options->block, "/b");
  EXPECT_EQ(options->intervalMs, 250);
  EXPECT_FALSE(ParseSensorsOptions({"trellon-sensors", "--interval", "5"}, error));
  EXPECT_FALSE(ParseSensorsOptions({"trellon-sensors", "--count", "0"}, error));
  EXPECT_FALSE(ParseSensorsOptions({"trellon-sensors", "--pins"}, error));
  EXPECT_FALSE(ParseSensorsOptions({"trellon-sensors", "--fast"}, error));
  EXPECT_EQ(error, "unknown option --fast");
}

}  // namespace
}  // namespace trellon::sensors
