#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace trellon {

class CrashReportSink;

// Reports faults on any thread of the process (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT on this
// platform) with a crash helper: a process of its own, started before anything else, that the
// faulting process hands the fault's state and raw frames to. A faulting process may hold any
// lock and have a broken heap, so its handler only does what is safe there: it puts the
// controller's fans to full speed (the safe state for hardware whose regulation is about to
// die), collects the frames, hands them over and waits for the helper's answer (at most 5 s).
// The helper names the frames and writes the report into the log. Then the fault takes its
// default course (a core dump where enabled), so the exit status still says how the program
// died.
class FaultReporting {
 public:
  struct Options {
    // The crash helper's command line; the helper finds its end of the channel as descriptor 3.
    std::vector<std::string> helperCommand;
    // Written to the controller's port, when one is set, before anything else (at most 16).
    std::vector<uint8_t> safeStateBytes;
  };

  // How long a faulting thread waits for the helper.
  static constexpr int kHelperPatienceMs = 5000;
  // The descriptor the helper finds its end of the channel on.
  static constexpr int kHelperChannel = 3;

  virtual ~FaultReporting() = default;

  // The open port of the attached controller; -1 when there is none (before it closes).
  virtual void SetControllerPort(intptr_t handle) = 0;
};

// Starts the helper and installs the handlers for the whole process. Once per process, on the
// main thread before any other thread exists; a second call throws std::logic_error, and a
// helper that cannot be started throws std::runtime_error (faults then end the program without a
// report, as without the handlers).
std::unique_ptr<FaultReporting> StartFaultReporting(const FaultReporting::Options& options);

// The running program's executable, for a helper that is the program itself; empty when the
// system does not say.
std::string OwnExecutablePath();

// The crash helper's side: answers the requests on `channel` until the faulting side has gone,
// writing each report through `sink`. Returns the process's exit code.
int RunCrashHelper(int channel, CrashReportSink& sink);

}  // namespace trellon
