#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "helpers/stand_in_support.h"
#include "remote/process_control.h"

namespace trellon {
namespace {

using test_support::ChildProcess;
using test_support::TempDir;
using test_support::WaitFor;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteScript(const std::filesystem::path& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

// Puts a folder in front of the search path for the life of the object.
class PathPrefix {
 public:
  explicit PathPrefix(const std::filesystem::path& dir) {
    const char* old = std::getenv("PATH");
    old_ = old ? old : "";
    ::setenv("PATH", (dir.string() + ":" + old_).c_str(), 1);
  }
  ~PathPrefix() { ::setenv("PATH", old_.c_str(), 1); }

 private:
  std::string old_;
};

TEST(ProcessControlLinuxTest, SnapshotNamesRunningProgramsByTheirExecutableFileName) {
  auto processes = CreateProcessControl();
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").filename();
  const ProcessId pid = static_cast<ProcessId>(::getpid());

  const auto snapshot = processes->Snapshot();
  ASSERT_TRUE(snapshot.has_value());
  const auto it = std::find_if(snapshot->begin(), snapshot->end(),
                               [pid](const ProcessEntry& entry) { return entry.pid == pid; });
  ASSERT_NE(it, snapshot->end());
  EXPECT_EQ(it->exeName, self);
  EXPECT_EQ(processes->ExeName(pid), self);
  EXPECT_EQ(processes->ExeName(0), "");
  EXPECT_EQ(processes->ExeName(0x7ffffffe), "");
}

TEST(ProcessControlLinuxTest, AZombieIsNoRunningProgram) {
  auto processes = CreateProcessControl();
  const pid_t zombie = ::fork();
  if (zombie == 0) ::_exit(0);
  ASSERT_GT(zombie, 0);
  // Not reaped yet: it stays a zombie until waited for.
  ASSERT_TRUE(WaitFor([&] {
    std::ifstream stat("/proc/" + std::to_string(zombie) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t close = line.rfind(')');
    return close != std::string::npos && line.size() > close + 2 && line[close + 2] == 'Z';
  }));
  const ProcessId pid = static_cast<ProcessId>(zombie);
  EXPECT_EQ(processes->ExeName(pid), "");
  const auto snapshot = processes->Snapshot();
  ASSERT_TRUE(snapshot.has_value());
  EXPECT_TRUE(std::none_of(snapshot->begin(), snapshot->end(),
                           [pid](const ProcessEntry& entry) { return entry.pid == pid; }));
  ::waitpid(zombie, nullptr, 0);
}

TEST(ProcessControlLinuxTest, TerminateKillsAtOnceAndRefusesIdsThatNameGroups) {
  auto processes = CreateProcessControl();
  ChildProcess child({test_support::StandInPath(), "--timeout", "30"}, false);
  ASSERT_GT(child.Pid(), 0);
  EXPECT_TRUE(processes->Terminate(static_cast<ProcessId>(child.Pid())));
  const auto status = child.WaitExit();
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFSIGNALED(*status));
  EXPECT_EQ(WTERMSIG(*status), SIGKILL);

  // 0 would be our own process group, and ids above INT_MAX become negative: all processes.
  EXPECT_FALSE(processes->Terminate(0));
  EXPECT_FALSE(processes->Terminate(0xFFFFFFFFu));
  EXPECT_FALSE(processes->Terminate(0x80000001u));
}

TEST(ProcessControlLinuxTest, ShellExecuteRunsNamesFromTheSearchPathAndOpensDocuments) {
  TempDir dir;
  ASSERT_FALSE(dir.Path().empty());
  const auto marker = dir.Path() / "marker";
  WriteScript(dir.Path() / "xdg-open", "printf 'open %s' \"$1\" > '" + marker.string() +
                                           ".tmp' && mv '" + marker.string() + ".tmp' '" +
                                           marker.string() + "'");
  WriteScript(dir.Path() / "mc-starter", "printf 'started %s' \"$#\" > '" + marker.string() +
                                             ".tmp' && mv '" + marker.string() + ".tmp' '" +
                                             marker.string() + "'");
  PathPrefix path(dir.Path());
  auto processes = CreateProcessControl();

  processes->ShellExecute("mc-starter");
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(marker); }));
  EXPECT_EQ(ReadFile(marker), "started 0");
  std::filesystem::remove(marker);

  const auto document = dir.Path() / "notes.txt";
  std::ofstream(document) << "not a program";
  processes->ShellExecute(document.string());
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(marker); }));
  EXPECT_EQ(ReadFile(marker), "open " + document.string());
  std::filesystem::remove(marker);

  // A path to nothing (the Windows default in a Linux setting file) is not handed on.
  processes->ShellExecute((dir.Path() / "missing" / "mediaportal.exe").string());
  processes->ShellExecute("c:\\programme\\team mediaportal\\mediaportal\\mediaportal.exe");
  processes->ShellExecute("");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_FALSE(std::filesystem::exists(marker));
}

}  // namespace
}  // namespace trellon
