#include "workbook/cell_store.h"

#include <utility>

namespace flovir {

CellStore::CellStore() = default;
CellStore::~CellStore() = default;

CellStore::CellStore(CellStore&& other) noexcept
    : root_(std::move(other.root_)),
      rows_(std::move(other.rows_)),
      groups_(std::move(other.groups_)),
      leaves_(std::move(other.leaves_)) {
  other.ForgetCaches();
}

CellStore& CellStore::operator=(CellStore&& other) noexcept {
  root_ = std::move(other.root_);
  rows_ = std::move(other.rows_);
  groups_ = std::move(other.groups_);
  leaves_ = std::move(other.leaves_);
  ForgetCaches();
  other.ForgetCaches();
  return *this;
}

void CellStore::ForgetCaches() {
  cached_key_ = UINT32_MAX;
  cached_ = nullptr;
  leaf_key_ = UINT32_MAX;
  leaf_ = nullptr;
}

const WorkbookCell* CellStore::Find(uint16_t row, uint16_t column) const {
  if (column > 255 || !root_) return nullptr;
  const uint32_t key = static_cast<uint32_t>(row) << 8 | column;
  if (key == cached_key_) return cached_->type != CellType::None ? cached_ : nullptr;
  const Rows* rows = (*root_)[row >> 8];
  if (!rows) return nullptr;
  const ColumnGroups* groups = (*rows)[row & 0xFF];
  if (!groups) return nullptr;
  Leaf* leaf = (*groups)[column >> 4];
  if (!leaf) return nullptr;
  WorkbookCell* cell = &(*leaf)[column & 15];
  if (cell->type == CellType::None) return nullptr;
  cached_key_ = key;
  cached_ = cell;
  return cell;
}

WorkbookCell* CellStore::Find(uint16_t row, uint16_t column) {
  return const_cast<WorkbookCell*>(std::as_const(*this).Find(row, column));
}

CellStore::Leaf& CellStore::LeafFor(uint16_t row, uint8_t column) {
  if (!root_) root_ = std::make_unique<RowBlocks>();
  Rows*& rows = (*root_)[row >> 8];
  if (!rows) rows = rows_.New();
  ColumnGroups*& groups = (*rows)[row & 0xFF];
  if (!groups) groups = groups_.New();
  Leaf*& leaf = (*groups)[column >> 4];
  if (!leaf) leaf = leaves_.New();
  return *leaf;
}

void CellStore::Clear() {
  root_.reset();
  rows_.Clear();
  groups_.Clear();
  leaves_.Clear();
  ForgetCaches();
}

bool CellStore::Empty() const {
  bool empty = true;
  ForEach([&](uint16_t, uint8_t, const WorkbookCell&) { empty = false; });
  return empty;
}

}  // namespace flovir
