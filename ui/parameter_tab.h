#pragma once
// The tab "Параметры": the grid of ui/parameters/ (when built) above
// "Cчитать", "Записать", "Время ПК в прибор", "Восстановить" (a backup back
// into the meter), "Сохранить", "Загрузить" and "Сравнить".

#include <QWidget>

namespace flovir {
class ParameterPage;
class Session;
}  // namespace flovir

class QPushButton;

namespace flovir::ui {

class ParameterTab : public QWidget {
  Q_OBJECT
 public:
  ParameterTab(Session& session, QWidget* window, QWidget* parent = nullptr);

  // The buttons that run an operation on the meter; "Записать" (and
  // "Восстановить", a write too) apart, as Start leaves it off until the
  // first operation has ended.
  void SetOperationsEnabled(bool enabled);
  void SetWriteEnabled(bool enabled);

 signals:
  // "Печать…" and "Сохранить PDF…".
  void printRequested();
  void pdfRequested();

 public slots:
  // After every operation: the buffer the grid shows may have changed.
  void OperationEnded();

 private:
  QPushButton* read_;   // Button8
  QPushButton* write_;  // Button11
  QPushButton* clock_;  // Button10
  QPushButton* restore_;
  ParameterPage* page_ = nullptr;
};

}  // namespace flovir::ui
