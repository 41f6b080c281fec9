#include "ui/report_page.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

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

// An archive table's heading (seven title lines, five header lines) and the
// rows that are to show under it before a chart gets any room.
constexpr int kHeadingLines = 12;
constexpr int kRowsBeforeChart = 5;

}  // namespace

ReportPage::ReportPage(ReportKind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
  const PageNames& names = NamesOf(kind);
  area_ = MakeReportArea(names.area, this);
  download_ = MakeButton("&Скачать", names.download, this);
  download_->setEnabled(false);
  save_ = MakeButton("Со&хранить", names.save, this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(download_);
  buttons->addWidget(save_);
  if (kind != ReportKind::Current) {
    missing_only_ = new QCheckBox("Только &недостающие", this);
    missing_only_->setObjectName(QString("MissingOnly") + names.area);
    missing_only_->setAccessibleName("Только недостающие");
    missing_only_->setAccessibleDescription(QString("MissingOnly") + names.area);
    missing_only_->setToolTip("Записи, которые уже есть в истории, берутся из неё");
    buttons->addWidget(missing_only_);
  }
  buttons->addStretch();
  QLabel* legend = nullptr;
  if (kind != ReportKind::Current) {
    // What the marks of the table's last columns mean, on a line of its own
    // under the buttons; it wraps rather than widen a small window.
    legend = new QLabel(EventLegend(), this);
    Name(legend, EventLegend(), QString("EventLegend") + names.area);
    legend->setWordWrap(true);
    legend->setTextInteractionFlags(Qt::TextSelectableByMouse);
    area_->setToolTip(EventLegend());
  }
  const PrintButtons print = AddPrintButtons(buttons, names.area, this);
  auto* layout = new QVBoxLayout(this);
  if (kind == ReportKind::Current) {
    layout->addWidget(area_);
  } else {
    splitter_ = new QSplitter(Qt::Vertical, this);
    splitter_->setObjectName(QString("Splitter") + names.area);
    splitter_->addWidget(area_);
    // The table stays; the chart may give way entirely.
    splitter_->setCollapsible(0, false);
    splitter_->installEventFilter(this);
    connect(splitter_, &QSplitter::splitterMoved, this,
            [this] { splitter_state_ = splitter_->saveState(); });
    layout->addWidget(splitter_);
  }
  layout->addLayout(buttons);
  if (legend != nullptr) layout->addWidget(legend);
  connect(download_, &QPushButton::clicked, this, [this] { emit downloadRequested(kind_); });
  connect(save_, &QPushButton::clicked, this, [this] { emit saveRequested(kind_); });
  connect(print.print, &QPushButton::clicked, this, [this] { emit printRequested(kind_); });
  connect(print.pdf, &QPushButton::clicked, this, [this] { emit pdfRequested(kind_); });
}

QString ReportPage::EventLegend() {
  return "События: X — отказ, < — расход ниже минимального, > — расход выше максимального";
}

bool ReportPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == splitter_ && event->type() == QEvent::Resize && chart_placed_ &&
      splitter_state_.isEmpty()) {
    // A window made smaller or larger, the splitter never moved: the table
    // keeps its room first, after the splitter's own resizing.
    QTimer::singleShot(0, this, &ReportPage::PlaceChart);
  } else if (watched == splitter_ && event->type() == QEvent::ChildAdded && chart_ == nullptr) {
    // The chart comes into the splitter after the page is built; it is
    // known once the splitter has taken it (and its handle) in.
    QTimer::singleShot(0, this, [this] {
      if (chart_ != nullptr || splitter_->count() < 2) return;
      chart_ = splitter_->widget(1);
      chart_->installEventFilter(this);
    });
  } else if (watched == chart_ && chart_ != nullptr) {
    if (event->type() == QEvent::Show && !chart_placed_) {
      // After the chart's own first sizing, which the event comes before.
      chart_placed_ = true;
      QTimer::singleShot(0, this, &ReportPage::PlaceChart);
    } else if (event->type() == QEvent::Hide && chart_->isHidden()) {
      chart_placed_ = false;  // hidden itself, not with the page
    }
  }
  return QWidget::eventFilter(watched, event);
}

void ReportPage::PlaceChart() {
  if (chart_ == nullptr || chart_->isHidden() || splitter_->indexOf(chart_) != 1) return;
  if (!splitter_state_.isEmpty() && splitter_->restoreState(splitter_state_)) return;
  const int total = splitter_->height() - splitter_->handleWidth();
  if (total <= 0) return;
  const int frame = area_->frameWidth() * 2 + area_->horizontalScrollBar()->sizeHint().height() +
                    static_cast<int>(area_->document()->documentMargin() * 2);
  const int table = frame + area_->fontMetrics().lineSpacing() * (kHeadingLines + kRowsBeforeChart);
  const int chart_least = chart_->minimumSizeHint().height();
  int chart = total - std::max(table, total * 3 / 5);
  if (chart < chart_least) chart = total - table >= chart_least ? chart_least : 0;
  splitter_->setSizes({total - chart, chart});
  splitter_->handle(1)->setToolTip(chart == 0 ? "График под таблицей: потяните вверх" : QString());
}

void ReportPage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The chart and its boxes join the page after it was built.
  FollowLayout(this);
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
