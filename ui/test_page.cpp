#include "ui/test_page.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/report_printing.h"
#include "ui/widgets.h"

namespace flovir::ui {

namespace {

constexpr int kPollPeriodMs = 1000;

void SetCaption(QPushButton* button, const QString& caption) {
  button->setText(caption);
  button->setAccessibleName(WithoutMnemonic(caption));
}

}  // namespace

TestPage::TestPage(QWidget* parent) : QWidget(parent) {
  area_ = new QPlainTextEdit(this);
  area_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  MakeReadOnlyArea(area_);
  Name(area_, "Memo3", "Memo3");
  poll_ = MakeButton("&старт", "Button12", this);
  poll_->setEnabled(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(area_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(poll_);
  buttons->addStretch();
  const PrintButtons print = AddPrintButtons(buttons, "Memo3", this);
  connect(print.print, &QPushButton::clicked, this, &TestPage::printRequested);
  connect(print.pdf, &QPushButton::clicked, this, &TestPage::pdfRequested);
  layout->addLayout(buttons);
  timer_ = new QTimer(this);
  timer_->setObjectName("Timer1");
  timer_->setInterval(kPollPeriodMs);
  connect(timer_, &QTimer::timeout, this, &TestPage::pollDue);
  connect(poll_, &QPushButton::clicked, this, &TestPage::TogglePoll);
}

void TestPage::AppendLine(const QString& line) {
  area_->appendPlainText(line);
}

void TestPage::SetPollEnabled(bool enabled) {
  poll_->setEnabled(enabled);
}

std::vector<std::string> TestPage::Lines() const {
  std::vector<std::string> lines;
  const QString text = area_->toPlainText();
  if (text.isEmpty()) return lines;
  for (const QString& line : text.split('\n')) lines.push_back(line.toStdString());
  return lines;
}

bool TestPage::Polling() const {
  return timer_->isActive();
}

void TestPage::TogglePoll() {
  if (Polling()) {
    StopPoll();
  } else {
    StartPoll();
  }
}

void TestPage::StartPoll() {
  timer_->start();
  SetCaption(poll_, "&Стоп");
}

void TestPage::StopPoll() {
  timer_->stop();
  SetCaption(poll_, "&Старт");
}

}  // namespace flovir::ui
