#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace trellon {

// Windows error numbers that the serial device reports. 0 is success.
namespace winerr {
constexpr uint32_t kSuccess = 0;
constexpr uint32_t kInvalidFunction = 1;
constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kPathNotFound = 3;
constexpr uint32_t kTooManyOpenFiles = 4;
constexpr uint32_t kAccessDenied = 5;
constexpr uint32_t kInvalidHandle = 6;
constexpr uint32_t kNotEnoughMemory = 8;
constexpr uint32_t kBadCommand = 22;
constexpr uint32_t kGenFailure = 31;
constexpr uint32_t kSharingViolation = 32;
constexpr uint32_t kNotSupported = 50;
constexpr uint32_t kInvalidParameter = 87;
constexpr uint32_t kFilenameTooLong = 206;
constexpr uint32_t kOperationAborted = 995;
constexpr uint32_t kDeviceNotConnected = 1167;
constexpr uint32_t kTimeout = 1460;
}  // namespace winerr

// The device control block: the line settings in the layout of the Windows structure.
struct CommDcb {
  // Bits of Flags.
  static constexpr uint32_t kBinary = 0x0001;
  static constexpr uint32_t kParity = 0x0002;
  static constexpr uint32_t kOutxCtsFlow = 0x0004;
  static constexpr uint32_t kOutxDsrFlow = 0x0008;
  static constexpr uint32_t kDtrControlMask = 0x0030;
  static constexpr uint32_t kDtrControlEnable = 0x0010;
  static constexpr uint32_t kDtrControlHandshake = 0x0020;
  static constexpr uint32_t kDsrSensitivity = 0x0040;
  static constexpr uint32_t kTxContinueOnXoff = 0x0080;
  static constexpr uint32_t kOutX = 0x0100;
  static constexpr uint32_t kInX = 0x0200;
  static constexpr uint32_t kErrorChar = 0x0400;
  static constexpr uint32_t kNull = 0x0800;
  static constexpr uint32_t kRtsControlMask = 0x3000;
  static constexpr uint32_t kRtsControlEnable = 0x1000;
  static constexpr uint32_t kRtsControlHandshake = 0x2000;
  static constexpr uint32_t kRtsControlToggle = 0x3000;

  uint32_t DCBlength = 28;
  uint32_t BaudRate = 0;
  uint32_t Flags = 0;
  uint16_t wReserved = 0;
  uint16_t XonLim = 0;
  uint16_t XoffLim = 0;
  uint8_t ByteSize = 0;
  uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
  uint8_t XonChar = 0;
  uint8_t XoffChar = 0;
  uint8_t ErrorChar = 0;
  uint8_t EofChar = 0;
  uint8_t EvtChar = 0;
  uint16_t wReserved1 = 0;

  bool operator==(const CommDcb&) const = default;
};

// The five time-outs in milliseconds; 0xFFFFFFFF is MAXDWORD.
struct CommTimeouts {
  uint32_t ReadIntervalTimeout = 0;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;

  bool operator==(const CommTimeouts&) const = default;
};

// Queue counts from ClearCommError.
struct CommStatus {
  uint32_t cbInQue = 0;
  uint32_t cbOutQue = 0;
};

// Comm event bits (SetCommMask, WaitCommEvent).
namespace commev {
constexpr uint32_t kRxChar = 0x0001;
constexpr uint32_t kRxFlag = 0x0002;
constexpr uint32_t kTxEmpty = 0x0004;
constexpr uint32_t kCts = 0x0008;
constexpr uint32_t kDsr = 0x0010;
constexpr uint32_t kRlsd = 0x0020;
constexpr uint32_t kBreak = 0x0040;
constexpr uint32_t kErr = 0x0080;
constexpr uint32_t kRing = 0x0100;
constexpr uint32_t kRx80Full = 0x0400;
}  // namespace commev

// Modem status bits (GetCommModemStatus).
constexpr uint32_t kMsCtsOn = 0x0010;
constexpr uint32_t kMsDsrOn = 0x0020;
constexpr uint32_t kMsRingOn = 0x0040;
constexpr uint32_t kMsRlsdOn = 0x0080;

