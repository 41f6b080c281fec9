#pragma once
// The exchange trace in the window. The exchange thread appends lines under a
// mutex; a timer on the GUI thread moves them into the text area, which keeps
// only the last kMaxLines lines, so a day of test polling cannot grow memory
// without bound.

#include <QObject>
#include <QStringList>
#include <mutex>
#include <string>
#include <vector>

#include "link/trace.h"

class QPlainTextEdit;
class QTimer;

namespace flovir::ui {

class TraceSink : public QObject, public ExchangeTrace {
  Q_OBJECT
 public:
  static constexpr int kMaxLines = 20000;

  TraceSink(QPlainTextEdit& area, QObject* parent = nullptr);
  // Any thread.
  void Append(const std::string& line) override;
  // The window shows every frame with its time and the gap before it.
  void AppendTimed(const std::string& line, const FrameTime& time) override;
  // GUI thread: moves waiting lines into the area now.
  void Flush();
  // GUI thread: empties the area and drops waiting lines.
  void Clear();

 private:
  QPlainTextEdit& area_;
  QTimer* timer_;
  std::mutex mutex_;
  std::vector<std::string> waiting_;
};

}  // namespace flovir::ui
