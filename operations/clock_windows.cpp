#include <windows.h>

#include "operations/clock.h"
#include "workbook/serial_date.h"

namespace flovir {

// The system's local time. The C runtime's localtime reads a TZ variable in
// its own format, and the POSIX form that MSYS2, Git Bash and Cygwin export
// puts it hours off; the meter is set to what the computer's clock shows.
double SystemClock::Now() const {
  SYSTEMTIME local{};
  GetLocalTime(&local);
  return EncodeDateTime(
      {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond});
}

}  // namespace flovir
