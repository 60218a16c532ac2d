#include "link/comm_support_linux.h"

#include <asm/ioctls.h>
#include <sys/ioctl.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <utility>

namespace trellon {
namespace {

constexpr std::array<std::pair<uint32_t, unsigned>, 30> kStandardRates = {{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
}};

// The n of "COMn", or 0 when the name is not of that form.
unsigned ComNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 12) return 0;
  for (size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
  }
  unsigned number = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
    number = number * 10 + static_cast<unsigned>(name[i] - '0');
    if (number > 1000000) return 0;
  }
  return number;
}

}  // namespace

uint32_t WinErrorFromErrno(int error) {
  switch (error) {
    case 0:
      return winerr::kSuccess;
    case ENOENT:
      return winerr::kFileNotFound;
    case ENOTDIR:
      return winerr::kPathNotFound;
    case EMFILE:
    case ENFILE:
      return winerr::kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return winerr::kAccessDenied;
    case EBADF:
      return winerr::kInvalidHandle;
    case ENOMEM:
      return winerr::kNotEnoughMemory;
    case EBUSY:
    case EWOULDBLOCK:  // the device is locked by another process
      return winerr::kSharingViolation;
    case ENOTTY:
    case ENOSYS:
    case EOPNOTSUPP:
      return winerr::kInvalidFunction;
    case EINVAL:
      return winerr::kInvalidParameter;
    case ENXIO:
    case ENODEV:
      return winerr::kDeviceNotConnected;
    case ETIMEDOUT:
      return winerr::kTimeout;
    case EINTR:
      return winerr::kOperationAborted;
    case ENAMETOOLONG:
    case ELOOP:
      return winerr::kFilenameTooLong;
    case EIO:
    default:
      return winerr::kGenFailure;
  }
}

std::string DevicePathForPort(const std::string& portName) {
  std::string name = portName;
  // The Windows device namespace prefix names the same port.
  if (name.rfind("\\\\.\\", 0) == 0) name = name.substr(4);
  const unsigned number = ComNumber(name);
  if (number == 0) return portName;
  const std::string variable = "TRELLON_COM" + std::to_string(number);
  if (const char* path = std::getenv(variable.c_str()); path && *path) return path;
  return "/dev/ttyS" + std::to_string(number - 1);
}

uint32_t DcbToTermios(const CommDcb& dcb, struct termios2& tio) {
  const uint32_t flags = dcb.Flags;
  if ((flags & CommDcb::kOutxDsrFlow) || (flags & CommDcb::kDsrSensitivity) ||
      (flags & CommDcb::kDtrControlMask) == CommDcb::kDtrControlHandshake ||
      (flags & CommDcb::kRtsControlMask) == CommDcb::kRtsControlToggle ||
      ((flags & CommDcb::kErrorChar) && (flags & CommDcb::kParity) && dcb.ErrorChar != 0)) {
    return winerr::kNotSupported;
  }
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 4 ||
      dcb.StopBits > 2) {
    return winerr::kInvalidParameter;
  }
  // One and a half stop bits go only with five data bits, two stop bits never with five.
  if ((dcb.StopBits == 1 && dcb.ByteSize != 5) || (dcb.StopBits == 2 && dcb.ByteSize == 5)) {
    return winerr::kInvalidParameter;
  }
  if ((flags & (CommDcb::kOutX | CommDcb::kInX)) && dcb.XonChar == dcb.XoffChar) {
    return winerr::kInvalidParameter;
  }

  tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                   IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
  tio.c_oflag &= ~OPOST;
  tio.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | CIBAUD);
  tio.c_cflag |= CREAD | CLOCAL;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;

  unsigned speed = BOTHER;
  for (const auto& [rate, code] : kStandardRates) {
    if (rate == dcb.BaudRate) speed = code;
  }
  tio.c_cflag |= speed;
  tio.c_ispeed = dcb.BaudRate;
  tio.c_ospeed = dcb.BaudRate;

  static constexpr unsigned kSizes[] = {CS5, CS6, CS7, CS8};
  tio.c_cflag |= kSizes[dcb.ByteSize - 5];
  switch (dcb.Parity) {
    case 1:
      tio.c_cflag |= PARENB | PARODD;
      break;
    case 2:
      tio.c_cflag |= PARENB;
      break;
    case 3:
      tio.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case 4:
      tio.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  if (dcb.StopBits != 0) tio.c_cflag |= CSTOPB;

  // Without checking, bytes with a parity error pass unchanged (the driver still counts the
  // error); with replacement the kernel hands them on as 0.
  if ((flags & CommDcb::kParity) && (flags & CommDcb::kErrorChar)) tio.c_iflag |= INPCK;

  // The kernel couples CTS output flow and RTS input flow in one switch.
  if ((flags & CommDcb::kOutxCtsFlow) ||
      (flags & CommDcb::kRtsControlMask) == CommDcb::kRtsControlHandshake) {
    tio.c_cflag |= CRTSCTS;
  }
  if (flags & CommDcb::kOutX) tio.c_iflag |= IXON;
  if (flags & CommDcb::kInX) tio.c_iflag |= IXOFF;
  tio.c_cc[VSTART] = dcb.XonChar;
  tio.c_cc[VSTOP] = dcb.XoffChar;
  return winerr::kSuccess;
}

void DcbOutputLines(const CommDcb& dcb, int& raise, int& drop) {
  raise = 0;
  drop = 0;
  switch (dcb.Flags & CommDcb::kDtrControlMask) {
    case 0:
      drop |= TIOCM_DTR;
      break;
    case CommDcb::kDtrControlEnable:
      raise |= TIOCM_DTR;
      break;
    default:
      break;
  }
  switch (dcb.Flags & CommDcb::kRtsControlMask) {
    case 0:
      drop |= TIOCM_RTS;
      break;
    case CommDcb::kRtsControlEnable:
      raise |= TIOCM_RTS;
      break;
    default:
      break;
  }
}

}  // namespace trellon
