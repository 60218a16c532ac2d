#include <gtest/gtest.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "fakes/fake_window_list.h"
#include "fakes/recording_shell.h"
#include "helpers/stand_in_support.h"
#include "remote/media_portal_launcher.h"
#include "support/child_process.h"
#include "support/temporary_directory.h"
#include "support/wait.h"

namespace trellon {
namespace {

using test_support::ChildProcess;
using test_support::TemporaryDirectory;
using test_support::WaitFor;

// Children of ours that ended but were never reaped.
std::vector<pid_t> ZombieChildren() {
  std::vector<pid_t> zombies;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    const size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    char state = 0;
    pid_t parent = 0;
    rest >> state >> parent;
    if (state == 'Z' && parent == ::getpid()) zombies.push_back(std::stoi(entry.path().filename()));
  }
  return zombies;
}

// The launcher on this machine's real processes; windows are not looked at here.
class MediaPortalProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = test_support::UniqueName("MpStandIn");
    program_ = test_support::CopyStandIn(dir_.Path(), name_);
  }

  void TearDown() override {
    // Whatever a failed test left running.
    while (const ProcessId pid = launcher_.FindMediaPortalProcess()) {
      ::kill(static_cast<pid_t>(pid), SIGKILL);
      WaitFor([&] { return launcher_.FindMediaPortalProcess() != pid; }, 2000);
    }
  }

  int CountRunning() {
    const auto snapshot = processes_->Snapshot();
    if (!snapshot) return -1;
    return static_cast<int>(
        std::count_if(snapshot->begin(), snapshot->end(),
                      [&](const ProcessEntry& e) { return e.exeName == name_; }));
  }

  TemporaryDirectory dir_;
  std::string name_;
  std::filesystem::path program_;
  CheckBoxModel cbHomeStart_{"cbHomeStart", "Start MediaPortal if not running", true};
  CheckBoxModel cbHomeClose_{"cbHomeClose", "Close MediaPortal after (ms)", false};
  SpinEditModel edHomeClose_{"edHomeClose", 1, 999999999, 200, 1000};
  CheckBoxModel cbHomeKill_{"cbHomeKill", "Kill MediaPortal after (ms)", true};
  SpinEditModel edHomeKill_{"edHomeKill", 1, 999999999, 200, 5000};
  TextEditModel edHomeMediaPortal_{"edHomeMediaPortal"};
  std::unique_ptr<ProcessControl> processes_ = CreateProcessControl();
  fakes::FakeWindowList windows_;
  fakes::RecordingShell shell_;
  MediaPortalLauncher launcher_{
      {cbHomeStart_, cbHomeClose_, edHomeClose_, cbHomeKill_, edHomeKill_, edHomeMediaPortal_},
      *processes_,
      windows_,
      shell_};
};

TEST_F(MediaPortalProcessTest, HomeStartsTheProgramDetachedOnceAndALongHoldKillsIt) {
  // Orphans come to this process instead of to init, so the test can see how the program ends.
  ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  // Programs that earlier tests started detached may have ended as our orphans since.
  for (const pid_t zombie : ZombieChildren()) ::waitpid(zombie, nullptr, 0);
  edHomeMediaPortal_.SetText(program_.string());
  // A descriptor of ours without close-on-exec must not live on in the started program.
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);

  bool closeDone = false;
  bool killDone = false;
  launcher_.RunHomeActions(0, closeDone, killDone);
  ::close(pipeFds[1]);

  ASSERT_EQ(shell_.overlays.size(), 1u);
  EXPECT_EQ(shell_.overlays[0].text, "Starting MediaPortal");
  ProcessId pid = 0;
  ASSERT_TRUE(WaitFor([&] { return (pid = launcher_.FindMediaPortalProcess()) != 0; }));
  EXPECT_TRUE(ZombieChildren().empty());
  EXPECT_NE(::getsid(static_cast<pid_t>(pid)), ::getsid(0));
  pollfd readEnd{pipeFds[0], POLLIN, 0};
  ASSERT_EQ(::poll(&readEnd, 1, 5000), 1);
  char byte;
  EXPECT_EQ(::read(pipeFds[0], &byte, 1), 0) << "the program holds our pipe open";
  ::close(pipeFds[0]);

  // Pressed again while it runs: nothing is started.
  closeDone = killDone = false;
  launcher_.RunHomeActions(0, closeDone, killDone);
  EXPECT_EQ(shell_.overlays.size(), 1u);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(CountRunning(), 1);

  launcher_.RunHomeActions(1000, closeDone, killDone);
  EXPECT_EQ(shell_.overlays.size(), 1u);
  launcher_.RunHomeActions(5000, closeDone, killDone);
  ASSERT_EQ(shell_.overlays.size(), 2u);
  EXPECT_EQ(shell_.overlays[1].text, "Killing MediaPortal");
  int status = 0;
  ASSERT_TRUE(WaitFor([&] { return ::waitpid(static_cast<pid_t>(pid), &status, WNOHANG) > 0; }));
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGKILL);
  EXPECT_EQ(launcher_.FindMediaPortalProcess(), 0u);
}

TEST_F(MediaPortalProcessTest, AProcessIsFoundByFileNameInOtherLetterCaseAndFolder) {
  ChildProcess running({program_.string(), "--timeout", "30"});
  ASSERT_GT(running.Pid(), 0);
  std::string upper = name_;
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  std::string lower = name_;
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  const ProcessId expected = static_cast<ProcessId>(running.Pid());

  edHomeMediaPortal_.SetText("/some/other/folder/" + upper);
  EXPECT_TRUE(WaitFor([&] { return launcher_.FindMediaPortalProcess() == expected; }));
  edHomeMediaPortal_.SetText("c:\\programme\\" + lower);
  EXPECT_EQ(launcher_.FindMediaPortalProcess(), expected);
  edHomeMediaPortal_.SetText(lower);
  EXPECT_EQ(launcher_.FindMediaPortalProcess(), expected);

  edHomeMediaPortal_.SetText(program_.string() + ".exe");
  EXPECT_EQ(launcher_.FindMediaPortalProcess(), 0u);

  // Held long enough with HomeStart on: the repeat neither starts a second copy nor spares it.
  edHomeMediaPortal_.SetText("/some/other/folder/" + upper);
  bool closeDone = false;
  bool killDone = false;
  launcher_.RunHomeActions(7000, closeDone, killDone);
  const auto status = running.WaitExit();
  ASSERT_TRUE(status.has_value());
  EXPECT_NE(status->signal, 0) << *status;
  EXPECT_EQ(CountRunning(), 0);
}

}  // namespace
}  // namespace trellon
