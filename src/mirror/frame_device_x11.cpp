// The mirror thread's connection to the X server: MIT-SHM capture of the root window (plain image
// reads without it), XFixes pointer, X Render stretches, drawing into the program's window or onto
// the root window over the windows on it.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/Xrender.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <atomic>
#include <cstring>

#include "mirror/platform_display.h"
#include "mirror/x11_errors_x11.h"
#include "mirror/x11_monitors_x11.h"

namespace trellon {
namespace {

struct Extensions {
  bool shm = false;
  bool fixes = false;
  bool render = false;
};

Extensions QueryExtensions(Display* display) {
  Extensions found;
  found.shm = XShmQueryExtension(display) == True;
  int event = 0;
  int error = 0;
  found.fixes = XFixesQueryExtension(display, &event, &error) == True;
  found.render = XRenderQueryExtension(display, &event, &error) == True;
  return found;
}

// One surface: an image whose pixels live in a shared-memory segment (or in our heap when the
// server has no MIT-SHM or cannot attach the segment).
struct X11Surface {
  XImage* image = nullptr;
  XShmSegmentInfo segment{};
  bool shared = false;
};

class X11FrameDevice final : public FrameDevice {
 public:
  X11FrameDevice(Display* display, Extensions extensions)
      : display_(display), extensions_(extensions) {
    screen_ = DefaultScreen(display_);
    root_ = RootWindow(display_, screen_);
    visual_ = DefaultVisual(display_, screen_);
    depth_ = DefaultDepth(display_, screen_);
    QuietenDisplay(display_);
    // Without this, a server that goes away ends the whole program.
    XSetIOErrorExitHandler(
        display_, [](Display*, void* self) { static_cast<X11FrameDevice*>(self)->dead_ = true; },
        this);
    XGCValues values{};
    values.subwindow_mode = IncludeInferiors;
    values.graphics_exposures = False;
    screenGc_ = XCreateGC(display_, root_, GCSubwindowMode | GCGraphicsExposures, &values);
    values.subwindow_mode = ClipByChildren;
    windowGc_ = XCreateGC(display_, root_, GCSubwindowMode | GCGraphicsExposures, &values);
    if (extensions_.render) {
      rootFormat_ = XRenderFindVisualFormat(display_, visual_);
      argbFormat_ = XRenderFindStandardFormat(display_, PictStandardARGB32);
      XRenderPictureAttributes attributes{};
      attributes.subwindow_mode = IncludeInferiors;
      if (rootFormat_) {
        rootSource_ =
            XRenderCreatePicture(display_, root_, rootFormat_, CPSubwindowMode, &attributes);
        rootTarget_ =
            XRenderCreatePicture(display_, root_, rootFormat_, CPSubwindowMode, &attributes);
      }
    }
  }

  ~X11FrameDevice() override {
    if (!dead_) {
      FreeSurface(SurfaceSlot::Source);
      FreeSurface(SurfaceSlot::Target);
      FreeWindowPicture();
      if (rootSource_) XRenderFreePicture(display_, rootSource_);
      if (rootTarget_) XRenderFreePicture(display_, rootTarget_);
    } else {
      // The server is gone: only our side of the segments is left to free.
      for (X11Surface& surface : surfaces_) DropSurfaceMemory(surface);
    }
    // A graphics context is also memory on our side; on a connection that died, Xlib sends
    // nothing and only frees that.
    XFreeGC(display_, screenGc_);
    XFreeGC(display_, windowGc_);
    if (argbGc_) XFreeGC(display_, argbGc_);
    ForgetDisplay(display_);
    XCloseDisplay(display_);
  }

  bool Alive() const override { return !dead_; }

  std::vector<MonitorRect> Monitors() override {
    if (dead_) return {};
    return ListMonitors(display_);
  }

