#include "link/com_port.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "fakes/fake_comm_device.h"
#include "fakes/recording_shell.h"

namespace trellon {
namespace {

using fakes::FakeCommDevice;

// What an EComPort carries: number, system error and message.
struct Raised {
  int32_t code = 0;
  int32_t systemCode = 0;
  std::string text;
  bool operator==(const Raised&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const Raised& r) {
    return out << r.code << "/" << r.systemCode << " \"" << r.text << "\"";
  }
};

// The EComPort that operation raises; none is a test failure.
template <typename Operation>
Raised RaisedBy(Operation&& operation) {
  try {
    operation();
  } catch (const EComPort& error) {
    return {error.ErrorCode(), error.SystemErrorCode(), error.what()};
  }
  ADD_FAILURE() << "no EComPort raised";
  return {};
}

// The message of an error number with a system error.
std::string WithSystemError(int32_t code, int32_t systemCode) {
  return ComErrorText(code) + " (win error code: " + std::to_string(systemCode) + ")";
}

class ComPortTest : public ::testing::Test {
 protected:
  ComPortTest() {
    auto device = std::make_unique<FakeCommDevice>();
    fake = device.get();
    port = std::make_unique<TComPort>(std::move(device), mainThread, shell);
  }
  // The port's close notifications write to the log: the port goes first.
  ~ComPortTest() override { port.reset(); }

  // The controller link's port.
  void ConfigureAsComm() {
    port->SetPort("COM3");
    port->SetBaudRate(TBaudRate::br38400);
    port->FlowControl().SetControlRTS(TRTSFlowControl::rtsEnable);
    port->SetEvents({TComEvent::evRxChar, TComEvent::evCTS, TComEvent::evDSR});
  }

  void RecordNotifications() {
    port->OnBeforeOpen = [this](TCustomComPort&) { log.push_back("BeforeOpen"); };
    port->OnAfterOpen = [this](TCustomComPort&) { log.push_back("AfterOpen"); };
    port->OnBeforeClose = [this](TCustomComPort&) { log.push_back("BeforeClose"); };
    port->OnAfterClose = [this](TCustomComPort&) { log.push_back("AfterClose"); };
    port->OnCTSChange = [this](TCustomComPort&, bool on) {
      log.push_back(on ? "CTS on" : "CTS off");
    };
    port->OnDSRChange = [this](TCustomComPort&, bool on) {
      log.push_back(on ? "DSR on" : "DSR off");
    };
  }

  // Device calls made by the main thread (the event thread only waits in these tests).
  std::vector<std::string> MainCalls() const {
    std::vector<std::string> names;
    for (const auto& name : fake->CallNames()) {
      if (name != "WaitCommEvent") names.push_back(name);
    }
    return names;
  }

  MainThread mainThread;
  fakes::RecordingShell shell;
  FakeCommDevice* fake = nullptr;
  std::unique_ptr<TComPort> port;
  std::vector<std::string> log;
};

TEST_F(ComPortTest, CommSettingsReachTheDeviceInOpeningOrder) {
  ConfigureAsComm();
  EXPECT_EQ(port->FlowControl().FlowControl(), TFlowControl::fcCustom);
  port->Open();

  const auto calls = fake->Calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0].text, "COM3");
  const std::vector<std::string> opening = {"Open", "SetupComm", "SetCommState", "SetCommTimeouts",
                                            "SetCommMask"};
  EXPECT_EQ(MainCalls(), opening);
  EXPECT_EQ(calls[1].args, (std::vector<int64_t>{1024, 1024}));
  EXPECT_EQ(calls[3].args, (std::vector<int64_t>{0xFFFFFFFF, 0, 0, 100, 1000}));
  EXPECT_EQ(fake->Mask(), 0x0019u);

