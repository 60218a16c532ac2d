#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace trellon {

// One monitor of the desktop in virtual-screen device pixels.
struct MonitorRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const MonitorRect&) const = default;
};

// The main window's client area as the mirror thread reads it: written by the main thread on
// every resize and move, read once per frame. `window` is the native window id (it changes when
// the border is switched, which re-creates the native window).
struct ClientArea {
  std::atomic<int32_t> width{0};
  std::atomic<int32_t> height{0};
  std::atomic<int32_t> screenLeft{0};
  std::atomic<int32_t> screenTop{0};
  std::atomic<uint64_t> window{0};
};

// A picture in 32-bit premultiplied ARGB, rows top-down (the overlay strip of the unbuffered
// paths, the pointer).
struct ArgbImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;
};

// The pointer as one frame draws it: screen position, hot spot and picture.
struct CursorImage {
  int32_t x = 0;
  int32_t y = 0;
  uint32_t hotX = 0;
  uint32_t hotY = 0;
  ArgbImage picture;
};

// The window canvas lock: held by the mirror around every use of the program's window and by
// the window's own painting of the bare Display page. Knows whether it is held, for tests.
class CanvasLock {
 public:
  void lock() {
    mutex_.lock();
    held_ = true;
  }
  void unlock() {
    held_ = false;
    mutex_.unlock();
  }
  bool Held() const { return held_.load(); }

 private:
  std::mutex mutex_;
  std::atomic<bool> held_{false};
};

}  // namespace trellon
