#include "workbook/string_table.h"

#include <stdexcept>

namespace flovir {

StringTable::Id StringTable::Add(std::string_view text) {
  // Cells arrive row by row, and a column's text tends to repeat the one
  // above it: try the last text before hashing.
  if (last_ < entries_.size() && entries_[last_].references > 0 && entries_[last_].text == text) {
    ++entries_[last_].references;
    return last_;
  }
  if (auto it = index_.find(text); it != index_.end()) {
    ++entries_[it->second].references;
    last_ = it->second;
    return it->second;
  }
  Id id;
  if (!free_.empty()) {
    id = free_.back();
    free_.pop_back();
  } else {
    id = static_cast<Id>(entries_.size());
    entries_.emplace_back();
  }
  entries_[id] = Entry{std::string(text), 1};
  index_.emplace(entries_[id].text, id);
  last_ = id;
  return id;
}

void StringTable::Release(Id id) {
  Entry& entry = entries_.at(id);
  if (entry.references == 0) throw std::logic_error("string table: text released twice");
  if (--entry.references > 0) return;
  index_.erase(entry.text);
  entry.text.clear();
  entry.text.shrink_to_fit();
  free_.push_back(id);
}

const std::string& StringTable::Get(Id id) const {
  return entries_.at(id).text;
}

size_t StringTable::References(Id id) const {
  return id < entries_.size() ? entries_[id].references : 0;
}

void StringTable::Clear() {
  entries_.clear();
  free_.clear();
  index_.clear();
}

}  // namespace flovir
