#pragma once
// The text form of a fault, as the program's --fault option takes it:
// KIND[=VALUE][/EVERY][*LIMIT][+AFTER], for example "exception=4",
// "split=80/3", "no-answer*2", "store-other=415", "cut+11".

#include <optional>
#include <string>
#include <string_view>

#include "tools/meter-sim/simulated_meter.h"

namespace flovir::sim {

// The fault, or nothing with the reason in `error`.
std::optional<FaultPlan> ParseFaultOption(std::string_view text, std::string& error);

}  // namespace flovir::sim
