#pragma once

// Shared by the launcher's tests that run the media-centre stand-in as a real process.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace trellon::test_support {

inline const char* StandInPath() {
  return TRELLON_MEDIA_CENTRE_STAND_IN;
}

// Polls a condition until it holds or the time-out passes; for real processes and windows only.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "trellon-remote-XXXXXX");
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A name no other test process uses at the same time, so that searches by name find only ours.
inline std::string UniqueName(const std::string& stem) {
  static int counter = 0;
  return stem + "_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
}

// Copies the stand-in program to dir/name, executable.
inline std::filesystem::path CopyStandIn(const std::filesystem::path& dir,
                                         const std::string& name) {
  const std::filesystem::path target = dir / name;
  std::filesystem::copy_file(StandInPath(), target);
  std::filesystem::permissions(target, std::filesystem::perms::owner_all);
  return target;
}

// A process started by the test itself, killed and reaped at the end unless it already ended.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& args, bool captureStdout) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int pipeFds[2] = {-1, -1};
    if (captureStdout && ::pipe2(pipeFds, O_CLOEXEC) == 0) {
      posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    }
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
    if (pipeFds[1] >= 0) ::close(pipeFds[1]);
    stdout_ = pipeFds[0];
  }
  ~ChildProcess() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) ::close(stdout_);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }

  // One line of the child's output without its line end; nullopt on time-out or end of output.
  std::optional<std::string> ReadLine(int timeoutMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const size_t newline = buffered_.find('\n');
      if (newline != std::string::npos) {
        std::string line = buffered_.substr(0, newline);
        buffered_.erase(0, newline + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      pollfd fd{stdout_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
        return std::nullopt;
      }
      char chunk[256];
      const ssize_t n = ::read(stdout_, chunk, sizeof chunk);
      if (n <= 0) return std::nullopt;
      buffered_.append(chunk, static_cast<size_t>(n));
    }
  }

  // The wait status once the child ended; nullopt when it still runs after the time-out.
  std::optional<int> WaitExit(int timeoutMs = 10000) {
    int status = 0;
    const bool ended =
        WaitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, timeoutMs);
    if (!ended) return std::nullopt;
    exited_ = true;
    return status;
  }

 private:
  pid_t pid_ = 0;
  int stdout_ = -1;
  bool exited_ = false;
  std::string buffered_;
};

}  // namespace trellon::test_support
