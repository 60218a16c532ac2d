#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "support/child_process.h"

extern char** environ;

namespace trellon::test_support {
namespace {

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

std::ostream& operator<<(std::ostream& out, const ExitStatus& status) {
  if (status.signal != 0) return out << "killed by signal " << status.signal;
  return out << "exit code " << status.code;
}

ChildProcess::ChildProcess(const Options& options) {
  int inputPipe[2] = {-1, -1};
  int outputPipe[2] = {-1, -1};
  // The child reports a failed exec through this pipe; a successful exec closes it.
  int execPipe[2] = {-1, -1};
  if ((options.pipeInput && pipe2(inputPipe, O_CLOEXEC) != 0) ||
      (options.captureOutput && pipe2(outputPipe, O_CLOEXEC) != 0) ||
      pipe2(execPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error(Errno("pipe2"));
  }
  // A command to a child that already ended must fail in the test, not kill it.
  if (options.pipeInput) signal(SIGPIPE, SIG_IGN);
  // Everything the child needs is prepared here: between fork and exec only async-signal-safe
  // calls are allowed in a process with threads.
  std::vector<std::string> argv = options.argv;
  std::vector<std::string> environment = ChildEnvironment(options.environment);
  const std::vector<char*> argvPointers = CStrings(argv);
  const std::vector<char*> environmentPointers = CStrings(environment);
  const char* errorFile = options.errorFile.empty() ? nullptr : options.errorFile.c_str();
  const char* directory =
      options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str();
  const pid_t parent = getpid();

  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error(Errno("fork"));
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    const auto fail = [&execPipe]() {
      const int error = errno;
      [[maybe_unused]] const ssize_t ignored = write(execPipe[1], &error, sizeof error);
      _exit(127);
    };
    if (options.pipeInput && dup2(inputPipe[0], STDIN_FILENO) < 0) fail();
    if (options.captureOutput && dup2(outputPipe[1], STDOUT_FILENO) < 0) fail();
    if (errorFile) {
      const int fd = open(errorFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd < 0 || dup2(fd, STDERR_FILENO) < 0) fail();
    }
    if (directory && chdir(directory) != 0) fail();
    // Default signal handling and nothing blocked, whatever the test's threads have set up.
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &defaults, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // A bare name is looked up in the test's PATH.
    execvpe(argvPointers[0], argvPointers.data(), environmentPointers.data());
    fail();
  }

  close(execPipe[1]);
  int execError = 0;
  ssize_t got;
  while ((got = read(execPipe[0], &execError, sizeof execError)) < 0 && errno == EINTR) {
  }
  close(execPipe[0]);
  if (options.pipeInput) {
    close(inputPipe[0]);
    input_ = inputPipe[1];
  }
  if (options.captureOutput) close(outputPipe[1]);
  if (got > 0) {
    WaitExit(5000);
    pid_ = -1;
    CloseInput();
    if (options.captureOutput) close(outputPipe[0]);
    throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(execError));
  }
  if (options.captureOutput) {
    reader_ = std::thread([this, fd = outputPipe[0]] { ReadOutput(fd); });
  } else {
    outputEnded_ = true;
  }
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv) : ChildProcess(Options(argv)) {}

ChildProcess::~ChildProcess() {
  CloseInput();
  Signal(SIGTERM);
  if (pid_ > 0 && !WaitExit(3000)) {
    kill(pid_, SIGKILL);
    WaitExit(5000);
  }
  // A grandchild may still hold the output open; the reader looks at this flag between polls.
  stopReading_ = true;
  if (reader_.joinable()) reader_.join();
}

bool ChildProcess::Running() {
  return pid_ > 0 && !WaitExit(0).has_value();
}

void ChildProcess::Signal(int signal) {
  if (pid_ > 0 && !status_) kill(pid_, signal);
}

std::optional<ExitStatus> ChildProcess::WaitExit(int timeoutMs) {
  if (status_ || pid_ <= 0) return status_;
  WaitFor(
      [this] {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done < 0 && errno == ECHILD) {
          // Collected by someone else (a test that reaps every child of its own): nothing to
          // wait for, and the number may soon name another process.
          pid_ = -1;
          return true;
        }
        if (done != pid_) return false;
        status_ = WIFSIGNALED(status) ? ExitStatus::Killed(WTERMSIG(status))
                                      : ExitStatus::Exited(WEXITSTATUS(status));
        return true;
      },
      timeoutMs);
  return status_;
}

void ChildProcess::WriteInput(const std::string& text) {
  if (input_ < 0 || write(input_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    throw std::runtime_error(Errno("cannot write to the child's input"));
  }
}

void ChildProcess::CloseInput() {
  if (input_ >= 0) close(input_);
  input_ = -1;
}

void ChildProcess::ReadOutput(int fd) {
  std::string pending;
  char buffer[4096];
  while (!stopReading_) {
    pollfd ready{fd, POLLIN, 0};
    const int polled = poll(&ready, 1, 100);
    if (polled == 0 || (polled < 0 && errno == EINTR)) continue;
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    pending.append(buffer, static_cast<size_t>(n));
    std::lock_guard lock(mutex_);
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
      lines_.push_back(pending.substr(0, end));
      pending.erase(0, end + 1);
    }
    changed_.notify_all();
  }
  close(fd);
  std::lock_guard lock(mutex_);
  outputEnded_ = true;
  changed_.notify_all();
}

std::vector<std::string> ChildProcess::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

bool ChildProcess::WaitForOutput(const std::function<bool(const std::vector<std::string>&)>& done,
                                 int timeoutMs) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                    [&] { return outputEnded_ || done(lines_); });
  return done(lines_);
}

}  // namespace trellon::test_support
