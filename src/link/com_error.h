#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace trellon {

// The serial port's error numbers.
enum ComErrorNumber : int32_t {
  kComOpenFailed = 1,
  kComWriteFailed = 2,
  kComReadFailed = 3,
  kComInvalidAsync = 4,
  kComPurgeFailed = 5,
  kComAsyncStatusFailed = 6,
  kComSetStateFailed = 7,
  kComSetTimeoutsFailed = 8,
  kComSetupFailed = 9,
  kComClearErrorFailed = 10,
  kComModemStatusFailed = 11,
  kComEscapeFailed = 12,
  kComTransmitCharFailed = 13,
  kComSetWhileConnected = 14,
  kComEnumPortsFailed = 15,
  kComStoreFailed = 16,
  kComLoadFailed = 17,
  kComLinkFailed = 18,
  kComLedStateFailed = 19,
  kComThreadCreated = 20,
  kComWaitFailed = 21,
  kComRxBufLinked = 22,
  kComRegistryError = 23,
};

// The text of an error number, as shown without a system error ("" outside 1..23).
std::string ComErrorText(int32_t errorCode);

// The serial port's exception. With a system error the message is the number's text followed by
// " (win error code: N)"; without one (SystemErrorCode -1) it is the text alone.
class EComPort : public std::runtime_error {
 public:
  explicit EComPort(int32_t errorCode, int32_t systemErrorCode = -1);

  int32_t ErrorCode() const { return errorCode_; }
  int32_t SystemErrorCode() const { return systemErrorCode_; }

 private:
  int32_t errorCode_;
  int32_t systemErrorCode_;
};

}  // namespace trellon