  CommDcb expected;
  expected.BaudRate = 38400;
  expected.Flags = 0x00001001;
  expected.XonLim = 256;
  expected.XoffLim = 256;
  expected.ByteSize = 8;
  expected.XonChar = 0x11;
  expected.XoffChar = 0x13;
  const CommDcb dcb = fake->LastDcb();
  EXPECT_EQ(dcb.DCBlength, 28u);
  EXPECT_EQ(dcb, expected);
}

TEST_F(ComPortTest, OpenAndCloseNotifyInOrderWithTheRealLineStates) {
  ConfigureAsComm();
  RecordNotifications();
  fake->SetModemStatus(kMsCtsOn);
  port->Open();
  EXPECT_TRUE(port->Connected());
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeOpen", "AfterOpen", "CTS on", "DSR off"}));
  // One fresh read of the lines per notification.
  EXPECT_EQ(fake->CountCalls("GetCommModemStatus"), 2u);

  log.clear();
  fake->ClearCalls();
  port->Close();
  EXPECT_FALSE(port->Connected());
  EXPECT_EQ(log, (std::vector<std::string>{"CTS off", "DSR off", "BeforeClose", "AfterClose"}));
  // Abort, then the event thread's own clean-up, then the release.
  EXPECT_EQ(MainCalls(),
            (std::vector<std::string>{"PurgeComm", "SetCommMask", "PurgeComm", "Close"}));
  std::vector<int64_t> purges;
  for (const auto& call : fake->Calls()) {
    if (call.name == "PurgeComm") purges.push_back(call.args.at(0));
  }
  EXPECT_EQ(purges, (std::vector<int64_t>{0x0003, 0x000C}));
  EXPECT_EQ(fake->CountCalls("GetCommModemStatus"), 0u);
}

TEST_F(ComPortTest, OpenWhenOpenAndCloseWhenClosedDoNothing) {
  ConfigureAsComm();
  RecordNotifications();
  port->Close();
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(fake->Calls().empty());

  port->Open();
  log.clear();
  fake->ClearCalls();
  port->Open();
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(MainCalls().empty());
}

TEST_F(ComPortTest, NoEventsStartsNoThreadButStillNotifiesTheLines) {
  RecordNotifications();
  port->SetEvents({});
  port->Open();
  EXPECT_EQ(fake->CountCalls("SetCommMask"), 0u);
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeOpen", "AfterOpen", "CTS off", "DSR off"}));
  port->Close();
  EXPECT_EQ(MainCalls().back(), "Close");
  EXPECT_EQ(fake->CountCalls("SetCommMask"), 0u);
}

TEST_F(ComPortTest, FailedDeviceOpenLeavesThePortClosedAndALaterOpenWorks) {
  RecordNotifications();
  fake->FailCall("Open", winerr::kFileNotFound, 1);
  EXPECT_EQ(RaisedBy([&] { port->Open(); }),
            (Raised{1, 2, "Unable to open com port (win error code: 2)"}));
  EXPECT_FALSE(port->Connected());
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeOpen"}));
  EXPECT_EQ(fake->CountCalls("SetupComm"), 0u);

  port->Open();
  EXPECT_TRUE(port->Connected());
}

TEST_F(ComPortTest, FailingApplyStepClosesTheDeviceWithItsOwnNumber) {
  const std::vector<std::pair<std::string, int32_t>> steps = {
      {"SetupComm", 9}, {"SetCommState", 7}, {"SetCommTimeouts", 8}};
  RecordNotifications();
  for (const auto& [call, number] : steps) {
    SCOPED_TRACE(call);
    log.clear();
    fake->ClearCalls();
    fake->FailCall(call, winerr::kInvalidParameter, 1);
    EXPECT_EQ(RaisedBy([&] { port->Open(); }), (Raised{number, 87, WithSystemError(number, 87)}));
    EXPECT_FALSE(port->Connected());
    EXPECT_FALSE(fake->IsOpen());
    EXPECT_EQ(MainCalls().back(), "Close");
    EXPECT_EQ(fake->CountCalls("SetCommMask"), 0u);
    EXPECT_EQ(log, (std::vector<std::string>{"BeforeOpen"}));
  }
}

