#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "base/clock.h"
#include "base/shell_services.h"

namespace trellon {

// The font the overlay is drawn in: a copy of the main window's font, taken at window creation.
struct OverlayFont {
  std::string family = "Arial";
  int pixelHeight = 36;
};

// The short on-screen message ("Power Off", "Starting MediaPortal") shown on the Status strip
// and over every mirrored frame until its time is up.
//
// ShowOverlayMessage and ExpireOverlayMessage run on the main thread; the text is also read by
// the display mirror thread while drawing, so it sits behind a small mutex and readers take a
// copy.
class OverlayMessage final : public OverlaySink {
 public:
  explicit OverlayMessage(Clock& clock);

  // Main thread, once at window creation.
  void SetOverlayFont(OverlayFont font);
  // Called after the text changed, to repaint the Status strip (main thread).
  void SetRepaint(std::function<void()> repaint) { repaint_ = std::move(repaint); }

  // Shows text for the given seconds, replacing any message and its expiry.
  void ShowOverlayMessage(const std::string& text, int32_t seconds) override;
  // Clears the message once the clock is past its expiry; true when it was cleared.
  bool ExpireOverlayMessage();

  struct Snapshot {
    std::string text;
    OverlayFont font;
  };
  // Any thread: the text and font for one drawing.
  Snapshot Take() const;
  std::string OverlayMessageText() const;
  double OverlayExpiry() const;

 private:
  Clock& clock_;
  std::function<void()> repaint_;
  mutable std::mutex mutex_;
  std::string text_;
  double expiry_ = 0;  // local date-time in days; 0: no expiry pending
  OverlayFont font_;
};

}  // namespace trellon
