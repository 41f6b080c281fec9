#include "ui/charts/archive_chart.h"

#include <QBoxLayout>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineSeries>
#include <QMessageBox>
#include <QPainter>
#include <QSaveFile>
#include <QScatterSeries>
#include <QSplitter>
#include <QSvgGenerator>
#include <QToolTip>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "operations/archive_workbook.h"
#include "reports/archive_table.h"
#include "workbook/serial_date.h"

namespace flovir {

namespace {

// V1-V4 solid, B1-B4 dashed in the colour of their channel.
const QColor kChannelColors[] = {QColor(0x1f, 0x5f, 0xbf), QColor(0x2c, 0x9a, 0x3c),
                                 QColor(0xe0, 0x7b, 0x10), QColor(0x8e, 0x3c, 0xb8)};
const QColor kEventColor(0xd0, 0x20, 0x20);

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

// The meter's clock has no time zone: its date and time are placed on the
// axis as the same local date and time.
double AxisTime(double serial) {
  const CivilDateTime t = DecodeDateTime(serial);
  return static_cast<double>(
      QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second))
          .toMSecsSinceEpoch());
}

struct KindTexts {
  const char* axis_format;
  const char* file_name;
  double half_interval_ms;  // room beside a single row
};

KindTexts TextsOf(ReportKind kind) {
  constexpr double kHour = 3600e3;
  switch (kind) {
    case ReportKind::Daily:
      return {"dd.MM.yyyy", "суточный архив", 12 * kHour};
    case ReportKind::Monthly:
      return {"MM.yyyy", "месячный архив", 15 * 24 * kHour};
    default:
      return {"dd.MM hh:mm", "часовой архив", kHour / 2};
  }
}

// The time axis widened to whole steps of a round length, hours or days,
// with a tick at every step: ticks then fall on whole hours (hourly) or
// days, in at most eight steps.
struct TimeTicks {
  double low = 0;
  double high = 0;
  int count = 0;
};

TimeTicks WholeTicks(ReportKind kind, double low, double high) {
  constexpr double kHour = 3600e3;
  constexpr double kDay = 24 * kHour;
  constexpr int kMaxSteps = 8;
  constexpr double kHours[] = {1, 2, 3, 4, 6, 8, 12};
  constexpr double kDays[] = {1, 2, 3, 4, 5, 7, 10, 14, 15, 30, 61, 91, 183, 365};
  std::vector<double> steps;
  if (kind == ReportKind::Hourly) {
    for (double h : kHours) steps.push_back(h * kHour);
  }
  for (double d : kDays) steps.push_back(d * kDay);
  // Whole hours and days of the local time the axis shows.
  const double offset =
      QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(low)).offsetFromUtc() * 1000.0;
  const double unit = kind == ReportKind::Hourly ? kHour : kDay;
  const double first = std::floor((low + offset) / unit) * unit - offset;
  double step = steps.back();
  for (double candidate : steps) {
    if ((high - first) / candidate <= kMaxSteps) {
      step = candidate;
      break;
    }
  }
  const double count = std::max(1.0, std::ceil((high - first) / step - 1e-9));
  return {first, first + count * step, static_cast<int>(count) + 1};
}

// Zero to a round number above `top`, in at most five round steps.
void SetValueRange(QValueAxis* axis, double top) {
  if (!(top > 0)) top = 1;
  const double magnitude = std::pow(10.0, std::floor(std::log10(top / 5)));
  double step = magnitude;
  for (const double factor : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    step = factor * magnitude;
    if (top / step <= 5) break;
  }
  const double steps = std::ceil(top / step);
  axis->setRange(0, steps * step);
  axis->setTickCount(static_cast<int>(steps) + 1);
  const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  axis->setLabelFormat(QString("%.%1f").arg(decimals));
}

