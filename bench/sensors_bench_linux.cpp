// trellon-sensors' cost: the built program publishes a fake hwmon tree shaped like a desktop's
// (a CPU package and its cores, an NVMe drive, a graphics card, ACPI, a USB disk) once a second
// for a while; its CPU time from /proc/<pid>/stat as a share of one core, and its resident
// memory. The tree is shown to it as /sys/class/hwmon in a private mount namespace, which needs
// root; without one the benchmark says so and ends.
//
//   trellon-bench-sensors [--seconds N] [--program PATH]
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/fake_hwmon.h"
#include "support/temporary_directory.h"
#include "support/wait.h"

namespace {

using trellon::test_support::ChildProcess;
using trellon::test_support::FakeHwmonTree;

struct Options {
  int seconds = 20;
  std::string program = TRELLON_SENSORS_PATH;
};

Options ParseArguments(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) throw std::runtime_error("missing value after " + arg);
    const std::string value = argv[++i];
    if (arg == "--seconds") {
      options.seconds = std::stoi(value);
    } else if (arg == "--program") {
      options.program = value;
    } else {
      throw std::runtime_error("unknown option " + arg);
    }
  }
  return options;
}

void MakeDesktopTree(FakeHwmonTree& tree) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> chips = {
      {"coretemp", {"Package id 0", "Core 0", "Core 1", "Core 2", "Core 3"}},
      {"nvme", {"Composite", "Sensor 1", "Sensor 2"}},
      {"amdgpu", {"edge", "junction", "mem"}},
      {"acpitz", {""}},
      {"drivetemp", {""}},
  };
  for (size_t chip = 0; chip < chips.size(); ++chip) {
    tree.AddChip(static_cast<int>(chip), chips[chip].first);
    for (size_t sensor = 0; sensor < chips[chip].second.size(); ++sensor) {
      tree.SetTemperature(static_cast<int>(chip), static_cast<int>(sensor + 1),
                          40000 + 1000 * static_cast<int>(sensor), chips[chip].second[sensor]);
    }
  }
}

// User and system CPU time of the process so far, in clock ticks.
long CpuTicks(int pid) {
  const std::string stat =
      trellon::test_support::ReadText("/proc/" + std::to_string(pid) + "/stat");
  // The command name may hold spaces; the fields after it are plain numbers.
  const size_t end = stat.rfind(')');
  if (end == std::string::npos) throw std::runtime_error("cannot read /proc/<pid>/stat");
  std::istringstream fields(stat.substr(end + 2));
  std::string field;
  // utime and stime are the 14th and 15th fields; the text starts at the 3rd.
  for (int skipped = 3; skipped < 14; ++skipped) fields >> field;
  long user = 0;
  long system = 0;
  if (!(fields >> user >> system)) throw std::runtime_error("cannot read the CPU times");
  return user + system;
}

// Time on a CPU so far in nanoseconds, from the scheduler (finer than the ticks); -1 where the
// kernel keeps no such figure.
long long CpuNanoseconds(int pid) {
  std::istringstream schedstat(
      trellon::test_support::ReadText("/proc/" + std::to_string(pid) + "/schedstat"));
  long long nanoseconds = -1;
  schedstat >> nanoseconds;
  return nanoseconds;
}

// A line of /proc/<pid>/status such as "VmRSS:  1234 kB", without its name.
std::string StatusLine(int pid, const std::string& name) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(name + ":", 0) == 0) {
      const size_t value = line.find_first_not_of(" \t", name.size() + 1);
      return value == std::string::npos ? "" : line.substr(value);
    }
  }
  return "?";
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options options = ParseArguments(argc, argv);
    FakeHwmonTree tree;
    MakeDesktopTree(tree);
    if (const auto why = tree.Unavailable()) {
      std::printf("trellon-sensors benchmark not run: %s\n", why->c_str());
      return 0;
    }
    trellon::test_support::TemporaryDirectory files;
    const std::string block = "/trellon-bench-sensors-" + std::to_string(::getpid());
    ChildProcess::Options child(tree.Wrap({options.program, "--block", block}));
    child.environment = {{"XDG_CONFIG_HOME", files.Path()}};
    child.errorFile = files.File("listing.txt");
    ChildProcess sensors(child);
    // The listing is printed after the first publication: from then on it only publishes.
    if (!trellon::test_support::WaitFor(
            [&] { return !trellon::test_support::ReadText(child.errorFile).empty(); })) {
      throw std::runtime_error("trellon-sensors published nothing");
    }
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    const long startTicks = CpuTicks(sensors.Pid());
    const long long startNanoseconds = CpuNanoseconds(sensors.Pid());
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(options.seconds));
    const long ticks = CpuTicks(sensors.Pid()) - startTicks;
    const long long nanoseconds = CpuNanoseconds(sensors.Pid()) - startNanoseconds;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("trellon-sensors, 13 sensors on 5 chips, published once a second for %.1f s:\n",
                seconds);
    std::printf("  CPU %.3f %% of one core (%ld ticks of 1/%ld s; the start took %ld)\n",
                100.0 * ticks / ticksPerSecond / seconds, ticks, ticksPerSecond, startTicks);
    if (startNanoseconds >= 0) {
      std::printf("  scheduler's count: %.4f %% of one core, %.0f µs per publication\n",
                  1e-7 * nanoseconds / seconds, 1e-3 * nanoseconds / seconds);
    }
    std::printf("  resident memory %s (peak %s)\n", StatusLine(sensors.Pid(), "VmRSS").c_str(),
                StatusLine(sensors.Pid(), "VmHWM").c_str());
    sensors.Signal(SIGTERM);
    sensors.WaitExit();
    ::shm_unlink(block.c_str());
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "trellon-bench-sensors: %s\n", error.what());
    return 1;
  }
}