TEST_F(ComPortTest, OddBufferSizesAreEvenedAndTheLimitsFollow) {
  port->Buffer().SetInputSize(1025);
  EXPECT_EQ(port->Buffer().InputSize(), 1024);
  port->Buffer().SetInputSize(2049);
  port->Buffer().SetOutputSize(-3);
  EXPECT_EQ(port->Buffer().InputSize(), 2048);
  EXPECT_EQ(port->Buffer().OutputSize(), -3);
  port->Buffer().SetOutputSize(1024);
  port->Open();
  EXPECT_EQ(fake->LastDcb().XonLim, 512);
  EXPECT_EQ(fake->LastDcb().XoffLim, 512);

  // While open only the sizes are applied again.
  fake->ClearCalls();
  port->Buffer().SetInputSize(1025);
  EXPECT_EQ(MainCalls(), (std::vector<std::string>{"SetupComm"}));
  EXPECT_EQ(fake->Calls()[0].args, (std::vector<int64_t>{1024, 1024}));
}

TEST_F(ComPortTest, SettersApplyTheirGroupWhileOpenAndOnlyOnChange) {
  port->SetBaudRate(TBaudRate::br300);  // closed: stored only
  EXPECT_TRUE(fake->Calls().empty());
  port->Open();

  struct Case {
    const char* name;
    std::function<void()> change;
    std::vector<std::string> calls;
  };
  const std::vector<std::string> line = {"SetCommState"};
  const std::vector<std::string> timeouts = {"SetCommTimeouts"};
  const std::vector<Case> cases = {
      {"same baud rate", [&] { port->SetBaudRate(TBaudRate::br300); }, {}},
      {"baud rate", [&] { port->SetBaudRate(TBaudRate::br57600); }, line},
      {"custom rate", [&] { port->SetCustomBaudRate(250000); }, line},
      {"data bits", [&] { port->SetDataBits(TDataBits::dbSeven); }, line},
      {"stop bits", [&] { port->SetStopBits(TStopBits::sbTwoStopBits); }, line},
      {"discard null", [&] { port->SetDiscardNull(true); }, line},
      {"event char", [&] { port->SetEventChar('\n'); }, line},
      {"parity bits", [&] { port->Parity().SetBits(TParityBits::prEven); }, line},
      {"same parity bits", [&] { port->Parity().SetBits(TParityBits::prEven); }, {}},
      {"whole parity", [&] { port->SetParity(TComParity(port->Parity())); }, line},
      {"xon char", [&] { port->FlowControl().SetXonChar(1); }, line},
      {"preset again", [&] { port->FlowControl().SetFlowControl(TFlowControl::fcNone); }, line},
      {"read interval", [&] { port->Timeouts().SetReadInterval(5); }, timeouts},
      {"whole timeouts", [&] { port->SetTimeouts(TComTimeouts()); }, timeouts},
      {"events", [&] { port->SetEvents({TComEvent::evRing}); }, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake->ClearCalls();
    c.change();
    EXPECT_EQ(MainCalls(), c.calls);
  }
  EXPECT_EQ(fake->LastDcb().BaudRate, 57600u);
  EXPECT_EQ(fake->LastTimeouts().ReadIntervalTimeout, 0xFFFFFFFFu);
  // Events take effect at the next open.
  EXPECT_EQ(fake->Mask(), 0x05FFu);
  port->Close();
  port->Open();
  EXPECT_EQ(fake->Mask(), 0x0100u);
}

TEST_F(ComPortTest, ApplyFailureWhileOpenKeepsTheValueAndThePort) {
  port->Open();
  fake->FailCall("SetCommState", winerr::kGenFailure, 1);
  EXPECT_EQ(RaisedBy([&] { port->SetBaudRate(TBaudRate::br115200); }),
            (Raised{7, 31, "SetCommState function failed (win error code: 31)"}));
  EXPECT_EQ(port->BaudRate(), TBaudRate::br115200);
  EXPECT_TRUE(port->Connected());
}

TEST_F(ComPortTest, SyncMethodChangesOnlyWhileClosed) {
  port->Open();
  EXPECT_EQ(RaisedBy([&] { port->SetSyncMethod(TSyncMethod::smNone); }),
            (Raised{14, -1, "Cannot set property while connected"}));
  EXPECT_EQ(port->SyncMethod(), TSyncMethod::smThreadSync);
  port->SetSyncMethod(TSyncMethod::smThreadSync);  // the same value is no change
  port->Close();
  port->SetSyncMethod(TSyncMethod::smWindowSync);
  EXPECT_EQ(port->SyncMethod(), TSyncMethod::smWindowSync);
}

TEST_F(ComPortTest, RenamingAnOpenPortReopensItOnTheNewName) {
  ConfigureAsComm();
  port->Open();
  RecordNotifications();
  port->SetPort("COM3");
  EXPECT_TRUE(log.empty());

  port->SetPort("/dev/ttyUSB0");
  EXPECT_TRUE(port->Connected());
  EXPECT_EQ(log, (std::vector<std::string>{"CTS off", "DSR off", "BeforeClose", "AfterClose",
                                           "BeforeOpen", "AfterOpen", "CTS off", "DSR off"}));
  std::vector<std::string> names;
  for (const auto& call : fake->Calls()) {
    if (call.name == "Open") names.push_back(call.text);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"COM3", "/dev/ttyUSB0"}));

  port->Close();
  port->SetPort("COM5");  // closed: stored only
  EXPECT_EQ(port->Port(), "COM5");
  EXPECT_FALSE(port->Connected());
}

