// Key latency: from a key byte written at the controller's end of the line to the whole key
// record read by the key server's clients. The benchmark plays the controller itself on a
// pseudo-terminal (the simulator's logic: handshake, temperature reports), runs the built program
// headless against it, connects the clients, and presses "ok" at random moments, so that the
// presses fall at every phase of the program's 100 ms link tick. With --lirc the clients are
// LIRC clients of the program's LIRC socket instead, each key a whole line.
//
//   trellon-bench-key-latency [--presses N] [--clients N] [--seed N] [--program PATH] [--lirc]
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/clock.h"
#include "controller_sim.h"
#include "pty_port.h"
#include "support/child_process.h"
#include "support/tcp_client.h"
#include "support/temporary_directory.h"
#include "support/unix_client.h"
#include "support/wait.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
using trellon::test_support::ChildProcess;
using trellon::test_support::TcpClient;
using trellon::test_support::UnixClient;

constexpr size_t kRecordSize = 312;
constexpr uint8_t kOkCode = 66;
// Presses are 150 to 450 ms apart: every phase of the 100 ms tick, and never two in flight.
constexpr int kMinGapMs = 150;
constexpr int kMaxGapMs = 450;
constexpr int kRecordTimeoutMs = 2000;

struct Options {
  int presses = 200;
  int clients = 100;
  unsigned seed = 1;
  std::string program = TRELLON_PATH;
  bool lirc = false;
};

Options ParseArguments(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--lirc") {
      options.lirc = true;
      continue;
    }
    if (i + 1 >= argc) throw std::runtime_error("missing value after " + arg);
    const std::string value = argv[++i];
    if (arg == "--presses") {
      options.presses = std::stoi(value);
    } else if (arg == "--clients") {
      options.clients = std::stoi(value);
    } else if (arg == "--seed") {
      options.seed = static_cast<unsigned>(std::stoul(value));
    } else if (arg == "--program") {
      options.program = value;
    } else {
      throw std::runtime_error("unknown option " + arg);
    }
  }
  return options;
}

