#pragma once
// The texts of one workbook's cells. Equal texts are stored once and counted,
// so an archive sheet with thousands of identical event-mark cells holds the
// text once.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace flovir {

class StringTable {
 public:
  using Id = uint32_t;

  // Returns the id of text, adding it or counting one more reference.
  Id Add(std::string_view text);
  // Drops one reference; the text is forgotten when none is left.
  void Release(Id id);
  const std::string& Get(Id id) const;
  // Number of distinct texts held.
  size_t Size() const { return index_.size(); }
  size_t References(Id id) const;
  void Clear();

 private:
  struct Entry {
    std::string text;
    size_t references = 0;
  };
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::vector<Entry> entries_;
  std::vector<Id> free_;
  std::unordered_map<std::string, Id, Hash, std::equal_to<>> index_;
  Id last_ = 0;  // the last text added; worth checking only while referenced
};

}  // namespace flovir
