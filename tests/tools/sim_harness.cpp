#include "sim_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace trellon::sim::testing {
namespace {

int MillisLeft(SteadyTime deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

SteadyTime After(int ms) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& args) {
  int toChild[2], fromChild[2];
  if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
  std::vector<std::string> argv = {VX710_SIM_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargs;
  for (auto& arg : argv) cargs.push_back(arg.data());
  cargs.push_back(nullptr);
  const int spawned = posix_spawn(&pid_, VX710_SIM_PATH, &actions, nullptr, cargs.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(toChild[0]);
  close(fromChild[1]);
  input_ = toChild[1];
  output_ = fromChild[0];
  if (spawned != 0) {
    pid_ = -1;
    throw std::runtime_error("cannot start " VX710_SIM_PATH);
  }
  const auto deadline = After(5000);
  while (device_.empty() && Pump(MillisLeft(deadline))) {
    for (const auto& line : lines_) {
      if (line.starts_with("device ")) device_ = line.substr(7);
    }
  }
}

SimProcess::~SimProcess() {
  if (input_ >= 0) close(input_);
  if (pid_ > 0 && !exited_) {
    kill(pid_, SIGTERM);
    if (!WaitExit(3000)) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  if (output_ >= 0) close(output_);
}

void SimProcess::Send(const std::string& commandLine) {
  const std::string text = commandLine + "\n";
  if (write(input_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    throw std::runtime_error("cannot write to the simulator");
  }
}

void SimProcess::CloseInput() {
  close(input_);
  input_ = -1;
}

bool SimProcess::Pump(int timeoutMs) {
  if (output_ < 0) return false;
  pollfd fd{output_, POLLIN, 0};
  if (poll(&fd, 1, timeoutMs) <= 0) return false;
  char buffer[4096];
  const ssize_t n = read(output_, buffer, sizeof buffer);
  if (n <= 0) {
    close(output_);
    output_ = -1;
    return false;
  }
  partial_.append(buffer, static_cast<size_t>(n));
  for (size_t end; (end = partial_.find('\n')) != std::string::npos;) {
    lines_.push_back(partial_.substr(0, end));
    partial_.erase(0, end + 1);
  }
  return true;
}

bool SimProcess::WaitForLine(const std::string& line, int timeoutMs) {
  const auto deadline = After(timeoutMs);
  for (;;) {
    for (; searchFrom_ < lines_.size(); ++searchFrom_) {
      if (lines_[searchFrom_] == line) {
        ++searchFrom_;
        return true;
      }
    }
    if (MillisLeft(deadline) == 0 || (!Pump(MillisLeft(deadline)) && output_ < 0)) return false;
  }
}

const std::vector<std::string>& SimProcess::LinesAfter(int ms) {
  const auto deadline = After(ms);
  for (;;) {
    const bool got = Pump(MillisLeft(deadline));
    if (!got && (MillisLeft(deadline) == 0 || output_ < 0)) break;
  }
  return lines_;
}

std::optional<int> SimProcess::WaitExit(int timeoutMs) {
  const auto deadline = After(timeoutMs);
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      exited_ = true;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (MillisLeft(deadline) == 0) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

DevicePeer::DevicePeer(const std::string& path) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return;
  termios tio{};
  tcgetattr(fd_, &tio);
  cfmakeraw(&tio);
  cfsetspeed(&tio, B38400);
  tcsetattr(fd_, TCSANOW, &tio);
}

DevicePeer::~DevicePeer() {
  Close();
}

void DevicePeer::Write(const std::vector<uint8_t>& bytes) {
  if (write(fd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    throw std::runtime_error("cannot write to the device");
  }
}

std::vector<DevicePeer::Byte> DevicePeer::ReadTimed(size_t count, int timeoutMs) {
  std::vector<Byte> bytes;
  const auto deadline = After(timeoutMs);
  while (bytes.size() < count) {
    pollfd fd{fd_, POLLIN, 0};
    if (poll(&fd, 1, MillisLeft(deadline)) <= 0) break;
    uint8_t buffer[256];
    const ssize_t n = read(fd_, buffer, std::min(sizeof buffer, count - bytes.size()));
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) break;
    const auto now = std::chrono::steady_clock::now();
    for (ssize_t i = 0; i < n; ++i) bytes.push_back({buffer[i], now});
  }
  return bytes;
}

std::vector<uint8_t> DevicePeer::Read(size_t count, int timeoutMs) {
  std::vector<uint8_t> values;
  for (const auto& byte : ReadTimed(count, timeoutMs)) values.push_back(byte.value);
  return values;
}

void DevicePeer::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void SendHelloBurst(DevicePeer& peer) {
  for (int i = 0; i < 10; ++i) {
    peer.Write({0xAA, 0xAA});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace trellon::sim::testing
