#pragma once
// The dock "Статистика обмена", beside "Обмен с прибором": what the line did
// since Start (tries, repeats, timeouts, CRC errors, reply times) and a
// short reading of it in plain words. Refreshed twice a second from the
// session's statistics, which the exchange thread keeps.

#include <QDockWidget>
#include <functional>

#include "link/line_statistics.h"

class QPlainTextEdit;
class QTimer;

namespace flovir::ui {

class StatisticsDock : public QDockWidget {
  Q_OBJECT
 public:
  // `answer_timeout_ms` gives the timeout in force, for the reading.
  StatisticsDock(const LineStatistics& statistics, std::function<uint32_t()> answer_timeout_ms,
                 QWidget* parent = nullptr);

  // Shows the statistics as they are now.
  void Refresh();
  // The text shown, refreshed first.
  QString Text();

 private:
  const LineStatistics& statistics_;
  std::function<uint32_t()> answer_timeout_ms_;
  QPlainTextEdit* area_;
  QTimer* timer_;
};

}  // namespace flovir::ui
