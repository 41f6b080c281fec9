#pragma once
// The exchange trace: the "out: " and "in:  " lines of every frame. The
// exchange thread appends; a sink must be safe to call from that thread.

#include <mutex>
#include <string>
#include <vector>

namespace flovir {

// When a frame went or came: milliseconds since the operation began (the
// thread was woken) and since the frame before it.
struct FrameTime {
  double since_start_ms = 0;
  double since_previous_ms = 0;
};

class ExchangeTrace {
 public:
  virtual ~ExchangeTrace() = default;
  virtual void Append(const std::string& line) = 0;
  // The exchange thread calls this one. A sink that shows times overrides
  // it; the others get the line as it always was.
  virtual void AppendTimed(const std::string& line, const FrameTime&) { Append(line); }
};

// The line with its time in front: "   412.3 мс  +205.1  out: 0x01 ...".
std::string TimedTraceLine(const std::string& line, const FrameTime& time);

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