// Hours and days on a time axis; months, whose lengths differ, as one label
// per month on the month's row ("03.2024").
QAbstractAxis* MakeTimeAxis(ReportKind kind) {
  if (kind == ReportKind::Monthly) {
    auto* months = new QCategoryAxis;
    months->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    return months;
  }
  auto* dates = new QDateTimeAxis;
  dates->setFormat(TextsOf(kind).axis_format);
  return dates;
}

QCheckBox* MakeBox(const QString& caption, const QString& name, bool checked, QWidget* parent) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  box->setAccessibleName(caption);
  box->setAccessibleDescription(name);
  box->setChecked(checked);
  return box;
}

QValueAxis* MakeValueAxis(const QString& title, QChart* chart, Qt::Alignment alignment) {
  auto* axis = new QValueAxis;
  axis->setTitleText(title);
  chart->addAxis(axis, alignment);
  return axis;
}

}  // namespace

ArchiveChart::ArchiveChart(ReportKind kind, QWidget* parent)
    : QWidget(parent),
      kind_(kind),
      visibility_box_(MakeBox("График", "ChartVisibleBox", true, this)),
      save_button_(new QPushButton("Сохранить график", this)),
      chart_(new QChart),
      view_(new QChartView(chart_, this)),
      time_axis_(MakeTimeAxis(kind)),
      volume_axis_(MakeValueAxis("Объём, м³", chart_, Qt::AlignLeft)),
      hours_axis_(MakeValueAxis("Время работы, ч", chart_, Qt::AlignRight)) {
  data_.kind = kind;
  visibility_box_->hide();  // shown where the page puts it
  save_button_->setObjectName("ChartSaveButton");
  save_button_->setAccessibleName(save_button_->text());
  save_button_->setAccessibleDescription(save_button_->objectName());
  view_->setAccessibleName("График архива");
  view_->setRenderHint(QPainter::Antialiasing);
  view_->setMinimumHeight(220);

  auto* controls = new QHBoxLayout;
  for (size_t s = 0; s < kChartSeriesCount; ++s) {
    const QString name = Text(ChartSeriesName(s));
    QCheckBox* box = MakeBox(name, "ChartSeries" + name, s < kChartVolumeSeriesCount, this);
    box->setStyleSheet(QString("QCheckBox { color: %1; }")
                           .arg(kChannelColors[s % kChartVolumeSeriesCount].name()));
    connect(box, &QCheckBox::toggled, this, [this] {
      ApplySeriesVisibility();
      UpdateRanges();
    });
    controls->addWidget(box);
    series_boxes_[s] = box;
  }
  controls->addStretch();
  controls->addWidget(save_button_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(controls);
  layout->addWidget(view_, 1);

  // Numbers with the decimal comma, whatever the machine's locale.
  chart_->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
  chart_->setLocalizeNumbers(true);
  chart_->legend()->hide();  // the check boxes name the series in their colours
  chart_->setMargins(QMargins(4, 4, 4, 4));
  chart_->addAxis(time_axis_, Qt::AlignBottom);

  connect(visibility_box_, &QCheckBox::toggled, this, [this] { UpdateVisibility(); });
  connect(save_button_, &QPushButton::clicked, this, [this] { SaveWithDialog(); });
  CreateSeries();
  ApplySeriesVisibility();
  Rebuild();
  UpdateVisibility();
}

void ArchiveChart::ShowWorkbook(const WorkbookModel& workbook) {
  ShowRows(ArchiveChartRows(kind_, workbook));
}

void ArchiveChart::ShowRows(ArchiveChartData data) {
  data_ = std::move(data);
  data_.kind = kind_;
  Rebuild();
  UpdateVisibility();
}

void ArchiveChart::Clear() {
  ShowRows({});
}

void ArchiveChart::SetKind(ReportKind kind) {
  if (kind == kind_) return;
  kind_ = kind;
  // Removing the axis detaches the series from it; a new one of the kind
  // takes its place.
  chart_->removeAxis(time_axis_);
  delete time_axis_;
  time_axis_ = MakeTimeAxis(kind);
  chart_->addAxis(time_axis_, Qt::AlignBottom);
  for (QLineSeries* line : series_) line->attachAxis(time_axis_);
  events_->attachAxis(time_axis_);
  Clear();
}

void ArchiveChart::CreateSeries() {
  for (size_t s = 0; s < kChartSeriesCount; ++s) {
    auto* line = new QLineSeries;
    line->setName(Text(ChartSeriesName(s)));
    QPen pen(kChannelColors[s % kChartVolumeSeriesCount]);
    pen.setWidthF(1.5);
    if (s >= kChartVolumeSeriesCount) pen.setStyle(Qt::DashLine);
    line->setPen(pen);
    line->setMarkerSize(5);
    chart_->addSeries(line);
    line->attachAxis(time_axis_);
    line->attachAxis(s < kChartVolumeSeriesCount ? volume_axis_ : hours_axis_);
    connect(line, &QLineSeries::hovered, this,
            [this, s](const QPointF& point, bool shown) { ShowHint(shown, point.x(), s); });
    series_[s] = line;
  }
  // Event marks sit on the time axis, at the volume axis' zero.
  events_ = new QScatterSeries;
  events_->setName("События");
  events_->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
  events_->setMarkerSize(9);
  events_->setColor(kEventColor);
  events_->setBorderColor(kEventColor);
  chart_->addSeries(events_);
  events_->attachAxis(time_axis_);
  events_->attachAxis(volume_axis_);
  connect(events_, &QScatterSeries::hovered, this, [this](const QPointF& point, bool shown) {
    ShowHint(shown, point.x(), kChartSeriesCount);
  });
}

void ArchiveChart::Rebuild() {
  x_.clear();
  for (const ArchiveChartRow& row : data_.rows) x_.push_back(AxisTime(row.at));
  // Every range change lays out the points the series hold: empty them,
  // set the ranges, then fill each series once.
  for (QLineSeries* line : series_) line->clear();
  events_->clear();
  UpdateRanges();

  const auto& rows = data_.rows;
  for (size_t s = 0; s < kChartSeriesCount; ++s) {
    // A point without a value breaks the line there; a value with no
    // neighbour to draw a line to is shown as a point instead.
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
      points.append(QPointF(x_[i], rows[i].values[s].value_or(qQNaN())));
    }
    QLineSeries* line = series_[s];
    line->clearPointsConfiguration();
    line->replace(points);
    for (size_t i = 0; i < rows.size(); ++i) {
      const bool before = i > 0 && rows[i - 1].values[s];
      const bool after = i + 1 < rows.size() && rows[i + 1].values[s];
      if (rows[i].values[s] && !before && !after) {
        line->setPointConfiguration(static_cast<int>(i), QXYSeries::PointConfiguration::Visibility,
                                    true);
      }
    }
  }
  QList<QPointF> marks;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i].events.empty()) marks.append(QPointF(x_[i], 0));
  }
  events_->replace(marks);
}

