#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/settings_store.h"

namespace trellon::fakes {

// A window for the settings store: holds the placement and records what was applied, in order.
class FakeSettingsWindow : public SettingsWindow {
 public:
  WindowPlacement Placement() const override { return placement; }
  void ApplyBounds(int32_t left, int32_t top, int32_t width, int32_t height) override {
    placement.left = left;
    placement.top = top;
    placement.width = width;
    placement.height = height;
    calls.push_back("bounds " + std::to_string(left) + " " + std::to_string(top) + " " +
                    std::to_string(width) + " " + std::to_string(height));
  }
  void ApplyWindowState(int32_t windowState) override {
    placement.windowState = windowState;
    calls.push_back("state " + std::to_string(windowState));
  }
  void PostStartMinimized() override { calls.push_back("post start minimized"); }
  void ApplyBorderStyle(int32_t borderStyle) override {
    placement.borderStyle = borderStyle;
    calls.push_back("border " + std::to_string(borderStyle));
  }
  void ShowSpeedFanName(size_t sensor, const std::string& name) override {
    speedFanNames.at(sensor) = name;
  }

  WindowPlacement placement;
  std::vector<std::string> calls;
  std::array<std::string, 4> speedFanNames;
};

}  // namespace trellon::fakes
