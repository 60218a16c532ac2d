#pragma once

#include <functional>
#include <string>
#include <vector>

#include "remote/process_control.h"

namespace trellon::fakes {

// A process table in memory that records every call in order ("Snapshot", "ExeName 7",
// "Terminate 7", "ShellExecute <path>"). Terminate removes the process; ShellExecute only records.
class FakeProcessControl : public ProcessControl {
 public:
  std::optional<std::vector<ProcessEntry>> Snapshot() override;
  std::string ExeName(ProcessId pid) override;
  bool Terminate(ProcessId pid) override;
  void ShellExecute(const std::string& path) override;

  // How many calls of that kind were recorded.
  int CountCalls(const std::string& kind) const;

  std::vector<ProcessEntry> processes;
  bool snapshotFails = false;
  std::vector<std::string> calls;
  std::vector<ProcessId> terminated;
  std::vector<std::string> executed;
  // Runs at the start of every call, so a test can look at the world at that moment.
  std::function<void(const std::string& call)> onCall;

 private:
  void Record(std::string call);
};

}  // namespace trellon::fakes
