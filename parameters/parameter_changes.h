#pragma once
// Two parameter tables side by side: which values differ, bit for bit, and
// how a user reads a difference ("Диаметр, мм [D], канал 1: 100,00 -> 152,50").
// The write's confirmation, its verification, the change log and
// `flovir-cli params diff` all speak through this.

#include <cstdint>
#include <string>
#include <vector>

#include "operations/parameter_buffer.h"
#include "parameters/parameter_table.h"

namespace flovir {

struct ParameterChange {
  uint16_t value_index = 0;
  // The grid cell that shows the value; row -1 for a value shown nowhere.
  int row = -1;
  int column = -1;
  float before = 0;
  float after = 0;
};

// Which values are compared: those the grid shows (all a parameter workbook
// holds), or all 256.
enum class ValueScope { Shown, All };

// The values whose float32 bits differ between before and after: the grid's
// values row by row (channels 1-4, then the general column), then, for
// ValueScope::All, the values shown nowhere in index order.
std::vector<ParameterChange> CompareTables(const ParameterTable& table,
                                           const ParameterBuffer& before,
                                           const ParameterBuffer& after, ValueScope scope);

// What a user calls the value: "Диаметр, мм [D], канал 1", "Ток 1, мА",
// "строка 31, канал 2" for the row without a name, "значение 190 (регистры
// 780-781)" for one the grid does not show.
std::string ChangeName(const ParameterTable& table, const ParameterChange& change);
// The two values as texts: in the grid's number format, or in full
// (FormatGeneral) when that format shows both alike or the grid shows the
// value nowhere.
struct ChangeTexts {
  std::string before, after;
};
ChangeTexts ValueTexts(const ParameterTable& table, const ParameterChange& change);
// "<name>: <before> -> <after>".
std::string ChangeLine(const ParameterTable& table, const ParameterChange& change);

// The grid's values of `shown` over everything else of `rest`: a table from
// a workbook, which holds the grid's values only, completed with what the
// meter holds for the others.
ParameterBuffer WithShownValues(const ParameterTable& table, const ParameterBuffer& shown,
                                const ParameterBuffer& rest);

}  // namespace flovir