  bool TakeCursorSnapshot(CursorImage& cursor) override {
    if (dead_ || !extensions_.fixes) return false;
    XFixesCursorImage* image = XFixesGetCursorImage(display_);
    if (!image) return false;
    cursor.x = image->x;
    cursor.y = image->y;
    cursor.hotX = image->xhot;
    cursor.hotY = image->yhot;
    cursor.picture.width = image->width;
    cursor.picture.height = image->height;
    const size_t count = static_cast<size_t>(image->width) * image->height;
    cursor.picture.pixels.resize(count);
    // Xlib hands the 32-bit pixels over in longs.
    for (size_t i = 0; i < count; ++i) {
      cursor.picture.pixels[i] = static_cast<uint32_t>(image->pixels[i]);
    }
    XFree(image);
    return count > 0;
  }

  uint32_t* AllocateSurface(SurfaceSlot slot, int32_t width, int32_t height) override {
    FreeSurface(slot);
    if (dead_ || width <= 0 || height <= 0) return nullptr;
    X11Surface& surface = surfaces_[static_cast<int>(slot)];
    if (extensions_.shm && MakeSharedImage(surface, width, height)) {
      return reinterpret_cast<uint32_t*>(surface.image->data);
    }
    const size_t bytes = static_cast<size_t>(width) * height * 4;
    char* data = static_cast<char*>(std::calloc(bytes, 1));
    if (!data) return nullptr;
    surface.image =
        XCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, 0, data,
                     static_cast<unsigned>(width), static_cast<unsigned>(height), 32, width * 4);
    if (!surface.image) {
      std::free(data);
      return nullptr;
    }
    return reinterpret_cast<uint32_t*>(data);
  }

  void FreeSurface(SurfaceSlot slot) override {
    X11Surface& surface = surfaces_[static_cast<int>(slot)];
    if (!surface.image) return;
    if (surface.shared && !dead_) {
      XShmDetach(display_, &surface.segment);
      XSync(display_, False);
    }
    DropSurfaceMemory(surface);
  }

  void CaptureScreen(SurfaceSlot slot, const MonitorRect& area) override {
    X11Surface& surface = surfaces_[static_cast<int>(slot)];
    if (dead_ || !surface.image) return;
    if (surface.shared) {
      XShmGetImage(display_, root_, surface.image, area.left, area.top, AllPlanes);
    } else {
      XGetSubImage(display_, root_, area.left, area.top, static_cast<unsigned>(area.width),
                   static_cast<unsigned>(area.height), AllPlanes, ZPixmap, surface.image, 0, 0);
    }
  }

  void PutSurface(SurfaceSlot slot, const FrameTarget& target, int32_t x, int32_t y, int32_t width,
                  int32_t height) override {
    X11Surface& surface = surfaces_[static_cast<int>(slot)];
    if (dead_ || !surface.image) return;
    const Drawable drawable = TargetDrawable(target);
    if (!drawable) return;
    GC gc = target.kind == FrameTarget::Kind::Screen ? screenGc_ : windowGc_;
    if (surface.shared) {
      XShmPutImage(display_, drawable, gc, surface.image, 0, 0, x, y, static_cast<unsigned>(width),
                   static_cast<unsigned>(height), False);
    } else {
      XPutImage(display_, drawable, gc, surface.image, 0, 0, x, y, static_cast<unsigned>(width),
                static_cast<unsigned>(height));
    }
    // The next frame writes into the same memory: the server must be done with it.
    XSync(display_, False);
  }

