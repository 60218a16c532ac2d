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

int Run(const SimOptions& options) {
  sigset_t waitMask;
  InstallSignals(waitMask);

  PtyPort port;
  std::string error;
  if (!port.Create(error) ||
      (!options.linkPath.empty() && !port.MakeLink(options.linkPath, error))) {
    std::fprintf(stderr, "vx710-sim: %s\n", error.c_str());
    return 1;
  }
  std::vector<std::string> script;
  if (!options.scriptPath.empty()) {
    std::ifstream file(options.scriptPath);
    if (!file) {
      std::fprintf(stderr, "vx710-sim: cannot read the script %s: %s\n", options.scriptPath.c_str(),
                   std::strerror(errno));
      return 1;
    }
    for (std::string line; std::getline(file, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      script.push_back(line);
    }
  }

  const LineWriter out(options.timestamps);
  trellon::SystemClock clock;
  ControllerSim sim(clock, port, out, options.settings);
  out("device " + port.DeviceName());
  if (!options.linkPath.empty()) out("link " + options.linkPath);
  if (isatty(STDIN_FILENO)) out("# type help for the commands; quit or Ctrl+D ends");
  for (auto& line : script) sim.Submit(std::move(line));

  LineSplitter splitter;
  bool inputOpen = true;
  bool portOpen = false;
  auto submit = [&sim](std::string line) { sim.Submit(std::move(line)); };

  for (;;) {
    const bool nowOpen = port.IsOpen();
    if (!portOpen && !nowOpen) {
      // Opened, written and closed again between two looks: the bytes are still queued.
      const auto bytes = port.ReadAvailable();
      if (!bytes.empty()) {
        sim.OnPortOpened();
        sim.OnReceived(bytes);
        sim.OnPortClosed();
      }
    }
    if (nowOpen != portOpen) {
      portOpen = nowOpen;
      portOpen ? sim.OnPortOpened() : sim.OnPortClosed();
    }
    sim.Poll();
    if (stopSignal || sim.QuitRequested()) break;
    if (!inputOpen && !options.stay && !sim.Busy()) break;

    pollfd fds[2];
    nfds_t count = 0;
    int inputIndex = -1, portIndex = -1;
    if (inputOpen) {
      inputIndex = static_cast<int>(count);
      fds[count++] = {STDIN_FILENO, POLLIN, 0};
    }
    // A closed device reports hang-up without end; look at it on a short period instead.
    uint32_t waitMs = sim.MillisToNextDue();
    if (portOpen) {
      portIndex = static_cast<int>(count);
      fds[count++] = {port.MasterFd(), POLLIN, 0};
    } else if (waitMs > kClosedPortCheckMs) {
      waitMs = kClosedPortCheckMs;
    }
    const timespec timeout{static_cast<time_t>(waitMs / 1000),
                           static_cast<long>(waitMs % 1000) * 1000000L};
    const int ready = ppoll(fds, count, &timeout, &waitMask);
    if (ready < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "vx710-sim: waiting failed: %s\n", std::strerror(errno));
      return 1;
    }
    if (inputIndex >= 0 && fds[inputIndex].revents != 0) {
      char buffer[4096];
      const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
      if (n > 0) {
        splitter.Add(buffer, static_cast<size_t>(n), submit);
      } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        splitter.Finish(submit);
        inputOpen = false;
      }
    }
    // Read before looking at hang-up: the program may write and close at once.
    if (portIndex >= 0 && (fds[portIndex].revents & (POLLIN | POLLHUP))) {
      const auto bytes = port.ReadAvailable();
      if (!bytes.empty()) sim.OnReceived(bytes);
    }
  }
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
