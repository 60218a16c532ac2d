// vx710-sim: a virtual VX710 front-panel controller on a pseudo-terminal.

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "base/clock.h"
#include "controller_sim.h"
#include "pty_port.h"
#include "sim_options.h"

namespace {

using namespace trellon::sim;

volatile sig_atomic_t stopSignal = 0;

void OnStopSignal(int signal) {
  stopSignal = signal;
}

// Every line goes out at once, so a reader at the other end of a pipe sees it without delay.
class LineWriter {
 public:
  explicit LineWriter(bool timestamps)
      : timestamps_(timestamps), start_(std::chrono::steady_clock::now()) {}

  void operator()(const std::string& line) const {
    if (timestamps_) {
      const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - start_);
      std::fprintf(stdout, "%lld.%03lld ", static_cast<long long>(elapsed.count() / 1000),
                   static_cast<long long>(elapsed.count() % 1000));
    }
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }

 private:
  bool timestamps_;
  std::chrono::steady_clock::time_point start_;
};

// Splits stdin into lines; the last line may lack its line end.
class LineSplitter {
 public:
  template <typename Sink>
  void Add(const char* data, size_t size, Sink&& sink) {
    pending_.append(data, size);
    size_t end;
    while ((end = pending_.find('\n')) != std::string::npos) {
      sink(TrimCarriageReturn(pending_.substr(0, end)));
      pending_.erase(0, end + 1);
    }
  }
  template <typename Sink>
  void Finish(Sink&& sink) {
    if (!pending_.empty()) sink(TrimCarriageReturn(pending_));
    pending_.clear();
  }

 private:
  static std::string TrimCarriageReturn(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  std::string pending_;
};

void InstallSignals(sigset_t& waitMask) {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // The stop signals are only let through while waiting in ppoll, so none slips in between
  // the check of the flag and the wait.
  sigset_t blocked;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGHUP);
  sigprocmask(SIG_BLOCK, &blocked, &waitMask);
  sigdelset(&waitMask, SIGINT);
  sigdelset(&waitMask, SIGTERM);
  sigdelset(&waitMask, SIGHUP);
}

// How long the end waits for the program to read the last bytes sent.
constexpr int kDrainOnExitMs = 1000;

// How often a closed device is looked at for the program opening it again.
constexpr int kClosedPortCheckMs = 20;

void PrintError(const std::string& message) {
  std::fprintf(stderr, "vx710-sim: %s\n", message.c_str());
}

// Creates the pseudo-terminal and, when asked, its link; false after saying why.
bool SetUpDevice(PtyPort& port, const std::string& linkPath) {
  std::string error;
  if (!port.Create(error) || (!linkPath.empty() && !port.MakeLink(linkPath, error))) {
    PrintError(error);
    return false;
  }
  return true;
}

// The script's lines without line ends; false after saying why it cannot be read.
bool ReadScript(const std::string& path, std::vector<std::string>& lines) {
  if (path.empty()) return true;
  std::ifstream file(path);
  if (!file) {
    const int error = errno;
    PrintError("cannot read the script " + path + ": " + std::strerror(error));
    return false;
  }
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return true;
}

void Greet(const LineWriter& out, const PtyPort& port, const std::string& linkPath) {
  out("device " + port.DeviceName());
  if (!linkPath.empty()) out("link " + linkPath);
  if (isatty(STDIN_FILENO)) out("# type help for the commands; quit or Ctrl+D ends");
}

// The simulator's main loop: passes the program's opening, closing and bytes and the typed
// lines to the simulator, and waits for the next of them or the simulator's next due time.
class SimLoop {
 public:
  SimLoop(PtyPort& port, ControllerSim& sim, const sigset_t& waitMask, bool stay)
      : port_(port), sim_(sim), waitMask_(waitMask), stay_(stay) {}

  // Until quit, a stop signal or (without stay) the end of stdin once its commands have run.
  // False when waiting failed.
  bool Run() {
    for (;;) {
      FollowPortState();
      sim_.Poll();
      if (Finished()) return true;
      const Readiness ready = Wait();
      if (ready.failed) return false;
      if (ready.input) ReadInput();
      // Read before looking at hang-up: the program may write and close at once.
      if (ready.port) ReadPort();
    }
  }

