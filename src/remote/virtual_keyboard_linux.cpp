#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "remote/virtual_keyboard.h"

namespace trellon {
namespace {

constexpr const char* kUinputNode = "/dev/uinput";

// The uinput device and the libevdev description it was made from.
class UinputKeyboard final : public VirtualKeyboard {
 public:
  UinputKeyboard(int fd, libevdev* description, libevdev_uinput* device)
      : fd_(fd), description_(description), device_(device) {}
  ~UinputKeyboard() override {
    // The device goes before the descriptor it was made on, which libevdev leaves to us.
    libevdev_uinput_destroy(device_);
    libevdev_free(description_);
    ::close(fd_);
  }
  UinputKeyboard(const UinputKeyboard&) = delete;
  UinputKeyboard& operator=(const UinputKeyboard&) = delete;

  bool Write(const std::vector<InputEvent>& events) override {
    for (const InputEvent& event : events) {
      if (libevdev_uinput_write_event(device_, static_cast<unsigned>(event.type),
                                      static_cast<unsigned>(event.code), event.value) != 0) {
        return false;
      }
    }
    return true;
  }

 private:
  int fd_;
  libevdev* description_;
  libevdev_uinput* device_;
};

}  // namespace

VirtualKeyboardAccess VirtualKeyboardAllowed() {
  if (::access(kUinputNode, W_OK) == 0) return VirtualKeyboardAccess::kAllowed;
  return errno == ENOENT ? VirtualKeyboardAccess::kNoDevice : VirtualKeyboardAccess::kNoPermission;
}

std::optional<int> InputKeyCodeForName(std::string_view name) {
  const int code = libevdev_event_code_from_name_n(EV_KEY, name.data(), name.size());
  if (code < 0) return std::nullopt;
  return code;
}

std::unique_ptr<VirtualKeyboard> CreateVirtualKeyboard(const std::vector<int>& codes,
                                                       VirtualKeyboardProblem& problem) {
  const int fd = ::open(kUinputNode, O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    problem.permission = error == EACCES || error == EPERM;
    problem.text = std::string("cannot open ") + kUinputNode + ": " + std::strerror(error);
    return nullptr;
  }
  libevdev* description = libevdev_new();
  libevdev_set_name(description, kVirtualKeyboardName);
  libevdev_set_id_bustype(description, BUS_VIRTUAL);
  libevdev_enable_event_type(description, EV_KEY);
  for (const int code : codes) {
    libevdev_enable_event_code(description, EV_KEY, static_cast<unsigned>(code), nullptr);
  }
  // No EV_REP: the device never repeats a key by itself.
  libevdev_uinput* device = nullptr;
  const int result = libevdev_uinput_create_from_device(description, fd, &device);
  if (result != 0) {
    ::close(fd);
    libevdev_free(description);
    problem.permission = result == -EACCES || result == -EPERM;
    problem.text = std::string("cannot make the virtual keyboard: ") + std::strerror(-result);
    return nullptr;
  }
  return std::make_unique<UinputKeyboard>(fd, description, device);
}

}  // namespace trellon
