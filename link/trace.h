#pragma once
// The exchange trace: the "out: " and "in:  " lines of every frame. The
// exchange thread appends; a sink must be safe to call from that thread.

#include <mutex>
#include <string>
#include <vector>

namespace flovir {

class ExchangeTrace {
 public:
  virtual ~ExchangeTrace() = default;
  virtual void Append(const std::string& line) = 0;
};

// Keeps every line in memory; safe from any thread. Used by tests and the CLI.
class MemoryTrace : public ExchangeTrace {
 public:
  void Append(const std::string& line) override {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
  }
  std::vector<std::string> Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace flovir
