// The subsystems as the main window wires them: the port's events, the link's actions, the fan
// labels, the key road to the key server's clients and the shutdown steps that involve them.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTcpSocket>
#include <algorithm>

#include "base/ini_file.h"
#include "protocol/controller_protocol.h"
#include "remote/key_record.h"
#include "support/qt_events.h"
#include "support/unix_client.h"
#include "support/wait.h"
#include "window_test_support.h"

namespace trellon {
namespace {

using Bytes = std::vector<uint8_t>;
using test_support::ProcessQtEvents;
using test_support::WaitFor;

class MainWindowWiringTest : public testing::WindowTest {
 protected:
  // A window on a fake serial device; device points to it for as long as the window lives. The
  // test runs the ticks itself, on the manual clock, so the window's own timers stay off.
  std::unique_ptr<TVX710MainWindow> CreateOnFakeDevice() {
    auto fake = std::make_unique<fakes::FakeCommDevice>();
    device = fake.get();
    auto window = Create({"trellon"}, std::move(fake));
    window->Timer1->stop();
    window->Timer2->stop();
    return window;
  }

  // Bytes from the controller: queued at the device and announced as received characters, so
  // they travel through the event thread and the main-thread hand-over into the link.
  void Receive(TVX710MainWindow& window, const Bytes& bytes) {
    device->QueueInput(bytes);
    device->RaiseEvents(commev::kRxChar);
    ASSERT_TRUE(fakes::ServeUntil(
        window.mainThread(), [&] { return device->Input().empty(); }, 10000))
        << "the received bytes were not read";
  }

  // One link tick 100 ms after the last.
  void Tick(TVX710MainWindow& window) {
    clock.Advance(100);
    window.Timer1Timer();
  }

  // The handshake: the port opens on the first tick, ten hellos go out, the controller answers,
  // and the link attaches after its 2 s pause.
  void Attach(TVX710MainWindow& window) {
    window.Timer1Timer();
    ASSERT_TRUE(window.comm.Connected());
    for (int hello = 1; hello < 10; ++hello) Tick(window);
    Receive(window, {'M', 'Z', '5'});
    Tick(window);
    clock.Advance(2000);
    window.Timer1Timer();
    ASSERT_EQ(window.link.linkState(), LinkState::Attached);
  }

  // A media-centre client of the window's key server, once the server has taken it.
  std::unique_ptr<QTcpSocket> ConnectClient(TVX710MainWindow& window) {
    auto client = std::make_unique<QTcpSocket>();
    client->connectToHost(QStringLiteral("127.0.0.1"), window.keyServer.ServerPort());
    WaitFor([&] { return window.keyServer.ClientCount() > 0; }, 10000, ProcessQtEvents);
    EXPECT_EQ(window.keyServer.ClientCount(), 1u);
    return client;
  }

  // The key names of the records that reach the client within the time limit.
  static std::vector<std::string> ReceivedKeys(QTcpSocket& client, size_t count) {
    WaitFor(
        [&] { return client.bytesAvailable() >= static_cast<qint64>(count * KeyRecord::kSize); },
        10000, ProcessQtEvents);
    std::vector<std::string> keys;
    while (client.bytesAvailable() >= static_cast<qint64>(KeyRecord::kSize)) {
      const QByteArray record = client.read(KeyRecord::kSize);
      keys.emplace_back(record.constData() + KeyRecord::kKeyNameOffset);
      const KeyRecord expected(keys.back());
      EXPECT_TRUE(std::equal(expected.Bytes().begin(), expected.Bytes().end(),
                             reinterpret_cast<const uint8_t*>(record.constData())))
          << "the record of " << keys.back();
    }
    return keys;
  }

  static Bytes Tail(const Bytes& bytes, size_t n) {
    return Bytes(bytes.end() - static_cast<std::ptrdiff_t>(std::min(n, bytes.size())), bytes.end());
  }

  static size_t Count(const std::vector<std::string>& messages, const std::string& prefix) {
    return static_cast<size_t>(std::count_if(messages.begin(), messages.end(),
                                             [&](auto& m) { return m.rfind(prefix, 0) == 0; }));
  }

