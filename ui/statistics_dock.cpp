#include "ui/statistics_dock.h"

#include <QPlainTextEdit>
#include <QTimer>

#include "ui/widgets.h"

namespace flovir::ui {

StatisticsDock::StatisticsDock(const LineStatistics& statistics,
                               std::function<uint32_t()> answer_timeout_ms, QWidget* parent)
    : QDockWidget("Статистика обмена", parent),
      statistics_(statistics),
      answer_timeout_ms_(std::move(answer_timeout_ms)),
      area_(new QPlainTextEdit(this)),
      timer_(new QTimer(this)) {
  setObjectName("StatisticsDock");
  area_->setReadOnly(true);
  area_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Name(area_, "Статистика обмена", "MemoStatistics");
  setWidget(area_);
  toggleViewAction()->setText("Статистика обмена");
  timer_->setInterval(500);
  // A hidden dock costs nothing.
  connect(timer_, &QTimer::timeout, this, [this] {
    if (isVisible()) Refresh();
  });
  timer_->start();
  Refresh();
}

void StatisticsDock::Refresh() {
  const LineStatisticsSnapshot s = statistics_.Snapshot();
  QStringList lines;
  for (const std::string& line : StatisticsLines(s)) lines << QString::fromStdString(line);
  const std::vector<std::string> advice = StatisticsAdvice(s, answer_timeout_ms_());
  if (!advice.empty()) lines << QString();
  for (const std::string& line : advice) lines << QString::fromStdString(line);
  const QString text = lines.join('\n');
  if (text != area_->toPlainText()) area_->setPlainText(text);
}

QString StatisticsDock::Text() {
  Refresh();
  return area_->toPlainText();
}

}  // namespace flovir::ui