// Line error bits (ClearCommError).
namespace commerr {
constexpr uint32_t kRxOver = 0x0001;
constexpr uint32_t kOverrun = 0x0002;
constexpr uint32_t kRxParity = 0x0004;
constexpr uint32_t kFrame = 0x0008;
constexpr uint32_t kBreak = 0x0010;
constexpr uint32_t kTxFull = 0x0100;
constexpr uint32_t kIoError = 0x0400;
constexpr uint32_t kMode = 0x8000;
}  // namespace commerr

// EscapeCommFunction codes.
constexpr uint32_t kSetXoff = 1;
constexpr uint32_t kSetXon = 2;
constexpr uint32_t kSetRts = 3;
constexpr uint32_t kClrRts = 4;
constexpr uint32_t kSetDtr = 5;
constexpr uint32_t kClrDtr = 6;
constexpr uint32_t kSetBreak = 8;
constexpr uint32_t kClrBreak = 9;

// PurgeComm flags.
constexpr uint32_t kPurgeTxAbort = 0x0001;
constexpr uint32_t kPurgeRxAbort = 0x0002;
constexpr uint32_t kPurgeTxClear = 0x0004;
constexpr uint32_t kPurgeRxClear = 0x0008;

// Ends a comm event wait from another thread. Created by the device whose waits it ends; once
// set it stays set, and every wait given it returns at once.
class CommWaitStop {
 public:
  virtual ~CommWaitStop() = default;
  // Any thread.
  virtual void Set() = 0;
  virtual bool IsSet() const = 0;
};

// A serial device, shaped like the Windows comm functions. Every call returns a Windows error
// number (0 = success). Calls on a device that is not open fail with kInvalidHandle.
//
// Threads: the port's owner calls everything from the main thread; the event thread calls only
// WaitCommEvent, SetCommMask and PurgeComm (and ClearCommError / GetCommModemStatus when the
// port delivers events on the event thread). The device is closed only while no wait runs.
class CommDevice {
 public:
  virtual ~CommDevice() = default;

  // Opens the port by name for exclusive read and write access.
  virtual uint32_t Open(const std::string& portName) = 0;
  // Releases the device; nothing when it is not open.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // The system's handle of the open device (a file descriptor on POSIX systems), for a crash
  // handler that must write to it without any of this object's locks; -1 when closed or when
  // the device has none.
  virtual intptr_t NativeHandle() const { return -1; }

  virtual uint32_t SetupComm(uint32_t inQueue, uint32_t outQueue) = 0;
  virtual uint32_t SetCommState(const CommDcb& dcb) = 0;
  virtual uint32_t SetCommTimeouts(const CommTimeouts& timeouts) = 0;
  // MS_* bits of the modem inputs.
  virtual uint32_t GetCommModemStatus(uint32_t& status) = 0;
  virtual uint32_t EscapeCommFunction(uint32_t function) = 0;
  // The line errors since the last call (CE_* bits, then cleared) and the queue counts.
  virtual uint32_t ClearCommError(uint32_t& errors, CommStatus& status) = 0;
  virtual uint32_t PurgeComm(uint32_t flags) = 0;

  // Writes and waits until the write completed or its time-out expired; written tells how many
  // bytes went out.
  virtual uint32_t WriteFile(const uint8_t* data, uint32_t length, uint32_t& written) = 0;
  // Reads as the time-outs say; read tells how many bytes arrived.
  virtual uint32_t ReadFile(uint8_t* data, uint32_t length, uint32_t& read) = 0;

  // Chooses the events that WaitCommEvent reports; also ends a wait in progress, which then
  // returns success with no events.
  virtual uint32_t SetCommMask(uint32_t mask) = 0;
  virtual std::unique_ptr<CommWaitStop> CreateWaitStop() = 0;
  // Blocks until one of the mask's events happened since the last wait (events gets them), or
  // until stop is set (returns kOperationAborted).
  virtual uint32_t WaitCommEvent(CommWaitStop& stop, uint32_t& events) = 0;
};

// The serial device of the platform the program runs on.
std::unique_ptr<CommDevice> CreateCommDevice();

}  // namespace trellon
