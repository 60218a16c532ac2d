// The pieces of the Linux serial device that need no device: DCB to terminal settings, port
// names, and the comm event detection from successive looks at a device.

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <cstdlib>

#include "link/comm_event_detector.h"
#include "link/comm_support_linux.h"

namespace trellon {
namespace {

CommDcb CommDcbOfTheController() {
  CommDcb dcb;
  dcb.BaudRate = 38400;
  dcb.Flags = CommDcb::kBinary | CommDcb::kRtsControlEnable;
  dcb.ByteSize = 8;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  return dcb;
}

// A terminal in its default cooked state.
struct termios2 CookedTerminal() {
  struct termios2 tio {};
  tio.c_iflag = ICRNL | IXON | BRKINT;
  tio.c_oflag = OPOST | ONLCR;
  tio.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
  tio.c_cflag = B9600 | CS8 | CREAD | HUPCL;
  tio.c_cc[VMIN] = 1;
  return tio;
}

TEST(ComTermiosTest, TheControllerLineIsRaw8N1At38400) {
  struct termios2 tio = CookedTerminal();
  ASSERT_EQ(DcbToTermios(CommDcbOfTheController(), tio), 0u);
  EXPECT_EQ(tio.c_cflag & CBAUD, static_cast<unsigned>(B38400));
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<unsigned>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_TRUE(tio.c_cflag & CREAD);
  EXPECT_TRUE(tio.c_cflag & CLOCAL);
  EXPECT_TRUE(tio.c_cflag & HUPCL);  // left as it was
  EXPECT_EQ(tio.c_iflag & (ICRNL | IXON | IXOFF | INPCK | BRKINT), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(tio.c_cc[VMIN], 0);
  EXPECT_EQ(tio.c_cc[VTIME], 0);

  int raise = 0;
  int drop = 0;
  DcbOutputLines(CommDcbOfTheController(), raise, drop);
  EXPECT_EQ(raise, TIOCM_RTS);
  EXPECT_EQ(drop, TIOCM_DTR);
}

TEST(ComTermiosTest, RatesParityStopBitsAndFlowControl) {
  CommDcb dcb = CommDcbOfTheController();
  dcb.BaudRate = 56000;  // no kernel constant: an arbitrary rate
  dcb.Parity = 3;        // mark
  dcb.ByteSize = 7;
  dcb.StopBits = 2;
  dcb.Flags |= CommDcb::kOutxCtsFlow | CommDcb::kOutX | CommDcb::kInX;
  dcb.XonChar = 0x01;
  dcb.XoffChar = 0x02;
  struct termios2 tio = CookedTerminal();
  ASSERT_EQ(DcbToTermios(dcb, tio), 0u);
  EXPECT_EQ(tio.c_cflag & CBAUD, static_cast<unsigned>(BOTHER));
  EXPECT_EQ(tio.c_ispeed, 56000u);
  EXPECT_EQ(tio.c_ospeed, 56000u);
  EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR),
            static_cast<unsigned>(PARENB | PARODD | CMSPAR));
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<unsigned>(CS7));
  EXPECT_TRUE(tio.c_cflag & CSTOPB);
  EXPECT_TRUE(tio.c_cflag & CRTSCTS);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), static_cast<unsigned>(IXON | IXOFF));
  EXPECT_EQ(tio.c_cc[VSTART], 0x01);
  EXPECT_EQ(tio.c_cc[VSTOP], 0x02);

  dcb.Parity = 4;  // space
  dcb.Flags = CommDcb::kBinary | CommDcb::kParity | CommDcb::kErrorChar;
  ASSERT_EQ(DcbToTermios(dcb, tio), 0u);
  EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<unsigned>(PARENB | CMSPAR));
  EXPECT_FALSE(tio.c_cflag & CRTSCTS);
  EXPECT_TRUE(tio.c_iflag & INPCK);
}