 private:
  struct Readiness {
    bool failed = false;
    bool input = false;
    bool port = false;
  };

  void FollowPortState() {
    const bool nowOpen = port_.IsOpen();
    if (!portOpen_ && !nowOpen && !sim_.ReadsStalled()) {
      // Opened, written and closed again between two looks: the bytes are still queued.
      const auto bytes = port_.ReadAvailable();
      if (!bytes.empty()) {
        sim_.OnPortOpened();
        sim_.OnReceived(bytes);
        sim_.OnPortClosed();
      }
    }
    if (nowOpen != portOpen_) {
      portOpen_ = nowOpen;
      portOpen_ ? sim_.OnPortOpened() : sim_.OnPortClosed();
    }
  }

  bool Finished() const {
    if (stopSignal || sim_.QuitRequested()) return true;
    return !inputOpen_ && !stay_ && !sim_.Busy();
  }

  // Waits for stdin, the device or the simulator's next due time; a stop signal ends the wait
  // early with nothing ready.
  Readiness Wait() {
    pollfd fds[2];
    nfds_t count = 0;
    int inputIndex = -1, portIndex = -1;
    if (inputOpen_) {
      inputIndex = static_cast<int>(count);
      fds[count++] = {STDIN_FILENO, POLLIN, 0};
    }
    // A closed device reports hang-up without end, and one whose reads are stalled would report
    // its input without end; look at it on a short period instead.
    uint32_t waitMs = sim_.MillisToNextDue();
    if (portOpen_ && !sim_.ReadsStalled()) {
      portIndex = static_cast<int>(count);
      fds[count++] = {port_.MasterFd(), POLLIN, 0};
    } else if (waitMs > kClosedPortCheckMs) {
      waitMs = kClosedPortCheckMs;
    }
    const timespec timeout{static_cast<time_t>(waitMs / 1000),
                           static_cast<long>(waitMs % 1000) * 1000000L};
    Readiness ready;
    if (ppoll(fds, count, &timeout, &waitMask_) < 0) {
      const int error = errno;
      if (error == EINTR) return ready;
      PrintError(std::string("waiting failed: ") + std::strerror(error));
      ready.failed = true;
      return ready;
    }
    ready.input = inputIndex >= 0 && fds[inputIndex].revents != 0;
    ready.port = portIndex >= 0 && (fds[portIndex].revents & (POLLIN | POLLHUP)) != 0;
    return ready;
  }

  void ReadInput() {
    const auto submit = [this](std::string line) { sim_.Submit(std::move(line)); };
    char buffer[4096];
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n > 0) {
      splitter_.Add(buffer, static_cast<size_t>(n), submit);
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
      splitter_.Finish(submit);
      inputOpen_ = false;
    }
  }

  void ReadPort() {
    const auto bytes = port_.ReadAvailable();
    if (!bytes.empty()) sim_.OnReceived(bytes);
  }

  PtyPort& port_;
  ControllerSim& sim_;
  const sigset_t& waitMask_;
  const bool stay_;
  LineSplitter splitter_;
  bool inputOpen_ = true;
  bool portOpen_ = false;
};

int Run(const SimOptions& options) {
  sigset_t waitMask;
  InstallSignals(waitMask);

  PtyPort port;
  std::vector<std::string> script;
  if (!SetUpDevice(port, options.linkPath) || !ReadScript(options.scriptPath, script)) return 1;

  const LineWriter out(options.timestamps);
  trellon::SystemClock clock;
  ControllerSim sim(clock, port, out, options.settings);
  Greet(out, port, options.linkPath);
  for (auto& line : script) sim.Submit(std::move(line));

  if (!SimLoop(port, sim, waitMask, options.stay).Run()) return 1;
  port.WaitUntilRead(kDrainOnExitMs);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const auto parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "vx710-sim: %s (try --help)\n", parsed.error.c_str());
    return 2;
  }
  if (parsed.options.help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  return Run(parsed.options);
}
