#include "app/overlay_message.h"

namespace trellon {

OverlayMessage::OverlayMessage(Clock& clock) : clock_(clock) {}

void OverlayMessage::SetOverlayFont(OverlayFont font) {
  std::lock_guard lock(mutex_);
  font_ = std::move(font);
}

void OverlayMessage::ShowOverlayMessage(const std::string& text, int32_t seconds) {
  {
    std::lock_guard lock(mutex_);
    expiry_ = clock_.Now() + seconds / kSecondsPerDay;
    text_ = text;
  }
  if (repaint_) repaint_();
}

bool OverlayMessage::ExpireOverlayMessage() {
  {
    std::lock_guard lock(mutex_);
    if (expiry_ == 0 || !(clock_.Now() > expiry_)) return false;
    text_.clear();
    expiry_ = 0;
  }
  if (repaint_) repaint_();
  return true;
}

OverlayMessage::Snapshot OverlayMessage::Take() const {
  std::lock_guard lock(mutex_);
  return Snapshot{text_, font_};
}

std::string OverlayMessage::OverlayMessageText() const {
  std::lock_guard lock(mutex_);
  return text_;
}

double OverlayMessage::OverlayExpiry() const {
  std::lock_guard lock(mutex_);
  return expiry_;
}

}  // namespace trellon
