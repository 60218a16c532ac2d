// The serial port on a real pseudo-terminal pair: the test holds the master side and plays the
// controller; the port opens the slave side.

#include <asm/termbits.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_comm_device.h"
#include "fakes/recording_shell.h"
#include "link/com_port.h"
#include "support/scoped_environment.h"
#include "support/wait.h"

namespace trellon {
namespace {

using fakes::ServeUntil;
using SteadyClock = std::chrono::steady_clock;

constexpr uint32_t kLongMs = 5000;

class ComPtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    slavePath = ptsname(master);
    port = MakePort();
    port->SetPort(slavePath);
    port->SetBaudRate(TBaudRate::br38400);
    port->FlowControl().SetControlRTS(TRTSFlowControl::rtsEnable);
    port->SetEvents({TComEvent::evRxChar, TComEvent::evCTS, TComEvent::evDSR});
  }

  void TearDown() override {
    // The handlers may point at the test body's locals; closing must not reach them.
    port->OnRxChar = nullptr;
    port->OnCTSChange = nullptr;
    port->OnDSRChange = nullptr;
    port.reset();
    if (master >= 0) close(master);
  }

  std::unique_ptr<TComPort> MakePort() {
    return std::make_unique<TComPort>(CreateCommDevice(), mainThread, shell);
  }

  // Reads from the master side until count bytes came or the time is up.
  std::vector<uint8_t> ReadMaster(size_t count) {
    std::vector<uint8_t> bytes;
    const test_support::Deadline deadline(kLongMs);
    while (bytes.size() < count && !deadline.Passed()) {
      pollfd entry{master, POLLIN, 0};
      if (poll(&entry, 1, deadline.MillisLeft()) <= 0) continue;
      uint8_t buffer[64];
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
  }

  void WriteMaster(const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  MainThread mainThread;
  fakes::RecordingShell shell;
  int master = -1;
  std::string slavePath;
  std::unique_ptr<TComPort> port;
};

TEST_F(ComPtyTest, WrittenBytesArriveAtTheOtherEnd) {
  port->Open();
  EXPECT_EQ(port->WriteBytes({0xAA, 0xAA}), 2);
  EXPECT_EQ(port->WriteBytes({0x0A, 0x0D, 0x00}), 3);  // raw: no line-end translation
  EXPECT_EQ(ReadMaster(5), (std::vector<uint8_t>{0xAA, 0xAA, 0x0A, 0x0D, 0x00}));
}

TEST_F(ComPtyTest, ReceivedBytesReachOnRxCharOnTheMainThread) {
  std::vector<uint8_t> received;
  bool allOnMain = true;
  port->OnRxChar = [&](TCustomComPort& sender, int32_t count) {
    allOnMain = allOnMain && mainThread.IsMainThread();
    const auto bytes = sender.ReadBytes(count);
    received.insert(received.end(), bytes.begin(), bytes.end());
  };
  port->Open();
  WriteMaster({'M', 'Z', '5'});
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return received.size() >= 3; }, kLongMs));
  WriteMaster({0x03, 0xFB, 0xB4});
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return received.size() >= 6; }, kLongMs));
  EXPECT_EQ(received, (std::vector<uint8_t>{'M', 'Z', '5', 0x03, 0xFB, 0xB4}));
  EXPECT_TRUE(allOnMain);
}

TEST_F(ComPtyTest, BytesLeftUnreadAreNotAnnouncedTwiceButNewOnesAre) {
  std::vector<int32_t> counts;
  port->OnRxChar = [&](TCustomComPort&, int32_t count) { counts.push_back(count); };
  port->Open();
  WriteMaster({1, 2});
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return counts.size() == 1; }, kLongMs));
  // Nothing new: no second announcement of the two waiting bytes.
  ServeUntil(
      mainThread, [] { return false; }, 200);
  EXPECT_EQ(counts, (std::vector<int32_t>{2}));
  WriteMaster({3});
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return counts.size() == 2; }, kLongMs));
  EXPECT_EQ(counts, (std::vector<int32_t>{2, 3}));
}

