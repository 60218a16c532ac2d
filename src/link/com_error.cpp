#include "link/com_error.h"

#include <array>
#include <string_view>

namespace trellon {
namespace {

constexpr std::array<std::string_view, 23> kTexts = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

std::string Message(int32_t errorCode, int32_t systemErrorCode) {
  std::string text = ComErrorText(errorCode);
  if (systemErrorCode != -1) text += " (win error code: " + std::to_string(systemErrorCode) + ")";
  return text;
}

}  // namespace

std::string ComErrorText(int32_t errorCode) {
  if (errorCode < 1 || errorCode > static_cast<int32_t>(kTexts.size())) return {};
  return std::string(kTexts[static_cast<size_t>(errorCode - 1)]);
}

EComPort::EComPort(int32_t errorCode, int32_t systemErrorCode)
    : std::runtime_error(Message(errorCode, systemErrorCode)),
      errorCode_(errorCode),
      systemErrorCode_(systemErrorCode) {}

}  // namespace trellon
