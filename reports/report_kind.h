#pragma once
// The report text areas of the window, by report kind.

#include <cstdint>

namespace flovir {

// 0 current values, 1 daily, 2 hourly, 3 monthly archive table, 4 the test
// poll's lines.
enum class ReportKind : uint8_t { Current = 0, Daily = 1, Hourly = 2, Monthly = 3, Test = 4 };

}  // namespace flovir