TEST_F(ComPortTest, FlowControlPresetReadsAndWritesFourFields) {
  TComFlowControl& flow = port->FlowControl();
  EXPECT_EQ(flow.FlowControl(), TFlowControl::fcNone);
  flow.SetFlowControl(TFlowControl::fcHardware);
  EXPECT_EQ(flow.ControlRTS(), TRTSFlowControl::rtsHandshake);
  EXPECT_TRUE(flow.OutCTSFlow());
  EXPECT_EQ(flow.FlowControl(), TFlowControl::fcHardware);

  flow.SetFlowControl(TFlowControl::fcSoftware);
  EXPECT_EQ(flow.ControlRTS(), TRTSFlowControl::rtsDisable);
  EXPECT_FALSE(flow.OutCTSFlow());
  EXPECT_TRUE(flow.XonXoffIn() && flow.XonXoffOut());
  EXPECT_EQ(flow.FlowControl(), TFlowControl::fcSoftware);

  flow.SetFlowControl(TFlowControl::fcCustom);  // keeps the fields
  EXPECT_EQ(flow.FlowControl(), TFlowControl::fcSoftware);
  flow.SetXonXoffIn(false);
  EXPECT_EQ(flow.FlowControl(), TFlowControl::fcCustom);
  flow.SetFlowControl(TFlowControl::fcNone);
  EXPECT_FALSE(flow.XonXoffOut());
  EXPECT_EQ(flow.FlowControl(), TFlowControl::fcNone);

  flow.SetFlowControl(TFlowControl::fcHardware);
  port->Open();
  EXPECT_EQ(fake->LastDcb().Flags, 0x2005u);
}

