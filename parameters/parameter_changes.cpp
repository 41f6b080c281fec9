#include "parameters/parameter_changes.h"

#include <array>
#include <cstring>

#include "reports/number_format.h"

namespace flovir {
namespace {

bool SameBits(const ParameterBuffer& a, const ParameterBuffer& b, size_t index) {
  return std::memcmp(a.bytes.data() + 4 * index, b.bytes.data() + 4 * index, 4) == 0;
}

// The grid cells that show a value, row by row.
struct ShownCell {
  int row, column;
};
std::vector<ShownCell> ShownCells(const ParameterTable& table) {
  std::vector<ShownCell> cells;
  for (int row = 1; row < kParameterRows; ++row) {
    for (int column : {1, 2, 3, 4, 6}) {
      if (table.Cell(row, column).Kind == CellKind::Value) cells.push_back({row, column});
    }
  }
  return cells;
}

std::string TrimmedName(std::string name) {
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

}  // namespace

std::vector<ParameterChange> CompareTables(const ParameterTable& table,
                                           const ParameterBuffer& before,
                                           const ParameterBuffer& after, ValueScope scope) {
  std::vector<ParameterChange> changes;
  std::array<bool, kParameterValueCount> shown{};
  for (const ShownCell& at : ShownCells(table)) {
    const uint16_t index = table.Cell(at.row, at.column).ValueIndex;
    shown[index] = true;
    if (!SameBits(before, after, index)) {
      changes.push_back(
          {index, at.row, at.column, before.ParameterValue(index), after.ParameterValue(index)});
    }
  }
  if (scope == ValueScope::All) {
    for (uint16_t index = 0; index < kParameterValueCount; ++index) {
      if (!shown[index] && !SameBits(before, after, index)) {
        changes.push_back(
            {index, -1, -1, before.ParameterValue(index), after.ParameterValue(index)});
      }
    }
  }
  return changes;
}

std::string ChangeName(const ParameterTable& table, const ParameterChange& change) {
  if (change.row < 0) {
    const int first = kParameterFirstRegister + 2 * change.value_index;
    return "значение " + std::to_string(change.value_index) + " (регистры " +
           std::to_string(first) + "-" + std::to_string(first + 1) + ")";
  }
  if (change.column == 6) return TrimmedName(table.Cell(change.row, 5).Text);
  std::string name = TrimmedName(table.Cell(change.row, 0).Text);
  if (name.empty()) name = "строка " + std::to_string(change.row);
  return name + ", канал " + std::to_string(change.column);
}

ChangeTexts ValueTexts(const ParameterTable& table, const ParameterChange& change) {
  if (change.row >= 0) {
    const ParameterCell& cell = table.Cell(change.row, change.column);
    ChangeTexts shown{FormatFixed(change.before, cell.Precision, cell.Decimals),
                      FormatFixed(change.after, cell.Precision, cell.Decimals)};
    if (shown.before != shown.after) return shown;
  }
  return {FormatGeneral(change.before), FormatGeneral(change.after)};
}

std::string ChangeLine(const ParameterTable& table, const ParameterChange& change) {
  const ChangeTexts texts = ValueTexts(table, change);
  return ChangeName(table, change) + ": " + texts.before + " -> " + texts.after;
}

ParameterBuffer WithShownValues(const ParameterTable& table, const ParameterBuffer& shown,
                                const ParameterBuffer& rest) {
  ParameterBuffer result = rest;
  for (const ShownCell& at : ShownCells(table)) {
    const uint16_t index = table.Cell(at.row, at.column).ValueIndex;
    std::memcpy(result.bytes.data() + 4 * index, shown.bytes.data() + 4 * index, 4);
  }
  return result;
}

}  // namespace flovir
