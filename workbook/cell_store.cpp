#include "workbook/cell_store.h"

#include <utility>

namespace flovir {

CellStore::CellStore() = default;
CellStore::~CellStore() = default;
CellStore::CellStore(CellStore&& other) noexcept : root_(std::move(other.root_)) {
  other.cached_ = nullptr;
  other.cached_key_ = UINT32_MAX;
}
CellStore& CellStore::operator=(CellStore&& other) noexcept {
  root_ = std::move(other.root_);
  cached_ = nullptr;
  cached_key_ = UINT32_MAX;
  other.cached_ = nullptr;
  other.cached_key_ = UINT32_MAX;
  return *this;
}

const WorkbookCell* CellStore::Find(uint16_t row, uint16_t column) const {
  if (column > 255 || !root_) return nullptr;
  const uint32_t key = static_cast<uint32_t>(row) << 8 | column;
  if (key == cached_key_) return cached_->type != CellType::None ? cached_ : nullptr;
  const auto& rows = (*root_)[row >> 8];
  if (!rows) return nullptr;
  const auto& groups = (*rows)[row & 0xFF];
  if (!groups) return nullptr;
  const auto& leaf = (*groups)[column >> 4];
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

WorkbookCell& CellStore::Slot(uint16_t row, uint8_t column) {
  const uint32_t key = static_cast<uint32_t>(row) << 8 | column;
  if (key == cached_key_) return *cached_;
  if (!root_) root_ = std::make_unique<RowBlocks>();
  auto& rows = (*root_)[row >> 8];
  if (!rows) rows = std::make_unique<Rows>();
  auto& groups = (*rows)[row & 0xFF];
  if (!groups) groups = std::make_unique<ColumnGroups>();
  auto& leaf = (*groups)[column >> 4];
  if (!leaf) leaf = std::make_unique<Leaf>();
  cached_key_ = key;
  cached_ = &(*leaf)[column & 15];
  return *cached_;
}

void CellStore::Clear() {
  root_.reset();
  cached_ = nullptr;
  cached_key_ = UINT32_MAX;
}

bool CellStore::Empty() const {
  bool empty = true;
  ForEach([&](uint16_t, uint8_t, const WorkbookCell&) { empty = false; });
  return empty;
}

}  // namespace flovir