double Millis(SteadyClock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// The controller's end: the simulator's logic on the pseudo-terminal, driven from the
// benchmark's own loop.
class Controller {
 public:
  explicit Controller(const std::string& linkPath)
      : sim_(
            clock_, port_, [](const std::string&) {}, QuietSettings()) {
    std::string error;
    if (!port_.Create(error) || !port_.MakeLink(linkPath, error)) throw std::runtime_error(error);
  }

  int Fd() { return open_ ? port_.MasterFd() : -1; }
  // Follows the program opening and closing the device, reads what it wrote, runs what is due.
  void Service() {
    const bool nowOpen = port_.IsOpen();
    if (nowOpen != open_) {
      open_ = nowOpen;
      open_ ? sim_.OnPortOpened() : sim_.OnPortClosed();
    }
    if (open_) {
      const auto bytes = port_.ReadAvailable();
      if (!bytes.empty()) sim_.OnReceived(bytes);
    }
    sim_.Poll();
  }
  int MillisToNextDue() const {
    return static_cast<int>(std::min<uint32_t>(sim_.MillisToNextDue(), 20));
  }
  bool Attached() const { return sim_.Attached(); }
  // Writes the key byte; the moment just before the write.
  SteadyClock::time_point Press(uint8_t code) {
    const uint8_t bytes[] = {code};
    const auto at = SteadyClock::now();
    if (!port_.Write(bytes)) throw std::runtime_error("the key byte could not be written");
    return at;
  }

 private:
  static trellon::sim::SimSettings QuietSettings() {
    trellon::sim::SimSettings settings;
    settings.quietTicks = true;
    return settings;
  }

  trellon::SystemClock clock_;
  trellon::sim::PtyPort port_;
  trellon::sim::ControllerSim sim_;
  bool open_ = false;
};

// A key-server client (whole records) or a LIRC client (whole lines).
struct Client {
  std::unique_ptr<TcpClient> socket;
  std::unique_ptr<UnixClient> lirc;
  size_t pending = 0;   // bytes of the record under way
  bool served = false;  // received the warm-up record

  int Fd() const { return lirc ? lirc->Fd() : socket->Fd(); }
  // The keys that are whole now.
  size_t ReadKeys() {
    if (lirc) {
      const std::string data = lirc->ReceiveAvailable();
      return static_cast<size_t>(std::count(data.begin(), data.end(), '\n'));
    }
    pending += socket->ReceiveAvailable().size();
    const size_t keys = pending / kRecordSize;
    pending %= kRecordSize;
    return keys;
  }
};

class Bench {
 public:
  explicit Bench(const Options& options) : options_(options), random_(options.seed) {}

  void Run() {
    StartProgram();
    WaitUntil([&] { return controller_->Attached(); }, 30000, "the program did not attach");
    for (int i = 0; i < options_.clients; ++i) {
      clients_.emplace_back();
      Client& client = clients_.back();
      if (options_.lirc) {
        client.lirc = std::make_unique<UnixClient>();
        if (!client.lirc->Connect(LircPath())) throw std::runtime_error("cannot connect");
      } else {
        client.socket = std::make_unique<TcpClient>();
        if (!client.socket->Connect(port_, 10000)) throw std::runtime_error("cannot connect");
      }
    }
    // Warm-up presses show which clients the server took (it accepts them one by one, and may
    // limit their number): until all are served, or three presses serve no one new.
    size_t served = 0;
    for (int idle = 0; idle < 3 && served < clients_.size();) {
      std::vector<double> ignored;
      PressAndCollect(ignored, true);
      const size_t now = Served();
      idle = now > served ? 0 : idle + 1;
      served = now;
    }
    if (served == 0) throw std::runtime_error("no client received the warm-up key");

    std::vector<double> all, first, last;
    for (int press = 0; press < options_.presses; ++press) {
      const int gap = std::uniform_int_distribution<int>(kMinGapMs, kMaxGapMs)(random_);
      ServiceFor(gap);
      std::vector<double> latencies;
      PressAndCollect(latencies, false);
      all.insert(all.end(), latencies.begin(), latencies.end());
      first.push_back(*std::min_element(latencies.begin(), latencies.end()));
      last.push_back(*std::max_element(latencies.begin(), latencies.end()));
    }
    std::printf("key latency%s: %d presses, %zu of %d clients served, %zu records\n",
                options_.lirc ? " (LIRC socket)" : "", options_.presses, served, options_.clients,
                all.size());
    Print("every record", all);
    Print("first client per press", first);
    Print("last client per press", last);
  }

 private:
  std::string LircPath() const { return directory_.File("lircd"); }

  void StartProgram() {
    const std::string link = directory_.File("vx710");
    // The LIRC socket in the scratch folder, no virtual keyboard.
    trellon::test_support::WriteText(directory_.File("Trellon.ini"),
                                     "[X]\nInputDevice=0\nLircSocket=" + LircPath() + "\n");
    controller_ = std::make_unique<Controller>(link);
    port_ = trellon::test_support::FreeTcpPort();
    ChildProcess::Options child({options_.program});
    child.environment = {{"TRELLON_COM3", link},
                         {"TRELLON_KEY_SERVER_PORT", std::to_string(port_)},
                         {"QT_QPA_PLATFORM", "offscreen"},
                         // No power handling: there is no logind to follow.
                         {"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + directory_.File("no-bus")}};
    child.workingDirectory = directory_.Path();
    child.errorFile = directory_.File("trellon.stderr");
    program_ = std::make_unique<ChildProcess>(child);
  }

  // Serves the controller and reads the clients until `done` holds.
  template <typename Done>
  void WaitUntil(Done&& done, int timeoutMs, const char* failure) {
    const trellon::test_support::Deadline deadline(timeoutMs);
    while (!done()) {
      if (deadline.Passed()) throw std::runtime_error(failure);
      if (!program_->Running()) throw std::runtime_error("the program ended");
      Step(std::min(deadline.MillisLeft(), controller_->MillisToNextDue()));
    }
  }

  void ServiceFor(int ms) {
    const trellon::test_support::Deadline deadline(ms);
    while (!deadline.Passed())
      Step(std::min(deadline.MillisLeft(), controller_->MillisToNextDue()));
  }

  // One wait on the line and every client; what arrives is taken at once.
  void Step(int waitMs) {
    std::vector<pollfd> fds;
    fds.push_back({controller_->Fd(), POLLIN, 0});
    for (const Client& client : clients_) fds.push_back({client.Fd(), POLLIN, 0});
    poll(fds.data(), fds.size(), std::max(waitMs, 0));
    const auto now = SteadyClock::now();
    for (size_t i = 0; i < clients_.size(); ++i) {
      if (fds[i + 1].revents == 0) continue;
      for (size_t keys = clients_[i].ReadKeys(); keys > 0; --keys) completed_.push_back({i, now});
    }
    controller_->Service();
  }

  size_t Served() const {
    return static_cast<size_t>(
        std::count_if(clients_.begin(), clients_.end(), [](const Client& c) { return c.served; }));
  }

  // Presses "ok" and waits for its record at every served client; the latency of each of their
  // records in ms. A warm-up press waits up to a second for every client and marks those that
  // got it as served.
  void PressAndCollect(std::vector<double>& latencies, bool warmUp) {
    completed_.clear();
    const auto pressed = controller_->Press(kOkCode);
    const size_t expected = warmUp ? clients_.size() : Served();
    const trellon::test_support::Deadline deadline(warmUp ? 1000 : kRecordTimeoutMs);
    auto count = [&] {
      return static_cast<size_t>(std::count_if(completed_.begin(), completed_.end(), [&](auto& c) {
        return warmUp || clients_[c.client].served;
      }));
    };
    while (count() < expected) {
      if (deadline.Passed()) {
        if (warmUp) break;
        throw std::runtime_error("a record did not come within 2 s");
      }
      Step(std::min(deadline.MillisLeft(), controller_->MillisToNextDue()));
    }
    for (const auto& [index, when] : completed_) {
      if (warmUp) clients_[index].served = true;
      if (clients_[index].served) latencies.push_back(Millis(when - pressed));
    }
  }

  static double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::ceil(p * static_cast<double>(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
  }

  static void Print(const char* what, const std::vector<double>& values) {
    std::printf("  %-24s p50 %6.2f ms   p99 %6.2f ms   max %6.2f ms\n", what,
                Percentile(values, 0.50), Percentile(values, 0.99), Percentile(values, 1.0));
  }

  struct Completion {
    size_t client;
    SteadyClock::time_point when;
  };

  Options options_;
  std::mt19937 random_;
  trellon::test_support::TemporaryDirectory directory_;
  std::unique_ptr<Controller> controller_;
  uint16_t port_ = 0;
  std::unique_ptr<ChildProcess> program_;
  std::vector<Client> clients_;
  std::vector<Completion> completed_;
};

}  // namespace

int main(int argc, char** argv) {
  try {
    Bench(ParseArguments(argc, argv)).Run();
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "trellon-bench-key-latency: %s\n", error.what());
    return 1;
  }
}
