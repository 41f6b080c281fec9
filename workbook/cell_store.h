#pragma once
// The cells of one sheet: a four-level radix tree over row x 256 + column.
// Level 1 is the row's high byte, level 2 its low byte, level 3 the column's
// high nibble, level 4 its low nibble (blocks of 256, 256, 16 and 16 slots).
// Blocks are allocated on first use, so a sheet costs memory in proportion to
// the rows and column groups that hold cells, and visiting the slots in order
// yields the cells by ascending row, then column. The last cell looked up is
// cached, since callers usually touch the same cell several times in a row.

#include <array>
#include <cstdint>
#include <memory>

#include "workbook/string_table.h"
#include "workbook/workbook.h"

namespace flovir {

// One cell. type None marks an empty slot.
struct WorkbookCell {
  CellType type = CellType::None;
  // For a formula: the type of its cached result (Number, Text, Boolean,
  // Error, or Blank for an empty text result); None otherwise.
  CellType result = CellType::None;
  // Boolean: 0 or 1. Error: the error code (0x00 #NULL! ... 0x2A #N/A).
  uint8_t code = 0;
  // Index into the workbook's cell formats; negative means the default
  // cell format.
  int32_t format = -1;
  double number = 0;         // Number, or a formula's numeric result
  StringTable::Id text = 0;  // Text, or a formula's text result

  bool HoldsText() const {
    return type == CellType::Text || (type == CellType::Formula && result == CellType::Text);
  }
};

class CellStore {
 public:
  CellStore();
  ~CellStore();
  CellStore(CellStore&&) noexcept;
  CellStore& operator=(CellStore&&) noexcept;

  // The cell at (row, column), or nullptr; columns above 255 hold no cells.
  WorkbookCell* Find(uint16_t row, uint16_t column);
  const WorkbookCell* Find(uint16_t row, uint16_t column) const;
  // The slot at (row, column), allocating its blocks; an empty slot has
  // type None and becomes a cell when the caller sets its type.
  // column must be at most 255.
  WorkbookCell& Slot(uint16_t row, uint8_t column);
  void Clear();
  bool Empty() const;

  // Calls f(row, column, cell) for every cell in ascending row, then column
  // order.
  template <typename F>
  void ForEach(F&& f) const;
  // Calls f(row, cell) for every cell of one column in ascending row order.
  template <typename F>
  void ForEachInColumn(uint8_t column, F&& f) const;

 private:
  using Leaf = std::array<WorkbookCell, 16>;
  using ColumnGroups = std::array<std::unique_ptr<Leaf>, 16>;
  using Rows = std::array<std::unique_ptr<ColumnGroups>, 256>;
  using RowBlocks = std::array<std::unique_ptr<Rows>, 256>;

  std::unique_ptr<RowBlocks> root_;
  mutable uint32_t cached_key_ = UINT32_MAX;
  mutable WorkbookCell* cached_ = nullptr;
};

template <typename F>
void CellStore::ForEach(F&& f) const {
  if (!root_) return;
  for (unsigned high = 0; high < 256; ++high) {
    const auto& rows = (*root_)[high];
    if (!rows) continue;
    for (unsigned low = 0; low < 256; ++low) {
      const auto& groups = (*rows)[low];
      if (!groups) continue;
      const auto row = static_cast<uint16_t>(high << 8 | low);
      for (unsigned group = 0; group < 16; ++group) {
        const auto& leaf = (*groups)[group];
        if (!leaf) continue;
        for (unsigned k = 0; k < 16; ++k) {
          const WorkbookCell& cell = (*leaf)[k];
          if (cell.type != CellType::None) f(row, static_cast<uint8_t>(group << 4 | k), cell);
        }
      }
    }
  }
}

template <typename F>
void CellStore::ForEachInColumn(uint8_t column, F&& f) const {
  if (!root_) return;
  for (unsigned high = 0; high < 256; ++high) {
    const auto& rows = (*root_)[high];
    if (!rows) continue;
    for (unsigned low = 0; low < 256; ++low) {
      const auto& groups = (*rows)[low];
      if (!groups) continue;
      const auto& leaf = (*groups)[column >> 4];
      if (!leaf) continue;
      const WorkbookCell& cell = (*leaf)[column & 15];
      if (cell.type != CellType::None) f(static_cast<uint16_t>(high << 8 | low), cell);
    }
  }
}

}  // namespace flovir