TEST_F(ComPortTest, EveryLineSettingHasItsPlaceInTheDcb) {
  port->SetBaudRate(TBaudRate::brCustom);
  port->SetCustomBaudRate(250000);
  port->SetDataBits(TDataBits::dbSeven);
  port->SetStopBits(TStopBits::sbTwoStopBits);
  port->Parity().SetBits(TParityBits::prMark);
  port->Parity().SetCheck(true);
  port->Parity().SetReplace(true);
  port->Parity().SetReplaceChar('?');
  port->SetDiscardNull(true);
  port->SetEventChar('\r');
  TComFlowControl& flow = port->FlowControl();
  flow.SetOutDSRFlow(true);
  flow.SetControlDTR(TDTRFlowControl::dtrHandshake);
  flow.SetDSRSensitivity(true);
  flow.SetTxContinueOnXoff(true);
  flow.SetXonXoffOut(true);
  flow.SetControlRTS(TRTSFlowControl::rtsToggle);
  flow.SetXonChar(0x01);
  flow.SetXoffChar(0x02);
  port->Open();

  const CommDcb dcb = fake->LastDcb();
  EXPECT_EQ(dcb.BaudRate, 250000u);
  EXPECT_EQ(dcb.Flags, 0x0001u | 0x0002u | 0x0008u | 0x0020u | 0x0040u | 0x0080u | 0x0100u |
                           0x0400u | 0x0800u | 0x3000u);
  EXPECT_EQ(dcb.ByteSize, 7);
  EXPECT_EQ(dcb.Parity, 3);
  EXPECT_EQ(dcb.StopBits, 2);
  EXPECT_EQ(dcb.XonChar, 0x01);
  EXPECT_EQ(dcb.XoffChar, 0x02);
  EXPECT_EQ(dcb.ErrorChar, '?');
  EXPECT_EQ(dcb.EvtChar, '\r');

  // Replacing without checking sets no error character.
  port->Parity().SetCheck(false);
  EXPECT_EQ(fake->LastDcb().Flags & 0x0402u, 0u);
  EXPECT_EQ(fake->LastDcb().ErrorChar, 0);

  // Every named rate is its number.
  const uint32_t rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                            19200, 38400, 56000, 57600, 115200, 128000, 256000};
  for (size_t i = 0; i < std::size(rates); ++i) {
    port->SetBaudRate(static_cast<TBaudRate>(i + 1));
    EXPECT_EQ(fake->LastDcb().BaudRate, rates[i]) << rates[i];
  }
}

TEST_F(ComPortTest, TransfersAndLinesMapToTheirDeviceCalls) {
  port->SetEvents({});  // no event thread: every recorded call is the test's
  port->Open();
  fake->ClearCalls();
  EXPECT_EQ(port->WriteBytes({}), 0);
  EXPECT_TRUE(port->ReadBytes(0).empty());
  EXPECT_TRUE(port->ReadBytes(-4).empty());
  EXPECT_TRUE(fake->Calls().empty());

  EXPECT_EQ(port->WriteBytes({0xAA, 0xAA}), 2);
  fake->SetWriteLimit(1);  // the write time-out expires after one byte
  EXPECT_EQ(port->WriteBytes({0xAD, 0xAD}), 1);
  EXPECT_EQ(fake->Written(), (std::vector<uint8_t>{0xAA, 0xAA, 0xAD}));

  fake->QueueInput({'M', 'Z', '5'});
  EXPECT_EQ(port->BytesWaiting(), 3);
  fake->ClearCalls();
  EXPECT_EQ(port->ReadBytes(10), (std::vector<uint8_t>{'M', 'Z', '5'}));
  EXPECT_EQ(fake->CallNames(), (std::vector<std::string>{"ReadFile", "ClearCommError"}));
  EXPECT_EQ(port->BytesWaiting(), 0);

  fake->SetModemStatus(kMsCtsOn);
  EXPECT_EQ(port->ModemLines(), kLineCTS);
  fake->SetModemStatus(kMsCtsOn | kMsDsrOn | kMsRingOn | kMsRlsdOn);
  EXPECT_EQ(port->ModemLines(), kLineCTS | kLineDSR | kLineRing | kLineRLSD);

  fake->ClearCalls();
  port->SetDTRLine(true);
  port->SetDTRLine(false);
  port->SetRTSLine(true);
  port->SetRTSLine(false);
  std::vector<int64_t> functions;
  for (const auto& call : fake->Calls()) functions.push_back(call.args.at(0));
  EXPECT_EQ(functions, (std::vector<int64_t>{5, 6, 3, 4}));
}

