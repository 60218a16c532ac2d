#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "base/clock.h"
#include "base/control_models.h"
#include "fakes/fake_key_dispatch_peers.h"
#include "fakes/fake_power_system.h"
#include "fakes/recording_shell.h"
#include "remote/power_control.h"
#include "remote/power_system_linux.h"
#include "support/child_process.h"
#include "support/qt_events.h"
#include "support/wait.h"

namespace trellon {
namespace {

using test_support::ChildProcess;
using test_support::ExitStatus;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kMockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

// Runs the event loop until `done` holds or the time is up (real bus traffic, real time).
bool WaitFor(const std::function<bool()>& done, int timeoutMs = test_support::kPatienceMs) {
  return test_support::WaitFor(done, timeoutMs, test_support::ProcessQtEvents);
}

// A Python that has python-dbusmock, or an empty string.
std::string FindDbusmockPython() {
  for (const std::string candidate : {"/usr/bin/python3", "python3"}) {
    try {
      ChildProcess::Options options{{candidate, "-c", "import dbusmock"}};
      options.errorFile = "/dev/null";
      ChildProcess probe(options);
      if (probe.WaitExit(20000) == ExitStatus::Exited(0)) return candidate;
    } catch (const std::runtime_error&) {
      // Not installed under this name: try the next.
    }
  }
  return {};
}

// A private message bus of its own, and optionally logind's mock on it.
class PrivateLogindBus {
 public:
  ~PrivateLogindBus() {
    if (!controlName_.isEmpty()) QDBusConnection::disconnectFromBus(controlName_);
    mock_.reset();
    daemon_.reset();
  }

  // Empty on success, else why the bus could not be set up.
  std::string StartBus() {
    ChildProcess::Options options{
        {"dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"}};
    options.captureOutput = true;
    try {
      daemon_.emplace(options);
    } catch (const std::runtime_error& error) {
      return error.what();
    }
    daemon_->WaitForOutput([](const auto& lines) { return !lines.empty(); }, 10000);
    const auto lines = daemon_->Lines();
    if (lines.empty() || lines[0].empty()) return "dbus-daemon gave no address";
    address_ = QString::fromStdString(lines[0]).trimmed();
    controlName_ = QStringLiteral("power-test-control");
    control_ = QDBusConnection::connectToBus(address_, controlName_);
    if (!control_.isConnected()) return "cannot connect to the private bus";
    return {};
  }

  std::string StartLogindMock() {
    const std::string python = FindDbusmockPython();
    if (python.empty()) return "python3-dbusmock is not installed";
    // Its errors go to the test's; its output is kept, but of no interest.
    ChildProcess::Options options{{python, "-m", "dbusmock", "--template", "logind"}};
    options.environment = {{"DBUS_SYSTEM_BUS_ADDRESS", Address()},
                           {"DBUS_SESSION_BUS_ADDRESS", Address()}};
    options.captureOutput = true;
    mock_.emplace(options);
    if (!WaitFor([&] { return control_.interface()->isServiceRegistered(kLogind).value(); }, 30000))
      return "the logind mock does not appear on the bus";
    return {};
  }

  std::string Address() const { return address_.toStdString(); }

  void EmitPrepareForSleep(bool start) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kLogind, kLogindPath, kMockInterface, "EmitSignal");
    call << QStringLiteral("org.freedesktop.login1.Manager") << QStringLiteral("PrepareForSleep")
         << QStringLiteral("b") << QVariantList{QVariant(start)};
    const QDBusMessage reply = control_.call(call);
    ASSERT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
  }

  // The mock's record of calls to `method`: the arguments of each call, printed.
  std::vector<std::string> MethodCalls(const QString& method) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kLogind, kLogindPath, kMockInterface, "GetMethodCalls");
    call << method;
    const QDBusMessage reply = control_.call(call);
    std::vector<std::string> calls;
    if (reply.type() != QDBusMessage::ReplyMessage) return calls;
    const QDBusArgument list = reply.arguments().at(0).value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
      qulonglong timestamp = 0;
      QVariantList args;
      list.beginStructure();
      list >> timestamp >> args;
      list.endStructure();
      std::string printed;
      for (const QVariant& arg : args)
        printed += (printed.empty() ? "" : ",") + arg.toString().toStdString();
      calls.push_back(printed);
    }
    list.endArray();
    return calls;
  }

  // The inhibitors logind holds, as "what/who/why/mode".
  std::vector<std::string> Inhibitors() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        kLogind, kLogindPath, QStringLiteral("org.freedesktop.login1.Manager"), "ListInhibitors");
    const QDBusMessage reply = control_.call(call);
    std::vector<std::string> inhibitors;
    if (reply.type() != QDBusMessage::ReplyMessage) return inhibitors;
    const QDBusArgument list = reply.arguments().at(0).value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
      QString what, who, why, mode;
      uint uid = 0, pid = 0;
      list.beginStructure();
      list >> what >> who >> why >> mode >> uid >> pid;
      list.endStructure();
      inhibitors.push_back((what + "/" + who + "/" + why + "/" + mode).toStdString());
    }
    list.endArray();
    return inhibitors;
  }

 private:
  std::optional<ChildProcess> daemon_;
  std::optional<ChildProcess> mock_;
  QString address_;
  QString controlName_;
  QDBusConnection control_{QString()};
};

constexpr char kOurInhibitor[] = "sleep/Trellon/Detach the VX710 controller/delay";

class LogindPowerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(QCoreApplication::instance(), nullptr) << "tests/remote/main.cpp makes one";
    if (const std::string why = bus_.StartBus(); !why.empty()) GTEST_SKIP() << why;
  }

  void StartLogind() {
    if (const std::string why = bus_.StartLogindMock(); !why.empty()) GTEST_SKIP() << why;
  }

  // The power control on the logind backend, delivering events as the main window wires it.
  void StartPower() {
    system_ = std::make_unique<LogindPowerSystem>(shell_, shell_, bus_.Address());
    power_ = std::make_unique<PowerControl>(clock_, cbPowerOffStopHome_, rbPowerOffDo_, keys_,
                                            keys_, *system_, link_, shell_, shell_);
    system_->Start([this](uint32_t code) { power_->PowerBroadcast(code); });
  }

  PrivateLogindBus bus_;
  ManualClock clock_;
  CheckBoxModel cbPowerOffStopHome_{"cbPowerOffStopHome", "Send \"home\" RC and \"stop\" RC", true};
  RadioGroupModel rbPowerOffDo_{"rbPowerOffDo", "Do", {"a", "b", "c", "d", "e"}, 0};
  fakes::RecordingKeyQueue keys_;
  fakes::RecordingLinkControl link_;
  fakes::RecordingShell shell_;
  std::unique_ptr<LogindPowerSystem> system_;
  std::unique_ptr<PowerControl> power_;
};

TEST_F(LogindPowerTest, SuspendDetachesBeforeTheInhibitorGoesAndResumeReopens) {
  StartLogind();
  StartPower();
  EXPECT_TRUE(system_->IsWatching());
  ASSERT_TRUE(WaitFor([&] { return system_->HoldsInhibitor(); }));
  EXPECT_THAT(bus_.Inhibitors(), ElementsAre(kOurInhibitor));

  bus_.EmitPrepareForSleep(true);
  ASSERT_TRUE(WaitFor([&] { return !link_.calls.empty(); }));
  EXPECT_THAT(link_.calls, ElementsAre("DetachController"));
  EXPECT_THAT(shell_.logLines, ElementsAre("Standby/suspend"));
  EXPECT_FALSE(system_->HoldsInhibitor());
  EXPECT_TRUE(WaitFor([&] { return bus_.Inhibitors().empty(); })) << "logind may sleep now";

  bus_.EmitPrepareForSleep(false);
  ASSERT_TRUE(WaitFor([&] { return link_.calls.size() == 2; }));
  EXPECT_THAT(link_.calls, ElementsAre("DetachController", "ReopenController"));
  EXPECT_EQ(link_.state, fakes::RecordingLinkControl::State::kOpening);
  EXPECT_THAT(shell_.logLines, ElementsAre("Standby/suspend", "Resume automatic"));
  EXPECT_TRUE(WaitFor([&] { return system_->HoldsInhibitor(); })) << "taken again for next time";
  EXPECT_THAT(bus_.Inhibitors(), ElementsAre(kOurInhibitor));
  EXPECT_THAT(shell_.errors, IsEmpty());
}

TEST_F(LogindPowerTest, PowerActionsCallLogindNotInteractively) {
  StartLogind();
  StartPower();
  const std::vector<std::pair<int32_t, QString>> actions = {{kPowerOffHibernate, "Hibernate"},
                                                            {kPowerOffStandby, "Suspend"},
                                                            {kPowerOffShutdown, "PowerOff"}};
  for (const auto& [item, method] : actions) {
    SCOPED_TRACE(method.toStdString());
    rbPowerOffDo_.SetItemIndex(item);
    power_->DoPowerOff();
    EXPECT_TRUE(WaitFor([&, m = method] { return !bus_.MethodCalls(m).empty(); }));
    EXPECT_THAT(bus_.MethodCalls(method), ElementsAre("false"));
  }
  EXPECT_TRUE(system_->EnableShutdownPrivilege());
  EXPECT_THAT(shell_.logLines, IsEmpty());
}

TEST_F(LogindPowerTest, FailingDetachStillLetsTheMachineSleep) {
  StartLogind();
  link_.throwOnDetach = true;
  StartPower();
  ASSERT_TRUE(WaitFor([&] { return system_->HoldsInhibitor(); }));
  bus_.EmitPrepareForSleep(true);
  ASSERT_TRUE(WaitFor([&] { return !shell_.errors.empty(); }));
  EXPECT_THAT(shell_.errors, ElementsAre(HasSubstr("write failed")));
  EXPECT_FALSE(system_->HoldsInhibitor());
  EXPECT_TRUE(WaitFor([&] { return bus_.Inhibitors().empty(); }));
}

TEST_F(LogindPowerTest, WithoutLogindTheProgramRunsOnAndSaysSoOnce) {
  StartPower();
  EXPECT_THAT(shell_.logLines, ElementsAre(HasSubstr("systemd-logind is not running")));
  EXPECT_FALSE(system_->EnableShutdownPrivilege());
  rbPowerOffDo_.SetItemIndex(kPowerOffStandby);
  power_->DoPowerOff();  // goes nowhere, silently
  WaitFor([] { return false; }, 200);
  EXPECT_EQ(shell_.logLines.size(), 1u);
  EXPECT_FALSE(system_->HoldsInhibitor());
  EXPECT_THAT(link_.calls, IsEmpty());
}

TEST(LogindPowerNoBusTest, WithoutABusTheProgramRunsOnAndSaysSoOnce) {
  fakes::RecordingShell shell;
  LogindPowerSystem system(shell, shell, "unix:path=/nonexistent/trellon-test-bus");
  system.Start([](uint32_t) { FAIL() << "no events without a bus"; });
  EXPECT_FALSE(system.IsWatching());
  EXPECT_FALSE(system.EnableShutdownPrivilege());
  system.Hibernate();
  system.Suspend();
  system.PowerOff();
  ASSERT_EQ(shell.logLines.size(), 1u);
  EXPECT_THAT(shell.logLines[0], HasSubstr("Power: no system bus"));
}

}  // namespace
}  // namespace trellon
