#include "e2e_harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "app/event_log.h"
#include "base/atomic_file.h"
#include "fans/speedfan_view.h"

extern char** environ;

namespace trellon::e2e {
namespace {

SteadyTime After(int ms) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

int MillisLeft(SteadyTime deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

std::string Errno(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// The test's environment with the given variables added or replaced.
std::vector<std::string> ChildEnvironment(const Environment& changes) {
  std::vector<std::string> result;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    const bool replaced = std::any_of(changes.begin(), changes.end(),
                                      [&name](const auto& change) { return change.first == name; });
    if (!replaced) result.push_back(text);
  }
  for (const auto& [name, value] : changes) result.push_back(name + "=" + value);
  return result;
}

std::vector<char*> CStrings(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (auto& text : strings) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

double SecondsBetween(SteadyTime from, SteadyTime to) {
  return std::chrono::duration<double>(to - from).count();
}

// --- TemporaryDirectory ---

TemporaryDirectory::TemporaryDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/trellon-e2e-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error(Errno("mkdtemp"));
  path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

// --- ChildProcess ---

ChildProcess::ChildProcess(const Spec& spec) {
  int inputPipe[2] = {-1, -1};
  int outputPipe[2] = {-1, -1};
  // The child reports a failed exec through this pipe; a successful exec closes it.
  int execPipe[2] = {-1, -1};
  if ((spec.pipeInput && pipe2(inputPipe, O_CLOEXEC) != 0) ||
      (spec.pipeOutput && pipe2(outputPipe, O_CLOEXEC) != 0) || pipe2(execPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error(Errno("pipe2"));
  }
  // Everything the child needs is prepared here: between fork and exec only async-signal-safe
  // calls are allowed in a process with threads.
  std::vector<std::string> argv = spec.argv;
  std::vector<std::string> environment = ChildEnvironment(spec.environment);
  const std::vector<char*> argvPointers = CStrings(argv);
  const std::vector<char*> environmentPointers = CStrings(environment);
  const char* outputFile = spec.outputFile.empty() ? nullptr : spec.outputFile.c_str();
  const char* errorFile = spec.errorFile.empty() ? nullptr : spec.errorFile.c_str();
  const char* directory = spec.workingDirectory.empty() ? nullptr : spec.workingDirectory.c_str();
  const pid_t parent = getpid();

  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error(Errno("fork"));
  if (pid_ == 0) {
    // A test that crashes must not leave the program or the simulator behind: they are told to
    // stop (in order) when the test process goes away.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    const auto fail = [&execPipe]() {
      const int error = errno;
      [[maybe_unused]] const ssize_t ignored = write(execPipe[1], &error, sizeof error);
      _exit(127);
    };
    if (spec.pipeInput && dup2(inputPipe[0], STDIN_FILENO) < 0) fail();
    if (spec.pipeOutput && dup2(outputPipe[1], STDOUT_FILENO) < 0) fail();
    for (const auto& [file, target] :
         {std::pair{outputFile, STDOUT_FILENO}, std::pair{errorFile, STDERR_FILENO}}) {
      if (!file) continue;
      const int fd = open(file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd < 0 || dup2(fd, target) < 0) fail();
    }
    if (directory && chdir(directory) != 0) fail();
    // Default signal handling and nothing blocked, whatever the test's threads have set up.
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &defaults, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(argvPointers[0], argvPointers.data(), environmentPointers.data());
    fail();
  }

  close(execPipe[1]);
  int execError = 0;
  ssize_t got;
  while ((got = read(execPipe[0], &execError, sizeof execError)) < 0 && errno == EINTR) {
  }
  close(execPipe[0]);
  if (spec.pipeInput) {
    close(inputPipe[0]);
    input_ = inputPipe[1];
  }
  if (spec.pipeOutput) {
    close(outputPipe[1]);
    output_ = outputPipe[0];
  }
  if (got > 0) {
    WaitExit(5000);
    pid_ = -1;
    CloseInput();
    if (output_ >= 0) close(output_);
    output_ = -1;
    throw std::runtime_error("cannot start " + argv.front() + ": " + std::strerror(execError));
  }
}

ChildProcess::~ChildProcess() {
  Stop(3000);
  if (output_ >= 0) close(output_);
}

bool ChildProcess::Running() {
  return pid_ > 0 && !WaitExit(0).has_value();
}

void ChildProcess::Signal(int signal) {
  if (pid_ > 0 && !status_) kill(pid_, signal);
}

std::optional<int> ChildProcess::WaitExit(int timeoutMs) {
  if (status_ || pid_ <= 0) return status_;
  const auto deadline = After(timeoutMs);
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return status_;
    }
    if (done < 0 && errno != EINTR) return std::nullopt;
    if (MillisLeft(deadline) == 0) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::optional<int> ChildProcess::Stop(int graceMs) {
  CloseInput();
  if (pid_ <= 0 || status_) return status_;
  Signal(SIGTERM);
  if (const auto status = WaitExit(graceMs)) return status;
  kill(pid_, SIGKILL);
  return WaitExit(5000);
}

void ChildProcess::CloseInput() {
  if (input_ >= 0) close(input_);
  input_ = -1;
}

// --- SimProcess ---

SimProcess::SimProcess(const TemporaryDirectory& directory, const std::vector<std::string>& options)
    : linkPath_(directory.File("vx710")), process_([&] {
        ChildProcess::Spec spec;
        spec.argv = {VX710_SIM_PATH, "--time", "--link", directory.File("vx710")};
        spec.argv.insert(spec.argv.end(), options.begin(), options.end());
        spec.pipeInput = true;
        spec.pipeOutput = true;
        spec.errorFile = directory.File("vx710-sim.stderr");
        return spec;
      }()) {
  // A command to a simulator that already ended must fail in the test, not kill it.
  signal(SIGPIPE, SIG_IGN);
  reader_ = std::thread([this] { ReadLines(); });
  WaitUntil(
      [this](const std::vector<Line>& lines) {
        for (const auto& line : lines) {
          if (line.text.starts_with("link ")) started_ = true;
        }
        return started_;
      },
      10000);
}

SimProcess::~SimProcess() {
  Stop();
}

void SimProcess::Stop() {
  process_.Stop();
  if (reader_.joinable()) reader_.join();
}

void SimProcess::ReadLines() {
  std::string pending;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(process_.OutputFd(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    const SteadyTime now = std::chrono::steady_clock::now();
    pending.append(buffer, static_cast<size_t>(n));
    std::lock_guard lock(mutex_);
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
      std::string text = pending.substr(0, end);
      pending.erase(0, end + 1);
      // "12.345 hello": the time stamp, a space, the event.
      Line line{-1.0, now, text};
      const size_t space = text.find(' ');
      if (space != std::string::npos) {
        char* parsed = nullptr;
        const double seconds = std::strtod(text.c_str(), &parsed);
        if (parsed == text.c_str() + space) {
          line.simSeconds = seconds;
          line.text = text.substr(space + 1);
        }
      }
      lines_.push_back(std::move(line));
    }
    changed_.notify_all();
  }
  std::lock_guard lock(mutex_);
  ended_ = true;
  changed_.notify_all();
}

void SimProcess::Send(const std::string& command) {
  const std::string text = command + "\n";
  if (write(process_.InputFd(), text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    throw std::runtime_error(Errno("cannot write to the simulator"));
  }
}

std::vector<SimProcess::Line> SimProcess::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

bool SimProcess::WaitUntil(const std::function<bool(const std::vector<Line>&)>& done,
                           int timeoutMs) {
  std::unique_lock lock(mutex_);
  return changed_.wait_until(lock, After(timeoutMs), [&] { return done(lines_) || ended_; }) &&
         done(lines_);
}

std::optional<size_t> SimProcess::WaitFor(const std::string& text, int timeoutMs, size_t from) {
  std::optional<size_t> found;
  WaitUntil(
      [&](const std::vector<Line>& lines) {
        for (size_t i = from; i < lines.size(); ++i) {
          if (lines[i].text == text) {
            found = i;
            return true;
          }
        }
        return false;
      },
      timeoutMs);
  return found;
}

std::string SimProcess::Transcript() const {
  std::string text;
  std::lock_guard lock(mutex_);
  for (const auto& line : lines_) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%8.3f ", line.simSeconds);
    text += stamp + line.text + "\n";
  }
  return text;
}

// --- ProgramProcess ---

ProgramProcess::ProgramProcess(const TemporaryDirectory& directory, const Environment& environment)
    : logPath_(directory.File("Trellon.log")),
      errorPath_(directory.File("trellon.stderr")),
      process_([&] {
        ChildProcess::Spec spec;
        spec.argv = {TRELLON_PATH};
        spec.environment = environment;
        spec.environment.emplace_back("QT_QPA_PLATFORM", "offscreen");
        spec.workingDirectory = directory.Path();
        spec.outputFile = directory.File("trellon.stdout");
        spec.errorFile = directory.File("trellon.stderr");
        return spec;
      }()) {}

std::vector<std::string> ProgramProcess::LogMessages() const {
  std::string content;
  if (!ReadFileContent(logPath_, content)) return {};
  std::vector<std::string> messages;
  for (const auto& line : SplitLines(content)) {
    const size_t separator = line.find(": ");
    messages.push_back(separator == std::string::npos ? line : line.substr(separator + 2));
  }
  return messages;
}

bool ProgramProcess::WaitForLog(const std::string& message, int timeoutMs, size_t count) {
  const auto deadline = After(timeoutMs);
  for (;;) {
    const auto messages = LogMessages();
    if (static_cast<size_t>(std::count(messages.begin(), messages.end(), message)) >= count) {
      return true;
    }
    if (MillisLeft(deadline) == 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

std::string ProgramProcess::StandardError() const {
  std::string content;
  ReadFileContent(errorPath_, content);
  return content;
}

std::optional<int> ProgramProcess::Terminate(int timeoutMs) {
  process_.Signal(SIGTERM);
  return process_.WaitExit(timeoutMs);
}

// --- KeyClient ---

KeyClient::~KeyClient() {
  if (fd_ >= 0) close(fd_);
}

bool KeyClient::Connect(uint16_t port, int timeoutMs) {
  const auto deadline = After(timeoutMs);
  for (;;) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      return true;
    }
    close(fd_);
    fd_ = -1;
    if (MillisLeft(deadline) == 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

void KeyClient::Pump(int timeoutMs) {
  if (fd_ < 0 || closed_) return;
  pollfd ready{fd_, POLLIN, 0};
  if (poll(&ready, 1, timeoutMs) <= 0) return;
  uint8_t buffer[4096];
  const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
  if (n < 0 && errno == EINTR) return;
  if (n <= 0) {
    closed_ = true;
    return;
  }
  const SteadyTime now = std::chrono::steady_clock::now();
  partial_.insert(partial_.end(), buffer, buffer + n);
  while (partial_.size() >= kRecordSize) {
    records_.push_back(
        {std::vector<uint8_t>(partial_.begin(), partial_.begin() + kRecordSize), now});
    partial_.erase(partial_.begin(), partial_.begin() + kRecordSize);
  }
}

void KeyClient::ReadFor(int ms) {
  const auto deadline = After(ms);
  while (MillisLeft(deadline) > 0 && !closed_) Pump(MillisLeft(deadline));
}

void KeyClient::ReadUntil(size_t count, int timeoutMs) {
  const auto deadline = After(timeoutMs);
  while (records_.size() < count && MillisLeft(deadline) > 0 && !closed_) {
    Pump(MillisLeft(deadline));
  }
}

uint16_t FreeTcpPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error(Errno("socket"));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    throw std::runtime_error(Errno("bind"));
  }
  close(fd);
  return ntohs(address.sin_port);
}

// --- SpeedFanPublisher ---

SpeedFanPublisher::SpeedFanPublisher() {
  const int fd = shm_open(kSpeedFanBlockName, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    error_ = Errno("shm_open");
    return;
  }
  struct stat status {};
  // A block of SpeedFan's may be longer; only a shorter one is grown.
  if (fstat(fd, &status) != 0 || (status.st_size < static_cast<off_t>(kSpeedFanBlockSize) &&
                                  ftruncate(fd, static_cast<off_t>(kSpeedFanBlockSize)) != 0)) {
    error_ = Errno("sizing the block");
    close(fd);
    return;
  }
  void* mapped = mmap(nullptr, kSpeedFanBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  if (mapped == MAP_FAILED) {
    error_ = Errno("mmap");
    return;
  }
  block_ = static_cast<uint8_t*>(mapped);
}

SpeedFanPublisher::~SpeedFanPublisher() {
  if (!block_) return;
  for (const int slot : touched_) SetSlot(slot, 0);
  munmap(block_, kSpeedFanBlockSize);
}

void SpeedFanPublisher::SetSlot(int slot, int32_t hundredths) {
  if (!block_ || slot < 0 || slot >= kSpeedFanSlotCount) return;
  if (std::find(touched_.begin(), touched_.end(), slot) == touched_.end()) {
    touched_.push_back(slot);
  }
  const uint32_t value = static_cast<uint32_t>(hundredths);
  uint8_t* at = block_ + kSpeedFanTemperatureOffset + 4 * static_cast<size_t>(slot);
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace trellon::e2e