TEST_F(ComPtyTest, ReadingMoreThanIsQueuedReturnsAtOnce) {
  port->SetEvents({});
  port->Open();
  auto start = SteadyClock::now();
  EXPECT_TRUE(port->ReadBytes(10).empty());
  EXPECT_LT(SteadyClock::now() - start, std::chrono::milliseconds(500));

  WriteMaster({'a', 'b'});
  test_support::WaitFor([&] { return port->BytesWaiting() >= 2; }, kLongMs);
  start = SteadyClock::now();
  EXPECT_EQ(port->ReadBytes(100), (std::vector<uint8_t>{'a', 'b'}));
  EXPECT_LT(SteadyClock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(port->BytesWaiting(), 0);
}

TEST_F(ComPtyTest, AMissingPortFailsWithFileNotFoundAndALaterOpenWorks) {
  port->SetPort("/dev/trellon-no-such-port");
  try {
    port->Open();
    FAIL() << "no exception";
  } catch (const EComPort& error) {
    EXPECT_EQ(error.ErrorCode(), 1);
    EXPECT_EQ(error.SystemErrorCode(), 2);
    const std::string message = error.what();
    const std::string suffix = " (win error code: 2)";
    ASSERT_GE(message.size(), suffix.size());
    EXPECT_EQ(message.substr(message.size() - suffix.size()), suffix);
  }
  EXPECT_FALSE(port->Connected());

  port->SetPort(slavePath);
  port->Open();
  EXPECT_TRUE(port->Connected());
}

TEST_F(ComPtyTest, AComNameOpensTheDeviceItsVariableNames) {
  {
    const test_support::ScopedEnvironment com9("TRELLON_COM9", slavePath);
    port->SetPort("COM9");
    port->Open();
  }
  EXPECT_TRUE(port->Connected());
  port->WriteBytes({0x42});
  EXPECT_EQ(ReadMaster(1), (std::vector<uint8_t>{0x42}));
}

TEST_F(ComPtyTest, APortInUseCannotBeOpenedTwice) {
  port->Open();
  auto second = MakePort();
  second->SetPort(slavePath);
  try {
    second->Open();
    FAIL() << "no exception";
  } catch (const EComPort& error) {
    EXPECT_EQ(error.ErrorCode(), 1);
    EXPECT_EQ(error.SystemErrorCode(), 32);
  }
  port->Close();
  second->Open();
  EXPECT_TRUE(second->Connected());
}

TEST_F(ComPtyTest, APseudoTerminalHasNoModemLines) {
  std::vector<std::string> lines;
  port->OnCTSChange = [&](TCustomComPort&, bool on) { lines.push_back(on ? "CTS on" : "CTS off"); };
  port->OnDSRChange = [&](TCustomComPort&, bool on) { lines.push_back(on ? "DSR on" : "DSR off"); };
  port->Open();
  EXPECT_EQ(port->ModemLines(), 0);
  EXPECT_EQ(lines, (std::vector<std::string>{"CTS off", "DSR off"}));
  // The output lines do not exist either; setting them is no failure.
  port->SetRTSLine(true);
  port->SetDTRLine(false);
}

TEST_F(ComPtyTest, LineSettingsReachTheTerminalAndTheOldOnesComeBack) {
  const int observer = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(observer, 0);
  struct termios2 before {};
  ASSERT_EQ(ioctl(observer, TCGETS2, &before), 0);
  ASSERT_TRUE(before.c_lflag & ICANON);

  port->SetBaudRate(TBaudRate::br14400);  // not a kernel rate: set as an arbitrary one
  port->FlowControl().SetFlowControl(TFlowControl::fcSoftware);
  port->Open();
  struct termios2 open {};
  ASSERT_EQ(ioctl(observer, TCGETS2, &open), 0);
  EXPECT_FALSE(open.c_lflag & ICANON);
  EXPECT_FALSE(open.c_oflag & OPOST);
  EXPECT_EQ(open.c_cflag & CBAUD, static_cast<unsigned>(BOTHER));
  EXPECT_EQ(open.c_ospeed, 14400u);
  EXPECT_EQ(open.c_iflag & (IXON | IXOFF), static_cast<unsigned>(IXON | IXOFF));

  port->Close();
  struct termios2 after {};
  ASSERT_EQ(ioctl(observer, TCGETS2, &after), 0);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  EXPECT_EQ(after.c_ospeed, before.c_ospeed);
  close(observer);
}

TEST_F(ComPtyTest, AHungUpLineNeitherBlocksNorSpinsTheClose) {
  std::vector<uint8_t> received;
  port->OnRxChar = [&](TCustomComPort& sender, int32_t count) {
    const auto bytes = sender.ReadBytes(count);
    received.insert(received.end(), bytes.begin(), bytes.end());
  };
  port->Open();
  WriteMaster({9});
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return received.size() == 1; }, kLongMs));
  close(master);
  master = -1;
  ServeUntil(
      mainThread, [] { return false; }, 200);
  EXPECT_THROW(port->WriteBytes({1}), EComPort);
  const auto start = SteadyClock::now();
  // Transfers never outlive their call here, so there is nothing to abort on the dead line.
  EXPECT_NO_THROW(port->Close());
  EXPECT_LT(SteadyClock::now() - start, std::chrono::milliseconds(2000));
  EXPECT_FALSE(port->Connected());

  // The port can be opened again, on a new line.
  master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  port->SetPort(ptsname(master));
  port->Open();
  WriteMaster({10});
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return received.size() == 2; }, kLongMs));
}

}  // namespace
}  // namespace trellon