  fakes::FakeCommDevice* device = nullptr;
};

TEST_F(MainWindowWiringTest, ThePortIsTheControllersLine) {
  auto window = CreateOnFakeDevice();
  EXPECT_EQ(device->CountCalls("Open"), 0u) << "start-up leaves the port to the first link tick";
  EXPECT_EQ(window->lbLinkStatus->text(), "Port closed");
  window->Timer1Timer();
  ASSERT_TRUE(window->comm.Connected());
  EXPECT_EQ(device->Calls().front().text, "COM3");
  const CommDcb dcb = device->LastDcb();
  EXPECT_EQ(dcb.BaudRate, 38400u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, 0);
  EXPECT_EQ(dcb.StopBits, 0);
  EXPECT_EQ(dcb.Flags & CommDcb::kRtsControlMask, CommDcb::kRtsControlEnable);
  EXPECT_EQ(dcb.Flags & CommDcb::kDtrControlMask, 0u);
  EXPECT_EQ(
      dcb.Flags & (CommDcb::kOutxCtsFlow | CommDcb::kOutxDsrFlow | CommDcb::kOutX | CommDcb::kInX),
      0u);
  EXPECT_EQ(device->Mask(), commev::kRxChar | commev::kCts | commev::kDsr);
  EXPECT_EQ(device->Written(), (Bytes{vx710::kHello, vx710::kHello}));
  EXPECT_EQ(window->lbLinkStatus->text(), "Looking for VX710");
}

TEST_F(MainWindowWiringTest, RegulationTicksShowSpeedFanAndCaseTemperaturesAndDriveTheFans) {
  auto window = CreateOnFakeDevice();
  speedFan.slotValues[0] = 5000;  // sf0: 50 °C, half way from 35 to 65
  speedFan.slotValues[1] = 6512;  // sf1: 65 °C, asks 100 %
  window->Timer2Timer();
  EXPECT_EQ(window->tempLabels[2]->text(), "50");
  EXPECT_EQ(window->tempLabels[3]->text(), "65");
  EXPECT_FALSE(window->tempLabels[3]->isHidden());
  for (size_t sensor : {0u, 1u, 4u, 5u}) {
    EXPECT_TRUE(window->tempLabels[sensor]->isHidden()) << "no reading from sensor " << sensor;
    EXPECT_TRUE(window->tempNameLabels[sensor]->isHidden()) << sensor;
  }
  // Response 20: a twentieth of the way to 100 % per tick.
  EXPECT_DOUBLE_EQ(window->fans.fanDuty[0], 5.0);
  EXPECT_DOUBLE_EQ(window->fans.fanDuty[1], 5.0);
  EXPECT_EQ(device->CountCalls("WriteFile"), 0u) << "no fan commands while detached";
  EXPECT_EQ(window->fanLabels[0]->text(), "100 %");

  Attach(*window);
  EXPECT_EQ(window->lbLinkStatus->text(), "VX710 attached");
  Receive(*window, {vx710::kSelectRear, 190, vx710::kSelectFront, 185});
  Tick(*window);
  window->Timer2Timer();
  EXPECT_EQ(window->tempLabels[0]->text(), "40");
  EXPECT_EQ(window->tempLabels[1]->text(), "35");
  EXPECT_FALSE(window->tempNameLabels[0]->isHidden());
  // 9.75 % after the second tick: value round(9.75 / 100 × 177) = 17, shown as 17 / 177 = 10 %.
  EXPECT_EQ(Tail(device->Written(), 5),
            (Bytes{vx710::kFanRear, 17, vx710::kFanFront, 17, vx710::kTick}));
  EXPECT_EQ(window->fanLabels[0]->text(), "10 %");
  EXPECT_EQ(window->fanLabels[1]->text(), "10 %");
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(MainWindowWiringTest, RemoteKeysAndKnobStepsReachTheKeyServersClients) {
  auto window = CreateOnFakeDevice();
  Attach(*window);
  auto client = ConnectClient(*window);

  Receive(*window, {*vx710::CodeForKeyName("ok")});
  Tick(*window);
  EXPECT_EQ(ReceivedKeys(*client, 1), std::vector<std::string>{"ok"});

  // Up is CTS first: phases 0, 2, 3, 1, 0. At the default stretch of 200 % two steps give one
  // key.
  const std::pair<uint32_t, uint32_t> steps[] = {{kMsCtsOn, commev::kCts},
                                                 {kMsCtsOn | kMsDsrOn, commev::kDsr},
                                                 {kMsDsrOn, commev::kCts},
                                                 {0, commev::kDsr}};
  int64_t expectedSteps = window->knob.knobSteps();
  for (const auto& [lines, event] : steps) {
    device->SetModemStatus(lines);
    device->RaiseEvents(event);
    ++expectedSteps;
    ASSERT_TRUE(fakes::ServeUntil(
        window->mainThread(), [&] { return window->knob.knobSteps() == expectedSteps; }, 10000));
  }
  EXPECT_EQ(ReceivedKeys(*client, 2), (std::vector<std::string>{"vol+", "vol+"}));

  // The display-mode code switches the mirror mode and saves it.
  Receive(*window, {vx710::kDisplayModeCode});
  Tick(*window);
  EXPECT_TRUE(window->display().DisplayMode);
  window->FlushFiles();
  IniFile ini("Trellon.ini");
  ini.Load();
  EXPECT_EQ(ini.ReadInteger("X", "DisplayMode", -1), 1);
  EXPECT_TRUE(boxes.boxes.empty());
}

// The outputs beside the key server come from the settings file, whose keys for them the
// program keeps but never writes.
TEST_F(MainWindowWiringTest, RemoteKeysReachLircClientsAsTheSettingsFileSetsThemUp) {
  const std::string socketPath = folder.File("lirc/lircd");
  const std::string ownLines =
      "InputDevice=0\nInputKey_ok=KEY_SELECT\nLircSocket=" + socketPath + "\n";
  test_support::WriteText("Trellon.ini", "[X]\n" + ownLines);
  keyOutputs = true;
  auto window = CreateOnFakeDevice();
  EXPECT_FALSE(window->keyOutputs.HasVirtualKeyboard());
  ASSERT_NE(window->keyOutputs.lirc(), nullptr);
  test_support::UnixClient lirc;
  ASSERT_TRUE(lirc.Connect(socketPath));
  ASSERT_TRUE(WaitFor([&] { return window->keyOutputs.lirc()->ClientCount() == 1; }, 10000,
                      ProcessQtEvents));
  Attach(*window);

  Receive(*window, {*vx710::CodeForKeyName("ok")});
  Tick(*window);
  const std::string line = "0000000000000042 00 ok vx710\n";
  EXPECT_EQ(lirc.Receive(line.size()), line);

  window->controls().edRepeatNext.SetValue(100);
  window->FlushFiles();
  const std::string saved = test_support::ReadText("Trellon.ini");
  EXPECT_NE(saved.find("RepeatNext=100"), std::string::npos);
  EXPECT_NE(saved.find(ownLines), std::string::npos) << saved;
}

TEST_F(MainWindowWiringTest, ThePowerKeyRunsItsQueueThroughTheLinkTick) {
  auto window = CreateOnFakeDevice();
  Attach(*window);
  auto client = ConnectClient(*window);

  Receive(*window, {vx710::kPowerCode});
  Tick(*window);
  EXPECT_EQ(window->overlay().OverlayMessageText(), "Power Off");
  Tick(*window);  // "home" falls due at once: it starts the media centre, then goes out
  EXPECT_EQ(processes->executed.size(), 1u);
  clock.Advance(5000);
  window->Timer1Timer();  // "stop"
  EXPECT_TRUE(powerSystem.calls.empty());
  clock.Advance(5000);
  window->Timer1Timer();  // the power action, hibernate by default
  EXPECT_EQ(ReceivedKeys(*client, 2), (std::vector<std::string>{"home", "stop"}));
  EXPECT_EQ(powerSystem.calls, (std::vector<std::string>{"EnableShutdownPrivilege", "Hibernate"}));
}

TEST_F(MainWindowWiringTest, AKeyCodeCancelsAPendingPowerOff) {
  auto window = CreateOnFakeDevice();
  Attach(*window);
  Receive(*window, {vx710::kPowerCode});
  Tick(*window);
  Receive(*window, {*vx710::CodeForKeyName("up")});
  Tick(*window);
  clock.Advance(10000);
  for (int i = 0; i < 3; ++i) Tick(*window);
  EXPECT_TRUE(powerSystem.calls.empty());
  EXPECT_TRUE(window->keyDispatch.delayedKeys().empty());
}

TEST_F(MainWindowWiringTest, APortThatCannotBeOpenedIsShownWithoutMessageBoxes) {
  auto window = Create();  // the real device on a path to nothing
  window->Timer1Timer();
  for (int tick = 0; tick < 40; ++tick) Tick(*window);
  EXPECT_FALSE(window->comm.Connected());
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(window->lbLinkStatus->text().left(22), "Cannot open the port: ")
      << window->lbLinkStatus->text().toStdString();
  const std::vector<std::string> messages = Messages(*window);
  EXPECT_EQ(Count(messages, "Comm: Opening port"), 1u);
  EXPECT_EQ(Count(messages, "Comm: Cannot open port: "), 1u);
  EXPECT_EQ(Count(messages, "Exception"), 0u);
}

TEST_F(MainWindowWiringTest, ClosingWithAConnectedClientWarnsAfterTheWindowIsGone) {
  auto window = Create();
  window->show();
  ProcessEvents();
  auto client = ConnectClient(*window);
  bool visibleAtBox = true;
  boxes.onShow = [&] { visibleAtBox = window->isVisible(); };
  window->close();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_FALSE(boxes.boxes[0].error) << "no icon";
  EXPECT_EQ(boxes.boxes[0].caption, "Trellon");
  EXPECT_EQ(boxes.boxes[0].text,
            "MediaPortal does not behave well when the IRTrans server is shut down while it's "
            "still running...");
  EXPECT_FALSE(visibleAtBox);
  EXPECT_EQ(Messages(*window).back(), "Closing...");
}

TEST_F(MainWindowWiringTest, ClosingWithoutClientsShowsNothing) {
  auto window = Create();
  window->show();
  ProcessEvents();
  {
    // A client that came and went.
    auto client = ConnectClient(*window);
    client->abort();
    WaitFor([&] { return window->keyServer.ClientCount() == 0; }, 10000, ProcessQtEvents);
  }
  window->close();
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(MainWindowWiringTest, ClosingWithThePortClosedSendsNothing) {
  auto window = CreateOnFakeDevice();
  window->close();
  EXPECT_EQ(device->CountCalls("WriteFile"), 0u);
  EXPECT_EQ(device->CountCalls("Open"), 0u);
  EXPECT_EQ(Messages(*window).back(), "Closing...");
}

TEST_F(MainWindowWiringTest, ClosingDuringTheHandshakeDetachesTheController) {
  auto window = CreateOnFakeDevice();
  window->Timer1Timer();
  Tick(*window);
  ASSERT_EQ(window->link.linkState(), LinkState::Handshake);
  window->close();
  EXPECT_EQ(Tail(device->Written(), 6),
            (Bytes{vx710::kDetach, vx710::kDetach, vx710::kFanRear, vx710::kDetachFanValue,
                   vx710::kFanFront, vx710::kDetachFanValue}));
  EXPECT_FALSE(window->comm.Connected());
  const std::vector<std::string> messages = Messages(*window);
  const auto closing = std::find(messages.begin(), messages.end(), "Closing...");
  ASSERT_NE(closing, messages.end());
  EXPECT_EQ(std::vector<std::string>(closing, messages.end()),
            (std::vector<std::string>{"Closing...", "Comm: Detaching VX710", "Comm: VX710 detached",
                                      "Comm: Closing port", "Comm: Port close"}));
  EXPECT_FALSE(window->Timer1->isActive());
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(MainWindowWiringTest, ACrashPutsTheFansToFullSpeedOnlyWhileTheControllerIsAttached) {
  auto window = CreateOnFakeDevice();
  window->Timer1Timer();
  ASSERT_TRUE(window->comm.Connected());
  EXPECT_EQ(faults.Port(), -1) << "open, but no controller yet";
  for (int hello = 1; hello < 10; ++hello) Tick(*window);
  Receive(*window, {'M', 'Z', '5'});
  Tick(*window);
  clock.Advance(2000);
  window->Timer1Timer();
  ASSERT_EQ(window->link.linkState(), LinkState::Attached);
  EXPECT_EQ(faults.Port(), fakes::FakeCommDevice::kHandle);

  // A failed write starts the link over on the open port: nothing for a crash to write to.
  device->FailCall("WriteFile", winerr::kGenFailure, 1);
  EXPECT_THROW(window->link.SendToController(vx710::TickFrame()), EComPort);
  Tick(*window);
  EXPECT_EQ(faults.Port(), -1);

  // Disarmed before the port closes.
  clock.Advance(1000);
  Attach(*window);
  EXPECT_EQ(faults.Port(), fakes::FakeCommDevice::kHandle);
  faults.ports.clear();
  window->comm.Close();
  EXPECT_EQ(faults.ports, (std::vector<intptr_t>{-1}));
}

TEST_F(MainWindowWiringTest, AFailedDetachAtCloseIsReportedAndTheShutdownGoesOn) {
  auto window = CreateOnFakeDevice();
  window->show();
  ProcessEvents();
  Attach(*window);
  window->Timer1->start();
  window->Timer2->start();
  device->FailCall("WriteFile", winerr::kGenFailure);
  window->close();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_TRUE(boxes.boxes[0].error);
  EXPECT_FALSE(window->Timer1->isActive());
  EXPECT_FALSE(window->Timer2->isActive());
  EXPECT_FALSE(window->isVisible());
}

}  // namespace
}  // namespace trellon
