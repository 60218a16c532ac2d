#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string_view>

#include "remote/process_control.h"

extern char** environ;

namespace trellon {
namespace {

constexpr std::string_view kDeletedSuffix = " (deleted)";

std::string AfterLastSlash(std::string_view path) {
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ProcPath(ProcessId pid, const char* leaf) {
  return "/proc/" + std::to_string(pid) + "/" + leaf;
}

std::optional<ProcessId> ParsePid(std::string_view name) {
  ProcessId pid = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
  if (error != std::errc() || end != name.data() + name.size() || pid == 0) return std::nullopt;
  return pid;
}

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// The executable of that name in the search path, or empty.
std::string FindInPath(const std::string& name) {
  const char* env = std::getenv("PATH");
  const std::string_view path = env ? env : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  for (;;) {
    const size_t colon = path.find(':', start);
    std::string dir(
        path.substr(start, colon == std::string_view::npos ? path.npos : colon - start));
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    if (colon == std::string_view::npos) return {};
    start = colon + 1;
  }
}

// Runs argv[0] in a new session as a grandchild: the short-lived middle process is reaped here,
// so the program never becomes a zombie of ours whatever it does later. Between fork and exec
// only async-signal-safe calls are made (the program has other threads).
void SpawnDetached(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  const pid_t middle = ::fork();
  if (middle < 0) return;
  if (middle == 0) {
    ::setsid();
    const pid_t child = ::fork();
    if (child == 0) {
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      struct sigaction byDefault {};
      byDefault.sa_handler = SIG_DFL;
      for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &byDefault, nullptr);
      const int devNull = ::open("/dev/null", O_RDONLY);
      if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
      // Sockets, the serial port and the display connection are none of the program's business.
      ::close_range(3, ~0U, 0);
      ::execve(argv[0], argv.data(), environ);
      ::_exit(127);
    }
    ::_exit(child < 0 ? 1 : 0);
  }
  while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
  }
}

class LinuxProcessControl final : public ProcessControl {
 public:
  std::optional<std::vector<ProcessEntry>> Snapshot() override {
    DIR* proc = ::opendir("/proc");
    if (!proc) return std::nullopt;
    std::vector<ProcessEntry> entries;
    while (const dirent* entry = ::readdir(proc)) {
      const std::optional<ProcessId> pid = ParsePid(entry->d_name);
      if (!pid) continue;
      std::string name = ExeName(*pid);
      // Kernel threads and zombies have no executable: they are not programs one could find.
      if (!name.empty()) entries.push_back({*pid, std::move(name)});
    }
    ::closedir(proc);
    return entries;
  }

  std::string ExeName(ProcessId pid) override {
    if (pid == 0) return {};
    char target[PATH_MAX];
    const ssize_t length = ::readlink(ProcPath(pid, "exe").c_str(), target, sizeof target);
    if (length > 0) {
      std::string_view path(target, static_cast<size_t>(length));
      // The binary was replaced on disk while the process runs.
      if (path.ends_with(kDeletedSuffix)) path.remove_suffix(kDeletedSuffix.size());
      return AfterLastSlash(path);
    }
    // Other users' processes hide their executable; the command line stays readable.
    std::ifstream cmdline(ProcPath(pid, "cmdline"), std::ios::binary);
    std::string argv0;
    if (!cmdline || !std::getline(cmdline, argv0, '\0')) return {};
    return AfterLastSlash(argv0);
  }

  bool Terminate(ProcessId pid) override {
    // 0 and anything above INT_MAX would address process groups or every process.
    if (pid == 0 || pid > static_cast<ProcessId>(INT_MAX)) return false;
    return ::kill(static_cast<pid_t>(pid), SIGKILL) == 0;
  }

  void ShellExecute(const std::string& path) override {
    if (path.empty()) return;
    std::string program;
    if (path.find('/') != std::string::npos) {
      if (IsExecutableFile(path)) program = path;
    } else {
      program = FindInPath(path);
    }
    if (!program.empty()) {
      SpawnDetached({program});
      return;
    }
    // A document, a folder or an address: the desktop's opener decides. A path to nothing is
    // not handed on, so a stale setting does not pop up an opener's complaint on every press.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 && path.find("://") == std::string::npos) return;
    const std::string opener = FindInPath("xdg-open");
    if (!opener.empty()) SpawnDetached({opener, path});
  }
};

}  // namespace

std::unique_ptr<ProcessControl> CreateProcessControl() {
  return std::make_unique<LinuxProcessControl>();
}

}  // namespace trellon
