#include "ui/trace_sink.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTimer>

#include "link/line_statistics.h"

namespace flovir::ui {

TraceSink::TraceSink(QPlainTextEdit& area, QObject* parent)
    : QObject(parent), area_(area), timer_(new QTimer(this)) {
  area_.setMaximumBlockCount(kMaxLines);
  timer_->setInterval(200);
  connect(timer_, &QTimer::timeout, this, &TraceSink::Flush);
  timer_->start();
}

void TraceSink::Append(const std::string& line) {
  std::lock_guard lock(mutex_);
  waiting_.push_back(line);
  // Lines beyond what the area keeps would only be dropped again.
  if (waiting_.size() > 2 * static_cast<size_t>(kMaxLines)) {
    waiting_.erase(waiting_.begin(), waiting_.end() - kMaxLines);
  }
}

void TraceSink::AppendTimed(const std::string& line, const FrameTime& time) {
  Append(TimedTraceLine(line, time));
}

void TraceSink::Flush() {
  std::vector<std::string> lines;
  {
    std::lock_guard lock(mutex_);
    lines.swap(waiting_);
  }
  if (lines.empty()) return;
  const size_t first = lines.size() > static_cast<size_t>(kMaxLines) ? lines.size() - kMaxLines : 0;
  QStringList text;
  text.reserve(static_cast<qsizetype>(lines.size() - first));
  for (size_t i = first; i < lines.size(); ++i) text << QString::fromStdString(lines[i]);
  // New frames scroll into view unless the user has scrolled up to read.
  QScrollBar* bar = area_.verticalScrollBar();
  const bool following = bar->value() >= bar->maximum();
  const int kept = bar->value();
  area_.appendPlainText(text.join('\n'));
  bar->setValue(following ? bar->maximum() : kept);
}

void TraceSink::Clear() {
  {
    std::lock_guard lock(mutex_);
    waiting_.clear();
  }
  area_.clear();
}

}  // namespace flovir::ui
