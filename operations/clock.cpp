#include "operations/clock.h"

#include <ctime>

#include "workbook/serial_date.h"

namespace flovir {

double SystemClock::Now() const {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return EncodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                         local.tm_min, local.tm_sec});
}

}  // namespace flovir
