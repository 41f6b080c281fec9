#include "ui/history_page.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "export/export.h"
#include "operations/dispatcher.h"
#include "reports/archive_table.h"
#include "store/history_views.h"
#include "store/server_store.h"
#include "ui/widgets.h"
#include "workbook/platform_files.h"
#include "workbook/serial_date.h"

#include "ui/charts/archive_chart.h"

namespace flovir::ui {

namespace {

double DayOf(const QDate& date) {
  return EncodeDate(date.year(), date.month(), date.day());
}

QString KindsText(const history::MeterSummary& meter) {
  QStringList parts;
  for (const history::KindSummary& kind : meter.kinds) {
    parts << QString("%1 %2 (%3 %)")
                 .arg(history::KindWord(kind.kind))
                 .arg(kind.entries)
                 .arg(kind.complete_percent, 0, 'f', 1);
  }
  return parts.join(", ");
}

}  // namespace

HistoryPage::HistoryPage(QWidget* parent) : QWidget(parent) {
  meters_ = new QTableWidget(0, 3, this);
  Name(meters_, "Приборы", "HistoryMeters");
  meters_->setHorizontalHeaderLabels({"Прибор", "Записи", "Последнее чтение"});
  meters_->horizontalHeader()->setStretchLastSection(true);
  meters_->setSelectionBehavior(QAbstractItemView::SelectRows);
  meters_->setSelectionMode(QAbstractItemView::SingleSelection);
  meters_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  meters_->verticalHeader()->hide();

  kind_ = MakeList({"часовые", "суточные", "месячные"}, "Архив", "HistoryKind", this);
  first_ = new QDateEdit(QDate::currentDate().addDays(-31), this);
  Name(first_, "с", "HistoryFrom");
  last_ = new QDateEdit(QDate::currentDate(), this);
  Name(last_, "по", "HistoryTo");
  for (QDateEdit* edit : {first_, last_}) {
    edit->setCalendarPopup(true);
    edit->setDisplayFormat("dd.MM.yyyy");
  }
  show_ = MakeButton("Пока&зать", "HistoryShow", this);
  export_ = MakeButton("&Экспорт", "HistoryExport", this);
  fill_ = MakeButton("&Догрузить пропуски", "HistoryFillGaps", this);
  status_ = new QLabel(this);
  Name(status_, "Состояние истории", "HistoryStatus");
  table_ = MakeReportArea("HistoryTable", this);

  auto* controls = new QHBoxLayout;
  controls->addWidget(MakeLabel("Архив", {}, kind_, this));
  controls->addWidget(kind_);
  controls->addWidget(MakeLabel("с", {}, first_, this));
  controls->addWidget(first_);
  controls->addWidget(MakeLabel("по", {}, last_, this));
  controls->addWidget(last_);
  controls->addWidget(show_);
  controls->addWidget(export_);
  controls->addWidget(fill_);
  controls->addStretch();

  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(meters_);
  splitter->addWidget(table_);
  chart_ = new ArchiveChart(ReportKind::Hourly, this);
  splitter->addWidget(chart_);
  controls->addWidget(chart_->VisibilityBox());
  splitter->setChildrenCollapsible(false);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addWidget(splitter);
  layout->addWidget(status_);

  connect(show_, &QPushButton::clicked, this, &HistoryPage::ShowEntries);
  connect(meters_, &QTableWidget::itemSelectionChanged, this, &HistoryPage::ShowEntries);
  connect(export_, &QPushButton::clicked, this, &HistoryPage::Export);
  connect(fill_, &QPushButton::clicked, this, [this] {
    if (!MeterName().empty()) {
      emit fillGapsRequested(QString::fromStdString(MeterName()), static_cast<int>(Kind()),
                             FirstDay(), LastDay());
    }
  });
  FollowLayout(this);  // the controls above the list of meters made before them
}

HistoryPage::~HistoryPage() = default;

void HistoryPage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Refresh();
}

history::HistoryStore* HistoryPage::Store() {
  if (before_reading_) before_reading_();
  if (store_ || path_.empty()) return store_.get();
  std::error_code missing;
  // A server's URI is never a file; its schema is made on first use.
  if (!history::IsServerLocation(path_) && !std::filesystem::exists(PathFromUtf8(path_), missing)) {
    status_->setText(QString("Истории пока нет: %1").arg(QString::fromStdString(path_)));
    return nullptr;
  }
  try {
    store_ = history::OpenHistoryStore(path_);
  } catch (const std::exception& error) {
    status_->setText(QString::fromStdString(error.what()));
  }
  return store_.get();
}

