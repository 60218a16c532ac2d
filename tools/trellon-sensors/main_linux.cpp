// trellon-sensors: the machine's temperatures from lm-sensors, published once a second into the
// SpeedFan block that Trellon reads (the job SpeedFan does on Windows).
#include <signal.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "sensor_slots.h"
#include "sensor_source.h"
#include "sensors_options.h"
#include "sensors_publisher.h"
#include "speedfan_block_writer.h"

namespace {

using namespace trellon::sensors;

// Exit status of --list when lm-sensors finds no temperature at all (scripts start the
// publisher only when there is something to publish).
constexpr int kNoSensorsStatus = 3;

std::string DefaultPinFile() {
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
    return std::string(config) + "/trellon/sensors.conf";
  }
  const char* home = std::getenv("HOME");
  return std::string(home ? home : ".") + "/.config/trellon/sensors.conf";
}

std::vector<SlotPin> ReadPins(const std::string& path, bool mustExist) {
  std::ifstream file(path);
  if (!file) {
    if (mustExist) std::cerr << "trellon-sensors: cannot read " << path << "\n";
    return {};
  }
  std::stringstream text;
  text << file.rdbuf();
  std::vector<std::string> problems;
  std::vector<SlotPin> pins = ParsePins(text.str(), problems);
  for (const std::string& problem : problems) {
    std::cerr << "trellon-sensors: " << path << ", " << problem << " (left out)\n";
  }
  return pins;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto options = ParseSensorsOptions({argv, argv + argc}, error);
  if (!options) {
    std::cerr << "trellon-sensors: " << error << "\n" << kSensorsUsage;
    return 2;
  }
  if (options->help) {
    std::cout << kSensorsUsage;
    return 0;
  }
  const std::string pinFile = options->pinFile.empty() ? DefaultPinFile() : options->pinFile;
  SlotTable table(ReadPins(pinFile, !options->pinFile.empty()));

  auto source = CreateLibsensorsSource(error);
  if (!source) {
    std::cerr << "trellon-sensors: " << error << "\n";
    return 1;
  }
  if (options->list) {
    const std::vector<SensorReading> readings = source->Read();
    table.Update(readings);
    std::cout << ListText(table, readings);
    return readings.empty() ? kNoSensorsStatus : 0;
  }

  SpeedFanBlockWriter writer(options->block.empty() ? trellon::kSpeedFanBlockName : options->block);
  if (!writer.IsOpen()) {
    std::cerr << "trellon-sensors: " << writer.Error() << "\n";
    return 1;
  }
  // The stop signals are taken by the wait between publications, never by a handler.
  sigset_t stops;
  sigemptyset(&stops);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stops, signal);
  sigprocmask(SIG_BLOCK, &stops, nullptr);

  SensorsPublisher publisher(*source, table, writer);
  const timespec interval{options->intervalMs / 1000, (options->intervalMs % 1000) * 1000000L};
  bool listed = false;
  for (int published = 0; options->count == 0 || published < options->count; ++published) {
    const std::vector<SensorReading> readings = publisher.PublishOnce();
    if (!listed) {
      std::cerr << ListText(table, readings) << std::flush;
      listed = true;
    }
    if (options->count != 0 && published + 1 == options->count) break;
    const int signal = sigtimedwait(&stops, nullptr, &interval);
    if (signal > 0) break;
    if (signal < 0 && errno != EAGAIN && errno != EINTR) break;
  }
  // Stale temperatures would steer the fans after this program has gone: no reading instead.
  publisher.Withdraw();
  return 0;
}
