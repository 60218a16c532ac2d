#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temporary_directory.h"
#include "support/wait.h"

namespace trellon {
namespace {

using test_support::ChildProcess;
using test_support::ExitStatus;
using test_support::ReadText;

namespace fs = std::filesystem;

// The package that the fixture built, and its files unpacked into a scratch root.
class PackageTest : public ::testing::Test {
 protected:
  static std::string Package() {
    for (const auto& entry : fs::directory_iterator(TRELLON_PACKAGE_DIR)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("trellon_", 0) == 0 && entry.path().extension() == ".deb") {
        return entry.path().string();
      }
    }
    return {};
  }
  static std::string Root(const std::string& path = "") {
    return std::string(TRELLON_PACKAGE_DIR) + "/root" + path;
  }

  // The program's standard output, and how it ended.
  static std::pair<std::vector<std::string>, std::optional<ExitStatus>> Run(
      std::vector<std::string> argv, test_support::Environment environment = {}) {
    ChildProcess::Options options(std::move(argv));
    options.environment = std::move(environment);
    options.captureOutput = true;
    options.errorFile = "/dev/null";
    ChildProcess program(options);
    const std::optional<ExitStatus> status = program.WaitExit(60000);
    return {program.Lines(), status};
  }

  static bool Executable(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IXOTH);
  }

  static std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
  }
};