void HistoryPage::Refresh() {
  history::HistoryStore* store = Store();
  if (store == nullptr) return;
  const QString chosen = QString::fromStdString(MeterName());
  try {
    const auto meters = store->Meters();
    QSignalBlocker quiet(meters_);
    meters_->setRowCount(static_cast<int>(meters.size()));
    for (size_t i = 0; i < meters.size(); ++i) {
      const int row = static_cast<int>(i);
      meters_->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(meters[i].meter.name)));
      meters_->setItem(row, 1, new QTableWidgetItem(KindsText(meters[i])));
      meters_->setItem(row, 2, new QTableWidgetItem(QString::fromStdString(meters[i].last_seen)));
      if (meters_->item(row, 0)->text() == chosen || (chosen.isEmpty() && row == 0)) {
        meters_->selectRow(row);
      }
    }
    meters_->resizeColumnsToContents();
  } catch (const std::exception& error) {
    status_->setText(QString::fromStdString(error.what()));
  }
}

std::string HistoryPage::MeterName() const {
  const auto rows = meters_->selectionModel()->selectedRows();
  if (rows.isEmpty()) return {};
  return meters_->item(rows.first().row(), 0)->text().toStdString();
}

bool HistoryPage::SelectMeter(const std::string& name) {
  for (int row = 0; row < meters_->rowCount(); ++row) {
    if (meters_->item(row, 0)->text().toStdString() == name) {
      meters_->selectRow(row);
      return true;
    }
  }
  return false;
}

ArchiveKind HistoryPage::Kind() const {
  return static_cast<ArchiveKind>(std::max(0, kind_->currentIndex()));
}

double HistoryPage::FirstDay() const {
  return DayOf(first_->date());
}

double HistoryPage::LastDay() const {
  return DayOf(last_->date());
}

QString HistoryPage::TableText() const {
  return table_->toPlainText();
}

void HistoryPage::ShowEntries() {
  history::HistoryStore* store = Store();
  const std::string name = MeterName();
  if (store == nullptr || name.empty()) return;
  try {
    const auto meter = store->FindMeter(name);
    if (!meter) return;
    const history::Period period = history::PeriodOf(Kind(), FirstDay(), LastDay());
    const std::string first = history::EntryTimeText(period.first);
    const std::string last = history::EntryTimeText(period.last);
    const auto entries = store->Entries(*meter, Kind(), first, last);
    const auto gaps =
        history::FindGaps(period, store->EntryTimes(*meter, Kind(), first, last, true));
    const history::StoredSheet sheet =
        history::BuildStoredSheet(period, entries, {}, 1, SystemClock().Now());
    const auto lines = ArchiveTableLines(LayoutOf(Kind()).report, sheet.workbook);
    QStringList text;
    for (const std::string& line : lines) text << QString::fromStdString(line);
    table_->setPlainText(text.join('\n'));
    const ReportKind report = LayoutOf(Kind()).report;
    chart_->SetKind(report);
    chart_->SetMeter(QString::fromStdString(name));
    chart_->ShowRows(ArchiveChartRows(report, sheet.workbook, sheet.data.entries));
    int64_t missing = 0;
    for (const history::Gap& gap : gaps) missing += gap.entries;
    status_->setText(QString("Записей: %1, пропусков: %2 в %3 местах")
                         .arg(entries.size())
                         .arg(missing)
                         .arg(gaps.size()));
  } catch (const std::exception& error) {
    status_->setText(QString::fromStdString(error.what()));
  }
}

void HistoryPage::Export() {
  history::HistoryStore* store = Store();
  const std::string name = MeterName();
  if (store == nullptr || name.empty()) return;
  QString path = export_file_;
  if (path.isEmpty()) {
    const QString file = QString::fromStdString(name) + ".csv";
    path = QFileDialog::getSaveFileName(
        this, "Экспорт", export_folder_.isEmpty() ? file : export_folder_ + "/" + file,
        "CSV (*.csv)");
  }
  if (path.isEmpty()) return;
  try {
    const auto meter = store->FindMeter(name);
    if (!meter) return;
    const history::Period period = history::PeriodOf(Kind(), FirstDay(), LastDay());
    const history::StoredSheet sheet = history::BuildStoredSheet(
        period,
        store->Entries(*meter, Kind(), history::EntryTimeText(period.first),
                       history::EntryTimeText(period.last)),
        {}, 1, SystemClock().Now());
    const std::string csv = collect::ArchiveCsv(collect::ArchiveRows(sheet.data));
    std::ofstream out(PathFromUtf8(path.toStdString()), std::ios::binary | std::ios::trunc);
    out << csv;
    if (!out.flush()) throw std::runtime_error("не удалось записать " + path.toStdString());
    status_->setText("Сохранено: " + path);
  } catch (const std::exception& error) {
    status_->setText(QString::fromStdString(error.what()));
  }
}

}  // namespace flovir::ui
