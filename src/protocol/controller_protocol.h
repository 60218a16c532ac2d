#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace trellon::vx710 {

// The bytes on the line between the program and the VX710 front-panel controller.

// Program to controller.
constexpr uint8_t kHello = 0xAA;           // sent as AA AA, ten times, 100 ms apart
constexpr uint8_t kAttachConfirm = 0xAD;   // AD AD once the answer was recognised
constexpr uint8_t kFanRear = 0xA3;         // A3 vv: rear fan, vv = 0..kFanMax
constexpr uint8_t kFanFront = 0xA4;        // A4 vv: front fan
constexpr uint8_t kTick = 0xA2;            // once per regulation tick while attached
constexpr uint8_t kDetach = 0xA5;          // A5 A5 on detach
constexpr uint8_t kFanMax = 177;           // fan value for 100 %
constexpr uint8_t kDetachFanValue = 0x30;  // both fans get this value on detach

// Controller to program.
constexpr uint8_t kAnswer[3] = {'M', 'Z', '5'};
constexpr uint8_t kFirstKeyCode = 1;
constexpr uint8_t kLastKeyCode = 125;
constexpr uint8_t kPowerCode = 65;
constexpr uint8_t kDisplayModeCode = 71;
constexpr uint8_t kRepeatCode = 126;
constexpr uint8_t kFirstTemperature = 128;  // temperature byte - kTemperatureOffset = °C
constexpr uint8_t kLastTemperature = 250;
constexpr int kTemperatureOffset = 150;
constexpr uint8_t kSelectRear = 0xFB;
constexpr uint8_t kSelectFront = 0xFC;

// One frame, written to the line in one write.
using Frame = std::vector<uint8_t>;

Frame HelloFrame();          // AA AA
Frame AttachConfirmFrame();  // AD AD
Frame DetachFrame();         // A5 A5
Frame DetachFansFrame();     // A3 30 A4 30: both fans to the detach value
Frame TickFrame();           // A2
// A3 vv for fan 0 (rear), A4 vv for fan 1 (front).
Frame FanFrame(int fan, uint8_t value);

// Nearest integer, halves to the even neighbour, whatever the FPU rounding mode.
double RoundHalfEven(double x);
// The value byte of a fan command for a duty in percent: 0..kFanMax, halves to even.
uint8_t FanValueForDuty(double percent);
// The duty in whole percent that a fan value stands for, halves to even (kFanMax is 100).
int FanPercentForValue(uint8_t value);

// True for the codes of 1..125 (keys, power and display mode).
constexpr bool IsKeyCode(uint8_t b) {
  return b >= kFirstKeyCode && b <= kLastKeyCode;
}
// The case temperature in °C that a temperature byte reports, or nothing for another byte.
constexpr std::optional<int> TemperatureForByte(uint8_t b) {
  if (b < kFirstTemperature || b > kLastTemperature) return std::nullopt;
  return static_cast<int>(b) - kTemperatureOffset;
}

// The remote's key codes: the name for a code of 1..125, or nothing when the code has no key
// name (the power and display-mode codes have actions instead of names).
std::optional<std::string_view> KeyNameForCode(uint8_t code);
// The code of a key name, for tools that play the controller's part.
std::optional<uint8_t> CodeForKeyName(std::string_view name);

}  // namespace trellon::vx710
