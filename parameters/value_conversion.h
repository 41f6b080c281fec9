#pragma once
// The number a user types into a parameter cell. The meter's users type with
// the Russian conventions: an optional sign, digits, at most one decimal
// comma, and an exponent part only as the grid itself shows very large values
// ("1,00000000000000E+011"). The number is rounded to the nearest float32,
// which is all a parameter register pair can hold.

#include <optional>
#include <string>
#include <string_view>

#include "operations/parameter_buffer.h"
#include "parameters/parameter_table.h"

namespace flovir {

struct ConvertedValue {
  std::optional<float> value;  // empty when the text is refused
  std::string error;           // then the message the user sees
};

// Blanks around the text are ignored. Text that is not such a number gives
// "'<text>' is not a valid floating point value"; a number beyond the float32
// range gives "'<text>' is out of range for a floating point value". Minus
// zero and numbers too small for float32 give zero.
ConvertedValue ConvertParameterText(std::string_view text);

// The grid editor's confirm: converts text and stores it into the value of
// an editable value cell. Returns the error text, empty when stored; on an error the
// buffer is unchanged.
std::string StoreEditedText(const ParameterCell& cell, std::string_view text,
                            ParameterBuffer& buffer);

}  // namespace flovir