  void StretchScreen(const MonitorRect& area, const FrameTarget& target, int32_t x, int32_t y,
                     int32_t width, int32_t height, bool smooth) override {
    if (dead_ || !rootSource_ || width <= 0 || height <= 0) return;
    const Picture destination = TargetPicture(target);
    if (!destination) return;
    // Destination pixel (i, j) samples the root at (left + i × W / w, top + j × H / h).
    XTransform transform{};
    transform.matrix[0][0] = XDoubleToFixed(static_cast<double>(area.width) / width);
    transform.matrix[0][2] = XDoubleToFixed(area.left);
    transform.matrix[1][1] = XDoubleToFixed(static_cast<double>(area.height) / height);
    transform.matrix[1][2] = XDoubleToFixed(area.top);
    transform.matrix[2][2] = XDoubleToFixed(1);
    XRenderSetPictureTransform(display_, rootSource_, &transform);
    XRenderSetPictureFilter(display_, rootSource_, smooth ? FilterGood : FilterNearest, nullptr, 0);
    XRenderComposite(display_, PictOpSrc, rootSource_, None, destination, 0, 0, 0, 0, x, y,
                     static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSync(display_, False);
  }

  void BlendImage(const FrameTarget& target, int32_t x, int32_t y,
                  const ArgbImage& image) override {
    if (dead_ || !argbFormat_ || image.width <= 0 || image.height <= 0) return;
    const Picture destination = TargetPicture(target);
    if (!destination) return;
    const Pixmap pixmap = XCreatePixmap(display_, root_, static_cast<unsigned>(image.width),
                                        static_cast<unsigned>(image.height), 32);
    if (!argbGc_) argbGc_ = XCreateGC(display_, pixmap, 0, nullptr);
    XImage* upload =
        XCreateImage(display_, DefaultVisual(display_, screen_), 32, ZPixmap, 0,
                     reinterpret_cast<char*>(const_cast<uint32_t*>(image.pixels.data())),
                     static_cast<unsigned>(image.width), static_cast<unsigned>(image.height), 32,
                     image.width * 4);
    if (upload) {
      XPutImage(display_, pixmap, argbGc_, upload, 0, 0, 0, 0, static_cast<unsigned>(image.width),
                static_cast<unsigned>(image.height));
      upload->data = nullptr;  // the pixels are the caller's
      XDestroyImage(upload);
      const Picture picture = XRenderCreatePicture(display_, pixmap, argbFormat_, 0, nullptr);
      XRenderComposite(display_, PictOpOver, picture, None, destination, 0, 0, 0, 0, x, y,
                       static_cast<unsigned>(image.width), static_cast<unsigned>(image.height));
      XRenderFreePicture(display_, picture);
    }
    XFreePixmap(display_, pixmap);
    XSync(display_, False);
  }

  void RepaintScreenArea(const MonitorRect& area) override {
    if (dead_ || area.width <= 0 || area.height <= 0) return;
    // A window mapped over the area and destroyed again makes everything under it repaint.
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixmap = None;
    const Window cover =
        XCreateWindow(display_, root_, area.left, area.top, static_cast<unsigned>(area.width),
                      static_cast<unsigned>(area.height), 0, CopyFromParent, InputOutput,
                      CopyFromParent, CWOverrideRedirect | CWBackPixmap, &attributes);
    XMapWindow(display_, cover);
    XDestroyWindow(display_, cover);
    XSync(display_, False);
  }

 private:
  bool MakeSharedImage(X11Surface& surface, int32_t width, int32_t height) {
    XImage* image = XShmCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap,
                                    nullptr, &surface.segment, static_cast<unsigned>(width),
                                    static_cast<unsigned>(height));
    if (!image) return false;
    if (image->bits_per_pixel != 32 || image->bytes_per_line != width * 4) {
      XDestroyImage(image);
      return false;
    }
    const size_t bytes = static_cast<size_t>(image->bytes_per_line) * height;
    surface.segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (surface.segment.shmid < 0) {
      XDestroyImage(image);
      return false;
    }
    void* memory = shmat(surface.segment.shmid, nullptr, 0);
    if (memory == reinterpret_cast<void*>(-1)) {
      shmctl(surface.segment.shmid, IPC_RMID, nullptr);
      XDestroyImage(image);
      return false;
    }
    surface.segment.shmaddr = image->data = static_cast<char*>(memory);
    surface.segment.readOnly = False;
    const unsigned long errorsBefore = QuietErrorCount(display_);
    XShmAttach(display_, &surface.segment);
    XSync(display_, False);
    // Both sides are attached (or the server failed): the segment goes with its last user, so a
    // killed program leaves none behind.
    shmctl(surface.segment.shmid, IPC_RMID, nullptr);
    if (dead_ || QuietErrorCount(display_) != errorsBefore) {
      shmdt(memory);
      image->data = nullptr;
      XDestroyImage(image);
      return false;
    }
    surface.image = image;
    surface.shared = true;
    return true;
  }

