#include "ui/parameter_tab.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "session/session.h"
#include "ui/report_printing.h"
#include "ui/widgets.h"
#ifdef FLOVIR_UI_PARAMETERS
#include "ui/parameters/parameter_page.h"
#endif

namespace flovir::ui {

ParameterTab::ParameterTab([[maybe_unused]] Session& session, [[maybe_unused]] QWidget* window,
                           QWidget* parent)
    : QWidget(parent) {
  read_ = MakeButton("C&читать", "Button8", this);
  write_ = MakeButton("&Записать", "Button11", this);
  clock_ = MakeButton("Время П&К в прибор", "Button10", this);
  restore_ = MakeButton("Во&сстановить", "RestoreButton", this);
  QPushButton* save = MakeButton("Со&хранить", "Button16", this);
  QPushButton* load = MakeButton("За&грузить", "Button17", this);
  QPushButton* compare = MakeButton("Сравн&ить", "CompareButton", this);
  // Two rows, so that a small screen holds them: what talks to the meter,
  // then what works on files and paper.
  auto* meter_row = new QHBoxLayout;
  for (QPushButton* b : {read_, write_, clock_, restore_}) {
    b->setEnabled(false);
    meter_row->addWidget(b);
  }
  meter_row->addStretch();
  auto* file_row = new QHBoxLayout;
  file_row->addWidget(save);
  file_row->addWidget(load);
  file_row->addWidget(compare);
  file_row->addStretch();
  const PrintButtons print = AddPrintButtons(file_row, "RzStringGrid1", this);
  connect(print.print, &QPushButton::clicked, this, &ParameterTab::printRequested);
  connect(print.pdf, &QPushButton::clicked, this, &ParameterTab::pdfRequested);
  auto* layout = new QVBoxLayout(this);
#ifdef FLOVIR_UI_PARAMETERS
  page_ = new ParameterPage(session.GetDispatcher(), session.Parameters(), session.Table(),
                            session.ParameterWorkbook(), window);
  layout->addWidget(&page_->Grid(), 1);  // RzStringGrid1
  page_->BindButtons(read_, write_, clock_, save, load, compare, restore_);
#else
  layout->addStretch(1);
#endif
  layout->addLayout(meter_row);
  layout->addLayout(file_row);
  FollowLayout(this);  // the grid above its buttons, made after them
}

void ParameterTab::SetOperationsEnabled(bool enabled) {
  read_->setEnabled(enabled);
  clock_->setEnabled(enabled);
}

void ParameterTab::SetWriteEnabled(bool enabled) {
  write_->setEnabled(enabled);
  restore_->setEnabled(enabled);
}

void ParameterTab::OperationEnded() {
#ifdef FLOVIR_UI_PARAMETERS
  page_->OperationEnded();
#endif
}

}  // namespace flovir::ui
