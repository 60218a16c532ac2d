#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "support/child_process.h"
#include "support/fake_hwmon.h"

namespace trellon::test_support {
namespace {

// Where the machine has a hwmon class the tree goes over it; where it has none (a container
// without hardware monitoring) there is no mount point for it, so the tree goes over the whole
// class folder, in which only lm-sensors looks for it anyway.
constexpr const char* kMountScript =
    "if [ -d /sys/class/hwmon ]; then mount --bind \"$1/hwmon\" /sys/class/hwmon;"
    " else mount --bind \"$1\" /sys/class; fi || exit 97; shift; exec \"$@\"";
constexpr int kMountFailed = 97;

}  // namespace

std::string FakeHwmonTree::ChipPath(int index) const {
  return directory_.Path() + "/hwmon/hwmon" + std::to_string(index);
}

void FakeHwmonTree::AddChip(int index, const std::string& name) {
  std::filesystem::create_directories(ChipPath(index));
  WriteText(ChipPath(index) + "/name", name + "\n");
}

void FakeHwmonTree::SetTemperature(int chip, int sensor, int millidegrees,
                                   const std::string& label) {
  const std::string prefix = ChipPath(chip) + "/temp" + std::to_string(sensor);
  // The value is written before the label: a reader never finds a label without a value.
  WriteText(prefix + "_input", std::to_string(millidegrees) + "\n");
  if (!label.empty()) WriteText(prefix + "_label", label + "\n");
}

void FakeHwmonTree::RemoveChip(int index) {
  std::filesystem::remove_all(ChipPath(index));
}

std::optional<std::string> FakeHwmonTree::Unavailable() const {
  if (::geteuid() != 0) return "a private mount namespace for the fake hwmon tree needs root";
  std::filesystem::create_directories(directory_.Path() + "/hwmon");
  try {
    ChildProcess probe(Wrap({"true"}));
    const auto status = probe.WaitExit();
    if (status == ExitStatus::Exited(0)) return std::nullopt;
    if (status == ExitStatus::Exited(kMountFailed)) {
      return "the fake hwmon tree cannot be bind-mounted over /sys/class here";
    }
    return "unshare --mount does not work here";
  } catch (const std::runtime_error& error) {
    return std::string("unshare cannot be started: ") + error.what();
  }
}

std::vector<std::string> FakeHwmonTree::Wrap(const std::vector<std::string>& argv) const {
  std::vector<std::string> wrapped{"unshare",    "--mount", "--propagation",  "private", "sh", "-c",
                                   kMountScript, "sh",      directory_.Path()};
  wrapped.insert(wrapped.end(), argv.begin(), argv.end());
  return wrapped;
}

}  // namespace trellon::test_support
