#include "ui/trace_dock.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/trace_sink.h"
#include "ui/widgets.h"

namespace flovir::ui {

TraceDock::TraceDock(QWidget* parent) : QDockWidget("Обмен с прибором", parent) {
  setObjectName("TraceDock");
  auto* body = new QWidget(this);
  area_ = new QPlainTextEdit(body);
  MakeReadOnlyArea(area_);
  area_->setLineWrapMode(QPlainTextEdit::NoWrap);
  area_->setFont(ReportFont());
  Name(area_, "Обмен с прибором", "Memo2");
  sink_ = new TraceSink(*area_, this);
  QPushButton* save = MakeButton("Сохр&анить", "ButtonTraceSave", body);
  QPushButton* clear = MakeButton("&Очистить", "ButtonTraceClear", body);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(save);
  buttons->addWidget(clear);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(body);
  layout->addWidget(area_);
  layout->addLayout(buttons);
  setWidget(body);
  toggleViewAction()->setText("Обмен с прибором");
  connect(save, &QPushButton::clicked, this, &TraceDock::saveRequested);
  connect(clear, &QPushButton::clicked, sink_, &TraceSink::Clear);
}

QString TraceDock::Text() {
  sink_->Flush();
  return area_->toPlainText();
}

}  // namespace flovir::ui
