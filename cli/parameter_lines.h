#pragma once
// The parameter grid as text, as `params read` and `report params` print it.

#include <string>
#include <vector>

#include "operations/parameter_buffer.h"
#include "parameters/parameter_table.h"

namespace flovir::cli {

// Per row the channel row's name, the four channel values, then the general
// parameter's name and value where the row has one.
std::vector<std::string> ParameterTableLines(const ParameterTable& table,
                                             const ParameterBuffer& buffer);

}  // namespace flovir::cli