TEST_F(PackageTest, HoldsTheProgramsTheirDesktopEntriesIconAndManualPages) {
  ASSERT_FALSE(Package().empty());
  for (const char* program :
       {"/usr/bin/trellon", "/usr/bin/vx710-sim", "/usr/libexec/trellon/trellon-launch"}) {
    EXPECT_TRUE(Executable(Root(program))) << program;
  }
  EXPECT_EQ(Run({Root("/usr/bin/trellon"), "--version"}).first,
            std::vector<std::string>{"trellon 1.1"});

  const std::string launcher = ReadText(Root("/usr/share/applications/trellon.desktop"));
  EXPECT_NE(launcher.find("\nExec=/usr/libexec/trellon/trellon-launch\n"), std::string::npos)
      << launcher;
  EXPECT_NE(launcher.find("\nIcon=trellon\n"), std::string::npos);
  // Not started with the session until the user copies or enables it.
  EXPECT_FALSE(fs::exists(Root("/etc/xdg/autostart")));
  const std::string autostart = ReadText(Root("/usr/share/trellon/autostart/trellon.desktop"));
  EXPECT_NE(autostart.find("\nExec=/usr/libexec/trellon/trellon-launch\n"), std::string::npos);
  const auto validated =
      Run({"desktop-file-validate", Root("/usr/share/applications/trellon.desktop"),
           Root("/usr/share/trellon/autostart/trellon.desktop")});
  EXPECT_EQ(validated.second, ExitStatus::Exited(0)) << Joined(validated.first);
  EXPECT_TRUE(validated.first.empty()) << Joined(validated.first);

  const std::string icon = ReadText(Root("/usr/share/icons/hicolor/scalable/apps/trellon.svg"));
  EXPECT_NE(icon.find("<svg xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
  EXPECT_NE(icon.find("viewBox=\"0 0 128 128\""), std::string::npos);
  EXPECT_NE(icon.find("</svg>"), std::string::npos);

  const auto manualPage = [](const char* name) {
    const auto manual = Run({"man", "-l", Root(std::string("/usr/share/man/man1/") + name)},
                            {{"MANPAGER", "cat"}, {"MANWIDTH", "200"}});
    EXPECT_EQ(manual.second, ExitStatus::Exited(0)) << name;
    return Joined(manual.first);
  };
  const std::string page = manualPage("trellon.1.gz");
  for (const char* part : {"trellon - controller for the VX710", "-noclick", "Trellon.ini",
                           ".local/state/trellon", "dialout", "/dev/uinput", "InputDevice=0|1",
                           "LircSocket=PATH", "InputKey_KEY=NAME", "trellon/lircd"}) {
    EXPECT_NE(page.find(part), std::string::npos) << part;
  }
  const std::string sensorsPage = manualPage("trellon-sensors.1.gz");
  for (const char* part : {"trellon-sensors - the machine's temperatures", "--list", "--pins FILE",
                           ".config/trellon/sensors.conf", "trellon-sensors.service"}) {
    EXPECT_NE(sensorsPage.find(part), std::string::npos) << part;
  }
  EXPECT_TRUE(fs::exists(Root("/usr/share/man/man1/vx710-sim.1.gz")));
  const std::string unit = ReadText(Root("/usr/lib/systemd/user/trellon-sensors.service"));
  EXPECT_NE(unit.find("\nExecStart=/usr/bin/trellon-sensors\n"), std::string::npos) << unit;
  EXPECT_TRUE(fs::exists(Root("/usr/bin/trellon-sensors")));
  const std::string rule = ReadText(Root("/usr/lib/udev/rules.d/60-trellon-uinput.rules"));
  EXPECT_NE(rule.find("KERNEL==\"uinput\""), std::string::npos) << rule;
  for (const char* doc : {"README.md", "copyright", "changelog.Debian.gz"}) {
    EXPECT_TRUE(fs::exists(Root(std::string("/usr/share/doc/trellon/") + doc))) << doc;
  }
}

TEST_F(PackageTest, DependsOnTheLibrariesItLinksInstallsAndLintianFindsNoErrors) {
  const auto field = [](const char* name) {
    return Joined(Run({"dpkg-deb", "-f", Package(), name}).first);
  };
  EXPECT_EQ(field("Package"), "trellon\n");
  EXPECT_EQ(field("Version"), "1.1-1\n");
  const std::string depends = field("Depends");
  for (const char* library : {"libc6", "libqt6core6", "libqt6gui6", "libqt6widgets6",
                              "libqt6network6", "libqt6dbus6", "libx11-6", "libdw1", "libevdev2",
                              // the display mirror's X extensions
                              "libxext6", "libxfixes3", "libxrender1", "libxtst6", "libxrandr2"}) {
    EXPECT_NE(depends.find(library), std::string::npos) << depends;
  }
  // apt finds everything the package needs.
  const auto simulated = Run({"apt-get", "install", "-s", Package()});
  EXPECT_EQ(simulated.second, ExitStatus::Exited(0)) << Joined(simulated.first);

  const auto lint = Run({"lintian", "--tag-display-limit", "0", Package()});
  for (const std::string& line : lint.first) {
    EXPECT_NE(line.rfind("E: ", 0), 0u) << line;
  }
}

TEST_F(PackageTest, TheLauncherStartsTrellonInItsStateDirectory) {
  test_support::TemporaryDirectory scratch;
  const std::string home = scratch.File("home");
  fs::create_directories(home);
  const std::vector<std::pair<test_support::Environment, std::string>> cases = {
      {{{"XDG_STATE_HOME", scratch.File("state")}}, scratch.File("state/trellon")},
      // Unset, or not an absolute path: the default under the home directory.
      {{{"XDG_STATE_HOME", ""}}, home + "/.local/state/trellon"},
      {{{"XDG_STATE_HOME", "relative"}}, home + "/.local/state/trellon"}};
  for (const auto& [state, folder] : cases) {
    ChildProcess::Options options({Root("/usr/libexec/trellon/trellon-launch")});
    options.environment = {{"HOME", home},
                           {"QT_QPA_PLATFORM", "offscreen"},
                           {"TRELLON_COM3", "/nonexistent/trellon-tty"},
                           {"TRELLON_KEY_SERVER_PORT", "0"}};
    options.environment.insert(options.environment.end(), state.begin(), state.end());
    options.workingDirectory = scratch.Path();
    options.errorFile = scratch.File("launch.stderr");
    ChildProcess program(options);
    EXPECT_TRUE(test_support::WaitFor(
        [&] { return ReadText(folder + "/Trellon.log").find(": Created...") != std::string::npos; },
        60000))
        << folder << ": " << ReadText(scratch.File("launch.stderr"));
    program.Signal(SIGTERM);
    EXPECT_EQ(program.WaitExit(60000), ExitStatus::Exited(0));
    EXPECT_TRUE(fs::exists(folder + "/Trellon.ini"));
    fs::remove_all(folder);
  }
  EXPECT_FALSE(fs::exists(scratch.File("Trellon.ini"))) << "not in the directory it was started in";
}

}  // namespace
}  // namespace trellon