  static void DropSurfaceMemory(X11Surface& surface) {
    if (!surface.image) return;
    if (surface.shared) {
      shmdt(surface.segment.shmaddr);
      surface.image->data = nullptr;
    }
    // A heap image's pixels go with it.
    XDestroyImage(surface.image);
    surface = X11Surface{};
  }

  Drawable TargetDrawable(const FrameTarget& target) const {
    return target.kind == FrameTarget::Kind::Screen ? root_ : static_cast<Window>(target.window);
  }

  Picture TargetPicture(const FrameTarget& target) {
    if (target.kind == FrameTarget::Kind::Screen) return rootTarget_;
    if (!extensions_.render || !target.window) return None;
    if (windowPicture_ && pictureWindow_ == target.window) return windowPicture_;
    FreeWindowPicture();
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, static_cast<Window>(target.window), &attributes)) {
      return None;
    }
    const XRenderPictFormat* format = XRenderFindVisualFormat(display_, attributes.visual);
    if (!format) return None;
    windowPicture_ =
        XRenderCreatePicture(display_, static_cast<Window>(target.window), format, 0, nullptr);
    pictureWindow_ = target.window;
    return windowPicture_;
  }

  void FreeWindowPicture() {
    if (windowPicture_) XRenderFreePicture(display_, windowPicture_);
    windowPicture_ = None;
    pictureWindow_ = 0;
  }

  Display* display_;
  Extensions extensions_;
  std::atomic<bool> dead_{false};
  int screen_ = 0;
  Window root_ = None;
  Visual* visual_ = nullptr;
  int depth_ = 24;
  GC screenGc_ = nullptr;
  GC windowGc_ = nullptr;
  GC argbGc_ = nullptr;
  XRenderPictFormat* rootFormat_ = nullptr;
  XRenderPictFormat* argbFormat_ = nullptr;
  Picture rootSource_ = None;
  Picture rootTarget_ = None;
  Picture windowPicture_ = None;
  uint64_t pictureWindow_ = 0;
  X11Surface surfaces_[2];
};

// Only a 24-bit true-colour screen with the usual masks holds the surfaces' pixel format.
bool HasSurfaceFormat(Display* display) {
  const Visual* visual = DefaultVisual(display, DefaultScreen(display));
  return DefaultDepth(display, DefaultScreen(display)) >= 24 && visual->red_mask == 0xFF0000 &&
         visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
}

class X11FrameDeviceFactory final : public FrameDeviceFactory {
 public:
  std::unique_ptr<FrameDevice> Open() override {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    if (!HasSurfaceFormat(display)) {
      XCloseDisplay(display);
      return nullptr;
    }
    return std::make_unique<X11FrameDevice>(display, QueryExtensions(display));
  }
};

}  // namespace

std::unique_ptr<FrameDeviceFactory> CreateFrameDeviceFactory() {
  InstallQuietErrorHandler();
  return std::make_unique<X11FrameDeviceFactory>();
}

std::vector<std::string> CheckMirrorDisplay() {
  std::vector<std::string> notes;
  Display* display = XOpenDisplay(nullptr);
  if (!display) return notes;
  const Extensions extensions = QueryExtensions(display);
  if (!HasSurfaceFormat(display)) {
    notes.push_back("Display mirror: the screen is not a 24-bit true-colour screen");
  } else if (!extensions.shm) {
    notes.push_back(
        "Display mirror: no MIT-SHM on this display, frames are read with plain "
        "image requests");
  }
  if (!extensions.render) {
    notes.push_back("Display mirror: no X Render on this display, unbuffered copies draw nothing");
  }
  XCloseDisplay(display);
  return notes;
}

}  // namespace trellon
