#include "ui/form3.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/widgets.h"

namespace flovir::ui {

TForm3::TForm3(Connection& connection, View& view, QWidget* parent)
    : QDialog(parent), connection_(connection), view_(view) {
  setWindowTitle("настройка модема");
  auto* label = new QLabel("последовательность команд настройки модема:", this);
  memo1_ = new QPlainTextEdit(this);
  memo1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo1_->setLineWrapMode(QPlainTextEdit::NoWrap);
  Name(memo1_, label->text(), "Memo1");
  label->setBuddy(memo1_);
  button1_ = MakeButton("сброс", "Button1", this);
  button2_ = MakeButton("Применить", "Button2", this);
  bitbtn1_ = MakeButton("Выход", "BitBtn1", this);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(button1_);
  buttons->addWidget(button2_);
  buttons->addStretch();
  buttons->addWidget(bitbtn1_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(memo1_);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  memo1_->setFixedSize(320, 200);

  connect(button1_, &QPushButton::clicked, this, &TForm3::Button1Click);
  connect(button2_, &QPushButton::clicked, this, &TForm3::Button2Click);
  connect(bitbtn1_, &QPushButton::clicked, this, &QDialog::accept);
  ShowCommands();
}

void TForm3::ShowCommands() {
  QStringList lines;
  for (const std::string& command : setup_.Commands()) lines << QString::fromStdString(command);
  memo1_->setPlainText(lines.join('\n'));
}

void TForm3::Button1Click() {
  setup_.Reset();
  ShowCommands();
}

void TForm3::Button2Click() {
  std::string error;
  if (!setup_.SetCommands(SplitCommandLines(memo1_->toPlainText().toStdString()), error)) {
    view_.ShowStatus(error);
    return;
  }
  button2_->setEnabled(false);  // one apply at a time: it repaints while it runs
  setup_.Apply(connection_, view_);
  button2_->setEnabled(true);
}

}  // namespace flovir::ui
