#pragma once

// A fake hwmon tree for programs that read the machine's sensors through sysfs (lm-sensors):
// hwmonN folders with a name and tempK_input (millidegrees) / tempK_label files, kept in a
// temporary directory that the test changes while a child runs. The child sees it as
// /sys/class/hwmon inside a mount namespace of its own; the machine's sysfs is left alone.
// The folders have no "device" link, so lm-sensors takes them as virtual chips
// ("<name>-virtual-0").

#include <optional>
#include <string>
#include <vector>

#include "support/temporary_directory.h"

namespace trellon::test_support {

class FakeHwmonTree {
 public:
  FakeHwmonTree() = default;

  // Makes hwmon<index> with the chip name `name` (again, after RemoveChip).
  void AddChip(int index, const std::string& name);
  // Sets temp<sensor> of hwmon<chip>; an empty label leaves no label file.
  void SetTemperature(int chip, int sensor, int millidegrees, const std::string& label = {});
  // The chip is unplugged: hwmon<index> goes with everything in it.
  void RemoveChip(int index);

  // Why a child cannot be shown the tree here (not root, no mount namespaces, no bind mounts);
  // nothing when it can. Tries it once with a real namespace.
  std::optional<std::string> Unavailable() const;
  // The command line that runs `argv` with the tree as /sys/class/hwmon. The program is started
  // by exec, so the child's process id is the program's own.
  std::vector<std::string> Wrap(const std::vector<std::string>& argv) const;

 private:
  std::string ChipPath(int index) const;

  TemporaryDirectory directory_;
};

}  // namespace trellon::test_support
