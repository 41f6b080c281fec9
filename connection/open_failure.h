#pragma once
// Why a serial port would not open, in words a user can act on, to stand
// beside the system's own text: no permission (and which group to join),
// held by another program, or not there at all. The status text
// "Не удалось открыть порт" stays as it is; this goes beside it.

#include <string>

#include "connection/system_port.h"

namespace flovir {

// path: the device path the open used; error: errno, or GetLastError() on
// Windows. Empty when there is nothing to add to the system's own text.
std::string OpenFailureText(const std::string& path, SystemPort::ErrorCode error);

}  // namespace flovir
