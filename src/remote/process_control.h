#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace trellon {

// A process id as the system gives it; 0 stands for no process.
using ProcessId = uint32_t;

// One entry of a process snapshot.
struct ProcessEntry {
  ProcessId pid = 0;
  // The executable's file name as the system reports it (no folder), e.g. "kodi.bin".
  std::string exeName;
};

// The processes of the machine, as the media-centre launcher needs them. Every operation fails
// silently: the launcher reports nothing either way.
class ProcessControl {
 public:
  virtual ~ProcessControl() = default;

  // All processes in the system's order; nullopt when no snapshot can be taken.
  virtual std::optional<std::vector<ProcessEntry>> Snapshot() = 0;
  // The executable name a snapshot would give for pid; empty when there is no such process.
  virtual std::string ExeName(ProcessId pid) = 0;
  // Ends the process at once, without giving it a chance to clean up. False when it could not
  // be done (no such process, no permission, pid 0).
  virtual bool Terminate(ProcessId pid) = 0;
  // Starts a program, or opens a document with the desktop's handler, the way the shell would,
  // detached from this program. A path without a folder is looked up in the search path; a path
  // to nothing that is not an address (scheme://...) starts nothing.
  virtual void ShellExecute(const std::string& path) = 0;
};

// The backend of this platform.
std::unique_ptr<ProcessControl> CreateProcessControl();

}  // namespace trellon