TEST_F(ComPortTest, FailedCallsRaiseTheirNumbersAndLeaveThePortOpen) {
  port->Open();
  const struct {
    const char* call;
    int32_t number;
    std::function<void()> operation;
  } cases[] = {
      {"WriteFile", 2, [&] { port->WriteBytes({1}); }},
      {"ReadFile", 3, [&] { port->ReadBytes(1); }},
      {"ClearCommError", 10, [&] { port->BytesWaiting(); }},
      {"GetCommModemStatus", 11, [&] { port->ModemLines(); }},
      {"EscapeCommFunction", 12, [&] { port->SetRTSLine(true); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    fake->FailCall(c.call, winerr::kGenFailure, 1);
    EXPECT_EQ(RaisedBy(c.operation), (Raised{c.number, 31, WithSystemError(c.number, 31)}));
    EXPECT_TRUE(port->Connected());
  }
  // A read whose follow-up status query fails raises that query's number.
  fake->FailCall("ClearCommError", winerr::kGenFailure, 1);
  EXPECT_EQ(RaisedBy([&] { port->ReadBytes(1); }).code, 10);

  port->Close();
  // On the closed port the calls fail on the invalid handle.
  EXPECT_EQ(RaisedBy([&] { port->WriteBytes({1}); }), (Raised{2, 6, WithSystemError(2, 6)}));
}

TEST_F(ComPortTest, AFailedAbortStillReleasesTheDeviceAndIsRaisedAfterwards) {
  RecordNotifications();
  port->Open();
  log.clear();
  fake->FailCall("PurgeComm", winerr::kGenFailure, 1);
  EXPECT_EQ(RaisedBy([&] { port->Close(); }),
            (Raised{5, 31, "PurgeComm function failed (win error code: 31)"}));
  EXPECT_FALSE(port->Connected());
  EXPECT_FALSE(fake->IsOpen());
  EXPECT_EQ(log, (std::vector<std::string>{"CTS off", "DSR off", "BeforeClose", "AfterClose"}));
  port->Open();
  EXPECT_TRUE(port->Connected());
}

TEST_F(ComPortTest, ConnectedWhileLoadingOpensWhenLoadingEnds) {
  port->BeginLoading();
  port->SetConnected(true);
  EXPECT_FALSE(port->Connected());
  port->Loaded();
  EXPECT_TRUE(port->Connected());
  port->SetConnected(false);
  EXPECT_FALSE(port->Connected());

  // A failing open at the end of loading goes to the error handling.
  port->BeginLoading();
  port->SetConnected(true);
  fake->FailCall("Open", winerr::kSharingViolation, 1);
  port->Loaded();
  EXPECT_FALSE(port->Connected());
  EXPECT_EQ(shell.errors,
            (std::vector<std::string>{"Unable to open com port (win error code: 32)"}));
}

TEST_F(ComPortTest, DestroyingAnOpenPortClosesItWithNotifications) {
  RecordNotifications();
  port->Open();
  log.clear();
  port.reset();  // the fake device goes with it
  EXPECT_EQ(log, (std::vector<std::string>{"CTS off", "DSR off", "BeforeClose", "AfterClose"}));
}

TEST(ComErrorTest, MessagesCarryTheSystemErrorOnlyWhenThereIsOne) {
  EXPECT_STREQ(EComPort(4).what(), "Invalid Async parameter");
  EXPECT_EQ(EComPort(4).SystemErrorCode(), -1);
  EXPECT_STREQ(EComPort(9, 5).what(), "SetupComm function failed (win error code: 5)");
  EXPECT_EQ(ComErrorText(1), "Unable to open com port");
  EXPECT_EQ(ComErrorText(23), "Registry error");
  EXPECT_EQ(ComErrorText(24), "");
}

}  // namespace
}  // namespace trellon
