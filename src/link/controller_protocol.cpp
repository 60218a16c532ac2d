#include "link/controller_protocol.h"

#include <array>
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

}  // namespace trellon::vx710
