#pragma once
// The cells of one sheet: a four-level radix tree over row x 256 + column.
// Level 1 is the row's high byte, level 2 its low byte, level 3 the column's
// high nibble, level 4 its low nibble (blocks of 256, 256, 16 and 16 slots).
// Blocks are allocated on first use, so a sheet costs memory in proportion to
// the rows and column groups that hold cells, and visiting the slots in order
// yields the cells by ascending row, then column. The last cell looked up is
// cached, since callers usually touch the same cell several times in a row.
// Blocks come from pools of growing chunks, so a sheet read row after row
// allocates a chunk now and then rather than two blocks per row, and
// clearing frees a few chunks rather than every block.

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "workbook/string_table.h"
#include "workbook/workbook.h"

namespace flovir {

// One cell. type None marks an empty slot. The types take a byte each so
// that a cell fits in 24 bytes.
struct WorkbookCell {
  CellType type : 8 = CellType::None;
  // For a formula: the type of its cached result (Number, Text, Boolean,
  // Error, or Blank for an empty text result); None otherwise.
  CellType result : 8 = CellType::None;
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
  WorkbookCell& Slot(uint16_t row, uint8_t column) {
    // Cells arrive row by row: most of them share the leaf of the last one.
    const uint32_t leaf_key = static_cast<uint32_t>(row) << 4 | column >> 4;
    if (leaf_key != leaf_key_) {
      leaf_ = &LeafFor(row, column);
      leaf_key_ = leaf_key;
    }
    return (*leaf_)[column & 15];
  }
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
  using ColumnGroups = std::array<Leaf*, 16>;
  using Rows = std::array<ColumnGroups*, 256>;
  using RowBlocks = std::array<Rows*, 256>;

  // Hands out zeroed blocks from chunks that double in size up to
  // kMaxChunkBytes; the blocks live until Clear. Chunks stay small because
  // the allocator hands large ones back to the system when they are freed,
  // and the next sheet would pay in page faults for fresh memory.
  static constexpr size_t kMaxChunkBytes = 32768;
  template <typename Block>
  class BlockPool {
   public:
    BlockPool() = default;
    BlockPool(BlockPool&& other) noexcept { *this = std::move(other); }
    BlockPool& operator=(BlockPool&& other) noexcept {
      chunks_ = std::move(other.chunks_);
      used_ = std::exchange(other.used_, 0);
      capacity_ = std::exchange(other.capacity_, 0);
      other.chunks_.clear();
      return *this;
    }

    Block* New() {
      if (used_ == capacity_) Grow();
      return &chunks_.back()[used_++];
    }
    void Clear() {
      chunks_.clear();
      used_ = capacity_ = 0;
    }

   private:
    void Grow() {
      constexpr size_t kMaxChunk = std::max<size_t>(1, kMaxChunkBytes / sizeof(Block));
      capacity_ = capacity_ == 0 ? 1 : std::min(capacity_ * 2, kMaxChunk);
      chunks_.push_back(std::make_unique<Block[]>(capacity_));
      used_ = 0;
    }

    std::vector<std::unique_ptr<Block[]>> chunks_;
    size_t used_ = 0;  // blocks taken from the last chunk
    size_t capacity_ = 0;
  };

  Leaf& LeafFor(uint16_t row, uint8_t column);
  void ForgetCaches();

  std::unique_ptr<RowBlocks> root_;
  BlockPool<Rows> rows_;
  BlockPool<ColumnGroups> groups_;
  BlockPool<Leaf> leaves_;
  mutable uint32_t cached_key_ = UINT32_MAX;
  mutable WorkbookCell* cached_ = nullptr;
  uint32_t leaf_key_ = UINT32_MAX;  // row << 4 | column group of leaf_
  Leaf* leaf_ = nullptr;
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