void ArchiveChart::ApplySeriesVisibility() {
  bool any_hours = false;
  for (size_t s = 0; s < kChartSeriesCount; ++s) {
    const bool shown = series_boxes_[s]->isChecked();
    series_[s]->setVisible(shown);
    any_hours |= shown && s >= kChartVolumeSeriesCount;
  }
  hours_axis_->setVisible(any_hours);
}

void ArchiveChart::UpdateRanges() {
  const KindTexts texts = TextsOf(kind_);
  double low = static_cast<double>(QDateTime::currentMSecsSinceEpoch());
  double high = low + 2 * texts.half_interval_ms;
  if (!x_.empty()) {
    const auto [first, last] = std::minmax_element(x_.begin(), x_.end());
    // Room beside a single row, and for the first and last month's labels.
    const double margin =
        *first == *last || kind_ == ReportKind::Monthly ? texts.half_interval_ms : 0;
    low = *first - margin;
    high = *last + margin;
  }
  if (auto* dates = qobject_cast<QDateTimeAxis*>(time_axis_)) {
    const TimeTicks ticks = WholeTicks(kind_, low, high);
    dates->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ticks.low)),
                    QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ticks.high)));
    dates->setTickCount(ticks.count);
  } else if (auto* months = qobject_cast<QCategoryAxis*>(time_axis_)) {
    for (const QString& label : months->categoriesLabels()) months->remove(label);
    months->setStartValue(low);
    months->setRange(low, high);
    // Every month's label, or every few months' over a long range.
    const size_t step = x_.size() / 12 + 1;
    for (size_t i = 0; i < x_.size(); i += step) {
      months->append(Text(TableDateText(data_.rows[i].at).substr(3)), x_[i]);
    }
  }
  // Each axis spans zero to the largest value it shows.
  double top[2] = {0, 0};
  for (const ArchiveChartRow& row : data_.rows) {
    for (size_t s = 0; s < kChartSeriesCount; ++s) {
      if (row.values[s] && series_boxes_[s]->isChecked() && std::isfinite(*row.values[s])) {
        double& t = top[s < kChartVolumeSeriesCount ? 0 : 1];
        t = std::max(t, *row.values[s]);
      }
    }
  }
  SetValueRange(volume_axis_, top[0] * 1.05);
  SetValueRange(hours_axis_, top[1] * 1.05);
}

