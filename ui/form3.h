#pragma once
// Form3, "настройка модема": the AT command list that prepares the modem at
// the meter's site, cabled directly to the port of a direct connection. It
// lives from program start to end, so edits survive closing it.

#include <QDialog>

#include "connection/remote_modem_setup.h"

class QPlainTextEdit;
class QPushButton;

namespace flovir::ui {

class TForm3 : public QDialog {
  Q_OBJECT
 public:
  TForm3(Connection& connection, View& view, QWidget* parent);

  QPlainTextEdit* Memo1() const { return memo1_; }
  QPushButton* Button1() const { return button1_; }
  QPushButton* Button2() const { return button2_; }

  // "сброс": the seven default lines.
  void Button1Click();
  // "Применить": sends the list to the modem.
  void Button2Click();

 private:
  void ShowCommands();

  Connection& connection_;
  View& view_;
  RemoteModemSetup setup_;
  QPlainTextEdit* memo1_;
  QPushButton* button1_;
  QPushButton* button2_;
  QPushButton* bitbtn1_;
};

}  // namespace flovir::ui
