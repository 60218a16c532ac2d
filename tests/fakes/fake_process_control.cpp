#include "fakes/fake_process_control.h"

#include <algorithm>

namespace trellon::fakes {

void FakeProcessControl::Record(std::string call) {
  if (onCall) onCall(call);
  calls.push_back(std::move(call));
}

std::optional<std::vector<ProcessEntry>> FakeProcessControl::Snapshot() {
  Record("Snapshot");
  if (snapshotFails) return std::nullopt;
  return processes;
}

std::string FakeProcessControl::ExeName(ProcessId pid) {
  Record("ExeName " + std::to_string(pid));
  for (const ProcessEntry& entry : processes) {
    if (entry.pid == pid) return entry.exeName;
  }
  return {};
}

bool FakeProcessControl::Terminate(ProcessId pid) {
  Record("Terminate " + std::to_string(pid));
  const auto it = std::find_if(processes.begin(), processes.end(),
                               [pid](const ProcessEntry& entry) { return entry.pid == pid; });
  if (it == processes.end()) return false;
  processes.erase(it);
  terminated.push_back(pid);
  return true;
}

void FakeProcessControl::ShellExecute(const std::string& path) {
  Record("ShellExecute " + path);
  executed.push_back(path);
}

int FakeProcessControl::CountCalls(const std::string& kind) const {
  return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&kind](const auto& call) {
    return call == kind || call.starts_with(kind + " ");
  }));
}

}  // namespace trellon::fakes
