#include "protocol/controller_protocol.h"

#include <array>
#include <cmath>
#include <utility>

namespace trellon::vx710 {
namespace {

constexpr std::array<std::pair<uint8_t, std::string_view>, 41> kKeyTable = {{
    {1, "stop"},    {3, "8"},      {5, "pause"},     {7, "9"},     {9, "play"},   {10, "vol+"},
    {11, "back"},   {13, "rew"},   {14, "vol-"},     {15, "epg"},  {17, "rec"},   {18, "ch+"},
    {19, "livetv"}, {20, "dvd"},   {21, "fwd"},      {22, "ch-"},  {23, "task"},  {25, "up"},
    {26, "prev"},   {27, "run"},   {29, "down"},     {30, "next"}, {31, "exit"},  {64, "video"},
    {66, "ok"},     {67, "right"}, {69, "pictures"}, {70, "tv"},   {74, "mute"},  {75, "detail"},
    {76, "0"},      {77, "1"},     {78, "2"},        {79, "3"},    {80, "4"},     {81, "5"},
    {82, "6"},      {83, "7"},     {84, "left"},     {85, "home"}, {86, "music"},
}};

}  // namespace

std::optional<std::string_view> KeyNameForCode(uint8_t code) {
  for (const auto& [keyCode, name] : kKeyTable) {
    if (keyCode == code) return name;
  }
  return std::nullopt;
}

std::optional<uint8_t> CodeForKeyName(std::string_view name) {
  for (const auto& [keyCode, keyName] : kKeyTable) {
    if (keyName == name) return keyCode;
  }
  return std::nullopt;
}

Frame HelloFrame() {
  return {kHello, kHello};
}
Frame AttachConfirmFrame() {
  return {kAttachConfirm, kAttachConfirm};
}
Frame DetachFrame() {
  return {kDetach, kDetach};
}
Frame DetachFansFrame() {
  return {kFanRear, kDetachFanValue, kFanFront, kDetachFanValue};
}
Frame TickFrame() {
  return {kTick};
}

Frame FanFrame(int fan, uint8_t value) {
  return {fan == 0 ? kFanRear : kFanFront, value};
}

double RoundHalfEven(double x) {
  const double lower = std::floor(x);
  const double fraction = x - lower;
  if (fraction < 0.5) return lower;
  if (fraction > 0.5) return lower + 1.0;
  return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

uint8_t FanValueForDuty(double percent) {
  const double value = RoundHalfEven(percent / 100.0 * kFanMax);
  if (!(value > 0.0)) return 0;
  if (value > kFanMax) return kFanMax;
  return static_cast<uint8_t>(value);
}

int FanPercentForValue(uint8_t value) {
  return static_cast<int>(RoundHalfEven(value / static_cast<double>(kFanMax) * 100.0));
}

}  // namespace trellon::vx710
