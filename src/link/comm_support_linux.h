#pragma once

// Pieces of the Linux serial device that need no open device: error numbers, port names and
// the translation of the device control block into the kernel's terminal settings.

#include <asm/termbits.h>

#include <cstdint>
#include <string>

#include "link/comm_device.h"

namespace trellon {

// The Windows error number for an errno value.
uint32_t WinErrorFromErrno(int error);

// "COMn" (any case, n >= 1) opens $TRELLON_COMn when that is set and not empty, else
// /dev/ttyS(n-1); any other name is a path.
std::string DevicePathForPort(const std::string& portName);

// Puts the DCB's line settings into tio (raw mode, reads that never block in the kernel).
// Returns 0, kInvalidParameter for values the line cannot take, or kNotSupported for settings
// this platform has no equivalent for (DSR output flow, DTR handshake, RTS toggle, DSR
// sensitivity, a parity replacement character other than 0). Discarding null bytes is left to
// the reader; XonLim, XoffLim, TxContinueOnXoff, EofChar and EvtChar have no effect here.
uint32_t DcbToTermios(const CommDcb& dcb, struct termios2& tio);

// The modem output bits (TIOCM_DTR / TIOCM_RTS) that the DCB's DTR and RTS control raise and
// drop; a handshake leaves its line to the driver.
void DcbOutputLines(const CommDcb& dcb, int& raise, int& drop);

}  // namespace trellon
