#include "ui/remote_modem_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/widgets.h"

namespace flovir::ui {

RemoteModemDialog::RemoteModemDialog(Connection& connection, View& view, QWidget* parent)
    : QDialog(parent), connection_(connection), view_(view) {
  setWindowTitle("настройка модема");
  auto* label = new QLabel("последовательность команд настройки модема:", this);
  commands_ = new QPlainTextEdit(this);
  commands_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  commands_->setLineWrapMode(QPlainTextEdit::NoWrap);
  Name(commands_, label->text(), "Memo1");
  label->setBuddy(commands_);
  QPushButton* reset = MakeButton("&сброс", "Button1", this);
  apply_ = MakeButton("&Применить", "Button2", this);
  QPushButton* exit = MakeButton("&Выход", "BitBtn1", this);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(reset);
  buttons->addWidget(apply_);
  buttons->addStretch();
  buttons->addWidget(exit);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(commands_);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  commands_->setFixedSize(320, 200);

  connect(reset, &QPushButton::clicked, this, &RemoteModemDialog::Reset);
  connect(apply_, &QPushButton::clicked, this, &RemoteModemDialog::Apply);
  connect(exit, &QPushButton::clicked, this, &QDialog::accept);
  ShowCommands();
}

void RemoteModemDialog::ShowCommands() {
  QStringList lines;
  for (const std::string& command : setup_.Commands()) lines << QString::fromStdString(command);
  commands_->setPlainText(lines.join('\n'));
}

void RemoteModemDialog::Reset() {
  setup_.Reset();
  ShowCommands();
}

void RemoteModemDialog::Apply() {
  std::string error;
  if (!setup_.SetCommands(SplitCommandLines(commands_->toPlainText().toStdString()), error)) {
    view_.ShowStatus(error);
    return;
  }
  apply_->setEnabled(false);  // one apply at a time: it repaints while it runs
  setup_.Apply(connection_, view_);
  apply_->setEnabled(true);
}

}  // namespace flovir::ui
