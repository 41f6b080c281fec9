#include "ui/report_page.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTextDocument>
#include <QVBoxLayout>

#include "ui/report_printing.h"
#include "ui/widgets.h"

namespace flovir::ui {

namespace {

// The names of each kind's controls in the window's layout, by ReportKind.
struct PageNames {
  const char* caption;
  const char* area;
  const char* download;
  const char* save;
};
constexpr PageNames kPages[] = {{"Текущие", "Memo1", "Button4", "Button9"},
                                {"Суточные", "Memo5", "Button6", "Button14"},
                                {"Часовые", "Memo4", "Button5", "Button13"},
                                {"Месячные", "Memo6", "Button7", "Button15"}};

const PageNames& NamesOf(ReportKind kind) {
  return kPages[static_cast<size_t>(kind)];
}

}  // namespace

ReportPage::ReportPage(ReportKind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
  const PageNames& names = NamesOf(kind);
  area_ = MakeReportArea(names.area, this);
  download_ = MakeButton("Скачать", names.download, this);
  download_->setEnabled(false);
  save_ = MakeButton("Сохранить", names.save, this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(download_);
  buttons->addWidget(save_);
  if (kind != ReportKind::Current) {
    missing_only_ = new QCheckBox("Только недостающие", this);
    missing_only_->setObjectName(QString("MissingOnly") + names.area);
    missing_only_->setAccessibleName("Только недостающие");
    missing_only_->setAccessibleDescription(QString("MissingOnly") + names.area);
    missing_only_->setToolTip("Записи, которые уже есть в истории, берутся из неё");
    buttons->addWidget(missing_only_);
  }
  buttons->addStretch();
  const PrintButtons print = AddPrintButtons(buttons, names.area, this);
  auto* layout = new QVBoxLayout(this);
  if (kind == ReportKind::Current) {
    layout->addWidget(area_);
  } else {
    splitter_ = new QSplitter(Qt::Vertical, this);
    splitter_->setObjectName(QString("Splitter") + names.area);
    splitter_->addWidget(area_);
    splitter_->setChildrenCollapsible(false);
    layout->addWidget(splitter_);
  }
  layout->addLayout(buttons);
  connect(download_, &QPushButton::clicked, this, [this] { emit downloadRequested(kind_); });
  connect(save_, &QPushButton::clicked, this, [this] { emit saveRequested(kind_); });
  connect(print.print, &QPushButton::clicked, this, [this] { emit printRequested(kind_); });
  connect(print.pdf, &QPushButton::clicked, this, [this] { emit pdfRequested(kind_); });
}

bool ReportPage::MissingOnly() const {
  return missing_only_ != nullptr && missing_only_->isChecked();
}

QString ReportPage::Caption(ReportKind kind) {
  return NamesOf(kind).caption;
}

void ReportPage::ShowLines(const std::vector<std::string>& lines) {
  size_t bytes = 0;
  for (const std::string& line : lines) bytes += line.size() + 1;
  std::string text;
  text.reserve(bytes);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += lines[i];
  }
  // A document filled before it gets its layout takes half the time of
  // setPlainText on a long archive table; the plain-text layout then lays
  // out only the lines in view.
  auto* document = new QTextDocument(area_);
  document->setDefaultFont(area_->font());
  document->setUndoRedoEnabled(false);
  document->setPlainText(QString::fromStdString(text));
  document->setUndoRedoEnabled(true);
  document->setDocumentLayout(new QPlainTextDocumentLayout(document));
  // The area's first document belongs to it and goes with the replacement;
  // later ones are ours.
  QTextDocument* previous = area_->document();
  const bool ours = previous->parent() == area_;
  area_->setDocument(document);
  if (ours) delete previous;
}

QString ReportPage::Text() const {
  return area_->toPlainText();
}

void ReportPage::SetDownloadEnabled(bool enabled) {
  download_->setEnabled(enabled);
}

}  // namespace flovir::ui
