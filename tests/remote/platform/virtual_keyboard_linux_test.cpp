#include <fcntl.h>
#include <gtest/gtest.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "remote/input_key_table.h"
#include "remote/virtual_keyboard.h"
#include "support/wait.h"

namespace trellon {
namespace {

TEST(VirtualKeyboardLinux, EveryBuiltInEntryNamesALinuxKey) {
  const InputKeyTable table;
  std::vector<std::string> unknown;
  const auto codes = ResolveInputKeys(table, InputKeyCodeForName, unknown);
  EXPECT_TRUE(unknown.empty()) << unknown.front();
  EXPECT_EQ(codes.at("ok"), KEY_ENTER);
  EXPECT_EQ(codes.at("vol-"), KEY_VOLUMEDOWN);
  EXPECT_EQ(codes.at("play"), KEY_PLAYCD);
  EXPECT_FALSE(InputKeyCodeForName("KEY_NOSUCH"));
  EXPECT_FALSE(InputKeyCodeForName("BTN"));
}

// The device a reader finds, opened with libevdev as media centres and desktops open it.
class DeviceReader {
 public:
  ~DeviceReader() {
    if (device_) libevdev_free(device_);
    if (fd_ >= 0) ::close(fd_);
  }
  bool Open(const std::string& name) {
    for (const auto& entry : std::filesystem::directory_iterator("/dev/input")) {
      if (entry.path().filename().string().rfind("event", 0) != 0) continue;
      const int fd = ::open(entry.path().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) continue;
      libevdev* device = nullptr;
      if (libevdev_new_from_fd(fd, &device) == 0 && name == libevdev_get_name(device)) {
        fd_ = fd;
        device_ = device;
        return true;
      }
      if (device) libevdev_free(device);
      ::close(fd);
    }
    return false;
  }
  libevdev* device() const { return device_; }
  // The key and report events that came, in order.
  std::vector<InputEvent> Events() const {
    std::vector<InputEvent> events;
    input_event event{};
    while (libevdev_next_event(device_, LIBEVDEV_READ_FLAG_NORMAL, &event) ==
           LIBEVDEV_READ_STATUS_SUCCESS) {
      if (event.type == EV_KEY || event.type == EV_SYN) {
        events.push_back({event.type, event.code, event.value});
      }
    }
    return events;
  }

 private:
  int fd_ = -1;
  libevdev* device_ = nullptr;
};

TEST(VirtualKeyboardLinux, AReaderOfTheDeviceGetsOneKeystrokePerForwardedKey) {
  if (VirtualKeyboardAllowed() != VirtualKeyboardAccess::kAllowed) {
    GTEST_SKIP() << "/dev/uinput is missing or not writable here, so no virtual keyboard can be "
                    "made; run as a user who may write it (udev rule or the input group)";
  }
  VirtualKeyboardProblem problem;
  auto keyboard = CreateVirtualKeyboard({KEY_ENTER, KEY_UP}, problem);
  ASSERT_TRUE(keyboard) << problem.text;
  DeviceReader reader;
  ASSERT_TRUE(test_support::WaitFor([&] { return reader.Open(kVirtualKeyboardName); }))
      << "no /dev/input/event* is named " << kVirtualKeyboardName;
  EXPECT_TRUE(libevdev_has_event_code(reader.device(), EV_KEY, KEY_ENTER));
  EXPECT_TRUE(libevdev_has_event_code(reader.device(), EV_KEY, KEY_UP));
  EXPECT_FALSE(libevdev_has_event_type(reader.device(), EV_REP)) << "the device repeats itself";

  InputKeyOutput output({{"ok", KEY_ENTER}, {"up", KEY_UP}}, *keyboard);
  output.KeyForwarded({"ok", false});
  output.KeyForwarded({"up", true});
  std::vector<InputEvent> events;
  const std::vector<InputEvent> expected{{EV_KEY, KEY_ENTER, 1}, {EV_SYN, SYN_REPORT, 0},
                                         {EV_KEY, KEY_ENTER, 0}, {EV_SYN, SYN_REPORT, 0},
                                         {EV_KEY, KEY_UP, 1},    {EV_SYN, SYN_REPORT, 0},
                                         {EV_KEY, KEY_UP, 0},    {EV_SYN, SYN_REPORT, 0}};
  test_support::WaitFor([&] {
    const std::vector<InputEvent> more = reader.Events();
    events.insert(events.end(), more.begin(), more.end());
    return events.size() >= expected.size();
  });
  EXPECT_EQ(events, expected);
}

}  // namespace
}  // namespace trellon
