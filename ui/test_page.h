#pragma once
// The page "тест": a poll of the meter once a second while its button says
// "Стоп", one line per answer in its text area.

#include <QWidget>
#include <string>
#include <vector>

class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace flovir::ui {

class TestPage : public QWidget {
  Q_OBJECT
 public:
  explicit TestPage(QWidget* parent = nullptr);

  void AppendLine(const QString& line);
  void SetPollEnabled(bool enabled);
  bool Polling() const;
  // The lines the poll has added.
  std::vector<std::string> Lines() const;

 public slots:
  void StartPoll();
  void StopPoll();

 signals:
  // A tick of the poll; a tick that finds an operation running is lost.
  void pollDue();
  // "Печать…" and "Сохранить PDF…".
  void printRequested();
  void pdfRequested();

 private:
  void TogglePoll();

  QPlainTextEdit* area_;  // Memo3
  QPushButton* poll_;     // Button12
  QTimer* timer_;         // Timer1
};

}  // namespace flovir::ui