TEST(ComTermiosTest, SettingsTheLineCannotTakeAreRefused) {
  struct Case {
    const char* name;
    void (*change)(CommDcb&);
    uint32_t error;
  };
  const Case cases[] = {
      {"rate 0", [](CommDcb& d) { d.BaudRate = 0; }, winerr::kInvalidParameter},
      {"4 data bits", [](CommDcb& d) { d.ByteSize = 4; }, winerr::kInvalidParameter},
      {"parity 5", [](CommDcb& d) { d.Parity = 5; }, winerr::kInvalidParameter},
      {"1.5 stop bits with 8 data bits", [](CommDcb& d) { d.StopBits = 1; },
       winerr::kInvalidParameter},
      {"2 stop bits with 5 data bits",
       [](CommDcb& d) {
         d.StopBits = 2;
         d.ByteSize = 5;
       },
       winerr::kInvalidParameter},
      {"XON equal to XOFF",
       [](CommDcb& d) {
         d.Flags |= CommDcb::kInX;
         d.XoffChar = d.XonChar;
       },
       winerr::kInvalidParameter},
      {"DSR output flow", [](CommDcb& d) { d.Flags |= CommDcb::kOutxDsrFlow; },
       winerr::kNotSupported},
      {"RTS toggle", [](CommDcb& d) { d.Flags |= CommDcb::kRtsControlToggle; },
       winerr::kNotSupported},
      {"DTR handshake", [](CommDcb& d) { d.Flags |= CommDcb::kDtrControlHandshake; },
       winerr::kNotSupported},
      {"replacement character",
       [](CommDcb& d) {
         d.Flags |= CommDcb::kParity | CommDcb::kErrorChar;
         d.ErrorChar = '?';
       },
       winerr::kNotSupported},
  };
  for (const Case& c : cases) {
    CommDcb dcb = CommDcbOfTheController();
    c.change(dcb);
    struct termios2 tio = CookedTerminal();
    EXPECT_EQ(DcbToTermios(dcb, tio), c.error) << c.name;
    EXPECT_TRUE(tio.c_lflag & ICANON) << c.name << ": changed on refusal";
  }
  CommDcb fiveBits = CommDcbOfTheController();
  fiveBits.ByteSize = 5;
  fiveBits.StopBits = 1;
  struct termios2 tio = CookedTerminal();
  EXPECT_EQ(DcbToTermios(fiveBits, tio), 0u);
}

TEST(ComPortNameTest, ComNamesGoToTheirVariableOrTheSerialDevice) {
  unsetenv("TRELLON_COM3");
  EXPECT_EQ(DevicePathForPort("COM3"), "/dev/ttyS2");
  EXPECT_EQ(DevicePathForPort("com1"), "/dev/ttyS0");
  EXPECT_EQ(DevicePathForPort("\\\\.\\COM12"), "/dev/ttyS11");
  setenv("TRELLON_COM3", "/dev/pts/7", 1);
  EXPECT_EQ(DevicePathForPort("COM3"), "/dev/pts/7");
  setenv("TRELLON_COM3", "", 1);
  EXPECT_EQ(DevicePathForPort("COM3"), "/dev/ttyS2");
  unsetenv("TRELLON_COM3");
  for (const char* path : {"COM0", "COM", "COMX", "COM1a", "/dev/ttyUSB0", "COM3 "}) {
    EXPECT_EQ(DevicePathForPort(path), path);
  }
}

// --- Event detection

CommSnapshot Received(uint64_t received, uint32_t inQueue) {
  CommSnapshot snapshot;
  snapshot.received = received;
  snapshot.inQueue = inQueue;
  return snapshot;
}

