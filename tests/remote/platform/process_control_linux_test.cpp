#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "helpers/stand_in_support.h"
#include "remote/process_control.h"
#include "support/child_process.h"
#include "support/scoped_environment.h"
#include "support/temporary_directory.h"
#include "support/wait.h"

namespace trellon {
namespace {

using test_support::ChildProcess;
using test_support::ExitStatus;
using test_support::ReadText;
using test_support::TemporaryDirectory;
using test_support::WaitFor;

void WriteScript(const std::filesystem::path& path, const std::string& body) {
  test_support::WriteText(path, "#!/bin/sh\n" + body + "\n");
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

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
  // Not waited for yet: it stays a zombie once it ended.
  ChildProcess child({"true"});
  ASSERT_TRUE(WaitFor([&] {
    std::ifstream stat("/proc/" + std::to_string(child.Pid()) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t close = line.rfind(')');
    return close != std::string::npos && line.size() > close + 2 && line[close + 2] == 'Z';
  }));
  const ProcessId pid = static_cast<ProcessId>(child.Pid());
  EXPECT_EQ(processes->ExeName(pid), "");
  const auto snapshot = processes->Snapshot();
  ASSERT_TRUE(snapshot.has_value());
  EXPECT_TRUE(std::none_of(snapshot->begin(), snapshot->end(),
                           [pid](const ProcessEntry& entry) { return entry.pid == pid; }));
}

TEST(ProcessControlLinuxTest, TerminateKillsAtOnceAndRefusesIdsThatNameGroups) {
  auto processes = CreateProcessControl();
  ChildProcess child({test_support::StandInPath(), "--timeout", "30"});
  ASSERT_GT(child.Pid(), 0);
  EXPECT_TRUE(processes->Terminate(static_cast<ProcessId>(child.Pid())));
  EXPECT_EQ(child.WaitExit(), ExitStatus::Killed(SIGKILL));

  // 0 would be our own process group, and ids above INT_MAX become negative: all processes.
  EXPECT_FALSE(processes->Terminate(0));
  EXPECT_FALSE(processes->Terminate(0xFFFFFFFFu));
  EXPECT_FALSE(processes->Terminate(0x80000001u));
}

TEST(ProcessControlLinuxTest, ShellExecuteRunsNamesFromTheSearchPathAndOpensDocuments) {
  TemporaryDirectory dir;
  const std::filesystem::path folder = dir.Path();
  const auto marker = folder / "marker";
  WriteScript(folder / "xdg-open", "printf 'open %s' \"$1\" > '" + marker.string() +
                                       ".tmp' && mv '" + marker.string() + ".tmp' '" +
                                       marker.string() + "'");
  WriteScript(folder / "mc-starter", "printf 'started %s' \"$#\" > '" + marker.string() +
                                         ".tmp' && mv '" + marker.string() + ".tmp' '" +
                                         marker.string() + "'");
  const char* searchPath = std::getenv("PATH");
  const test_support::ScopedEnvironment path(
      "PATH", folder.string() + ":" + (searchPath ? searchPath : ""));
  auto processes = CreateProcessControl();

  processes->ShellExecute("mc-starter");
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(marker); }));
  EXPECT_EQ(ReadText(marker), "started 0");
  std::filesystem::remove(marker);

  const auto document = folder / "notes.txt";
  test_support::WriteText(document, "not a program");
  processes->ShellExecute(document.string());
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(marker); }));
  EXPECT_EQ(ReadText(marker), "open " + document.string());
  std::filesystem::remove(marker);

  // A path to nothing (the Windows default in a Linux setting file) is not handed on.
  processes->ShellExecute((folder / "missing" / "mediaportal.exe").string());
  processes->ShellExecute("c:\\programme\\team mediaportal\\mediaportal\\mediaportal.exe");
  processes->ShellExecute("");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_FALSE(std::filesystem::exists(marker));
}

}  // namespace
}  // namespace trellon
