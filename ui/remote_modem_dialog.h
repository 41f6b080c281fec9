#pragma once
// "настройка модема" (Form3): the AT command list that prepares the modem at
// the meter's site, cabled directly to the port of a direct connection. It
// lives from program start to end, so edits survive closing it.

#include <QDialog>

#include "connection/remote_modem_setup.h"

class QPlainTextEdit;
class QPushButton;

namespace flovir::ui {

class RemoteModemDialog : public QDialog {
  Q_OBJECT
 public:
  RemoteModemDialog(Connection& connection, View& view, QWidget* parent);

 public slots:
  // "сброс": the seven default lines.
  void Reset();
  // "Применить": sends the list to the modem.
  void Apply();

 private:
  void ShowCommands();

  Connection& connection_;
  View& view_;
  RemoteModemSetup setup_;
  QPlainTextEdit* commands_;  // Memo1
  QPushButton* apply_;        // Button2
};

}  // namespace flovir::ui