TEST(ComEventDetectorTest, ReceivedBytesAreAnnouncedOnceEach) {
  CommEventDetector detector;
  detector.Reset(Received(2, 2));  // two bytes waited before the mask was set
  EXPECT_EQ(detector.Detect(Received(2, 2), 1024), commev::kRxChar);
  // Still unread, nothing new.
  EXPECT_EQ(detector.Detect(Received(2, 2), 1024), 0u);
  EXPECT_TRUE(detector.NeedsPolling(Received(2, 2), commev::kRxChar, true));
  // One byte read, one new arrived: the queue looks the same, the total tells.
  EXPECT_EQ(detector.Detect(Received(3, 2), 1024), commev::kRxChar);
  EXPECT_EQ(detector.Detect(Received(3, 0), 1024), 0u);
  EXPECT_FALSE(detector.NeedsPolling(Received(3, 0), commev::kRxChar, true));
  // Unread input does not make a wait poll when nobody asked for received characters.
  EXPECT_FALSE(detector.NeedsPolling(Received(3, 2), commev::kCts, true));
}

TEST(ComEventDetectorTest, CountersTellEveryLineThatMoved) {
  CommSnapshot base;
  base.countersKnown = true;
  CommEventDetector detector;
  detector.Reset(base);

  CommSnapshot now = base;
  now.counters.cts = 2;  // went and came back: the level alone would not show it
  now.counters.dsr = 1;
  EXPECT_EQ(detector.Detect(now, 0), commev::kCts | commev::kDsr);
  EXPECT_EQ(detector.Detect(now, 0), 0u);
  now.counters.ring = 1;
  now.counters.rlsd = 1;
  now.counters.brk = 1;
  now.counters.frame = 1;
  EXPECT_EQ(detector.Detect(now, 0), commev::kRing | commev::kRlsd | commev::kBreak | commev::kErr);
  // With counters and a change notification nothing needs polling.
  EXPECT_FALSE(detector.NeedsPolling(now, commev::kCts, true));
  EXPECT_TRUE(detector.NeedsPolling(now, commev::kCts, false));
}

TEST(ComEventDetectorTest, LevelsAloneShowChangesBetweenLooks) {
  CommSnapshot base;
  base.linesKnown = true;
  CommEventDetector detector;
  detector.Reset(base);
  CommSnapshot now = base;
  now.modemStatus = kMsCtsOn | kMsRlsdOn;
  EXPECT_EQ(detector.Detect(now, 0), commev::kCts | commev::kRlsd);
  now.modemStatus = kMsRlsdOn | kMsDsrOn;
  EXPECT_EQ(detector.Detect(now, 0), commev::kCts | commev::kDsr);
  EXPECT_TRUE(detector.NeedsPolling(now, commev::kDsr, false));
  // Without lines (a pseudo-terminal) there is nothing to look at.
  EXPECT_FALSE(detector.NeedsPolling(Received(0, 0), commev::kDsr, false));
}

TEST(ComEventDetectorTest, TransmitEmptyAndEightyPercentFull) {
  CommEventDetector detector;
  detector.Reset(Received(0, 0));
  CommSnapshot draining = Received(0, 0);
  draining.outQueueKnown = true;
  draining.outQueue = 5;
  detector.MarkWritten();
  EXPECT_EQ(detector.Detect(draining, 100), 0u);
  EXPECT_TRUE(detector.NeedsPolling(draining, commev::kTxEmpty, true));
  draining.outQueue = 0;
  EXPECT_EQ(detector.Detect(draining, 100), commev::kTxEmpty);
  EXPECT_EQ(detector.Detect(draining, 100), 0u);

  EXPECT_EQ(detector.Detect(Received(79, 79), 100), commev::kRxChar);
  EXPECT_EQ(detector.Detect(Received(80, 80), 100), commev::kRxChar | commev::kRx80Full);
  EXPECT_EQ(detector.Detect(Received(90, 90), 100), commev::kRxChar);
  EXPECT_EQ(detector.Detect(Received(90, 10), 100), 0u);
  EXPECT_EQ(detector.Detect(Received(170, 90), 100), commev::kRxChar | commev::kRx80Full);
}

}  // namespace
}  // namespace trellon
