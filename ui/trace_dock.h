#pragma once
// The dock "Обмен с прибором": the exchange trace (Memo2) with "Сохранить"
// and "Очистить". Hidden at start; the menu "Вид" shows it.

#include <QDockWidget>

class QPlainTextEdit;

namespace flovir::ui {

class TraceSink;

class TraceDock : public QDockWidget {
  Q_OBJECT
 public:
  explicit TraceDock(QWidget* parent = nullptr);

  // Where the exchange thread writes its lines.
  TraceSink& Sink() { return *sink_; }
  // The trace so far, lines still waiting included.
  QString Text();

 signals:
  void saveRequested();

 private:
  QPlainTextEdit* area_;  // Memo2
  TraceSink* sink_;
};

}  // namespace flovir::ui