void ArchiveChart::UpdateVisibility() {
  setVisible(!data_.rows.empty() && visibility_box_->isChecked());
}

void ArchiveChart::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The first time the chart is on screen under a table, the table keeps
  // the larger part; later the splitter stays where the user put it.
  auto* splitter = qobject_cast<QSplitter*>(parentWidget());
  if (sized_ || splitter == nullptr || splitter->count() != 2 || splitter->height() <= 0) return;
  const int height = splitter->height() - splitter->handleWidth();
  splitter->setSizes({height * 3 / 5, height - height * 3 / 5});
  sized_ = true;
}

void ArchiveChart::ShowHint(bool shown, double x, size_t series) {
  if (!shown || x_.empty()) {
    QToolTip::hideText();
    return;
  }
  size_t nearest = 0;
  for (size_t i = 1; i < x_.size(); ++i) {
    if (std::abs(x_[i] - x) < std::abs(x_[nearest] - x)) nearest = i;
  }
  const ArchiveChartRow& row = data_.rows[nearest];
  hint_ = Text(series < kChartSeriesCount ? ChartValueHint(row, series) : ChartEventHint(row));
  QToolTip::showText(QCursor::pos(), hint_, view_);
}

bool ArchiveChart::SaveImage(const QString& path, QString* error) const {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    *error = file.errorString();
    return false;
  }
  if (QFileInfo(path).suffix().compare("svg", Qt::CaseInsensitive) == 0) {
    QSvgGenerator svg;
    svg.setOutputDevice(&file);
    svg.setSize(view_->size());
    svg.setViewBox(QRect(QPoint(0, 0), view_->size()));
    svg.setTitle(Text(TextsOf(kind_).file_name));
    QPainter painter(&svg);
    view_->render(&painter);
  } else if (!view_->grab().save(&file, "PNG")) {
    *error = "Не удалось записать рисунок";
    file.cancelWriting();
    return false;
  }
  if (!file.commit()) {
    *error = file.errorString();
    return false;
  }
  return true;
}

void ArchiveChart::SaveWithDialog() {
  static QString folder;  // the folder of the last saved chart in this run
  const QString png = "Рисунок PNG (*.png)";
  const QString svg = "Рисунок SVG (*.svg)";
  QString filter = png;
  const QString suggested =
      (folder.isEmpty() ? QString() : folder + "/") + Text(TextsOf(kind_).file_name) + ".png";
  QString path =
      QFileDialog::getSaveFileName(this, "Сохранить график", suggested, png + ";;" + svg, &filter);
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += filter == svg ? ".svg" : ".png";
  folder = QFileInfo(path).absolutePath();
  QString error;
  if (!SaveImage(path, &error)) {
    QMessageBox::critical(this, kProgramTitle, error);
  }
}

}  // namespace flovir
