#include "ui/charts/archive_chart.h"

#include <qcustomplot.h>
#include <QBoxLayout>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSplitter>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "operations/archive_workbook.h"
#include "reports/archive_layout.h"
#include "reports/archive_table.h"
#include "workbook/serial_date.h"

namespace flovir {

namespace {

// V1-V4 solid, B1-B4 dashed in the colour of their channel.
const QColor kChannelColors[] = {QColor(0x1f, 0x5f, 0xbf), QColor(0x2c, 0x9a, 0x3c),
                                 QColor(0xe0, 0x7b, 0x10), QColor(0x8e, 0x3c, 0xb8)};
const QColor kEventColor(0xd0, 0x20, 0x20);

constexpr double kHour = 3600;
constexpr double kDay = 24 * kHour;
// Rows beyond which the lines are drawn one pixel wide.
constexpr size_t kThinLinesAbove = 1500;
// How near (pixels) the pointer must come to a value for its hint.
constexpr double kHintReach = 10;

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

// The chart's archive; the hourly one for a page that shows none.
const ArchiveLayout& ChartLayout(ReportKind kind) {
  const ArchiveLayout* layout = LayoutOf(kind);
  return layout != nullptr ? *layout : LayoutOf(ArchiveKind::Hourly);
}

// The round steps of a time axis: hours for the hourly archive, then days.
std::vector<double> TimeSteps(ReportKind kind) {
  std::vector<double> steps;
  if (kind == ReportKind::Hourly) {
    for (double h : {1, 2, 3, 4, 6, 8, 12}) steps.push_back(h * kHour);
  }
  for (double d : {1, 2, 3, 4, 5, 7, 10, 14, 15, 30, 61, 91, 183, 365}) steps.push_back(d * kDay);
  return steps;
}

// The smallest round step that crosses `span` in at most eight steps.
double TimeStep(ReportKind kind, double span) {
  constexpr int kMaxSteps = 8;
  const std::vector<double> steps = TimeSteps(kind);
  for (double step : steps) {
    if (span / step <= kMaxSteps + 1e-9) return step;
  }
  return steps.back();
}

// Zero to a round number above `top`, in at most five round steps: the
// axis' upper end, its step and the decimals of its labels.
struct ValueScale {
  double high = 1;
  double step = 0.2;
  int decimals = 1;
};

ValueScale RoundScale(double top) {
  if (!(top > 0) || !std::isfinite(top)) top = 1;
  const double magnitude = std::pow(10.0, std::floor(std::log10(top / 5)));
  double step = magnitude;
  for (const double factor : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    step = factor * magnitude;
    if (top / step <= 5) break;
  }
  const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  return {std::ceil(top / step - 1e-9) * step, step, decimals};
}

QCheckBox* MakeBox(const QString& caption, const QString& name, bool checked, QWidget* parent) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  box->setAccessibleName(caption);
  box->setAccessibleDescription(name);
  box->setChecked(checked);
  return box;
}

QPushButton* MakeButton(const QString& caption, const QString& name, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setAccessibleName(caption);
  button->setAccessibleDescription(name);
  return button;
}

}  // namespace

// Ticks of the time axis on whole hours, or whole days once a step is a day
// or more, at most eight steps apart over the range shown; months, whose
// lengths differ, as one label per month on the month's row ("03.2024").
// Keys count seconds since 30.12.1899 with no time zone, as the meter's
// clock has none; the ticks are whole steps from the start of the whole
// range, itself a whole hour or day.
class TimeTicker : public QCPAxisTicker {
 public:
  ReportKind kind = ReportKind::Hourly;
  std::vector<double> row_keys;  // the monthly rows' keys, in order
  std::vector<QString> row_labels;

 protected:
  double getTickStep(const QCPRange& range) override { return TimeStep(kind, range.size()); }
  int getSubTickCount(double) override { return 0; }
  QVector<double> createTickVector(double step, const QCPRange& range) override {
    QVector<double> ticks;
    if (kind == ReportKind::Monthly) {
      const auto first = std::lower_bound(row_keys.begin(), row_keys.end(), range.lower);
      const auto last = std::upper_bound(row_keys.begin(), row_keys.end(), range.upper);
      const size_t every = static_cast<size_t>(last - first) / 12 + 1;
      for (auto it = first; it < last; it += static_cast<std::ptrdiff_t>(every)) {
        ticks.append(*it);
        if (static_cast<size_t>(last - it) <= every) break;
      }
      return ticks;
    }
    const double origin = tickOrigin();
    for (double tick = origin + std::ceil((range.lower - origin) / step - 1e-9) * step;
         tick <= range.upper + 1e-6; tick += step) {
      ticks.append(tick);
    }
    return ticks;
  }
  QString getTickLabel(double tick, const QLocale&, QChar, int) override {
    if (kind == ReportKind::Monthly) {
      const auto it = std::lower_bound(row_keys.begin(), row_keys.end(), tick - 0.5);
      if (it != row_keys.end() && *it - tick < 0.5) {
        return row_labels[static_cast<size_t>(it - row_keys.begin())];
      }
    }
    const CivilDateTime t = DecodeDateTime(tick / kDay);
    const QDateTime at(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute));
    return at.toString(QString::fromUtf8(ChartLayout(kind).chart_tick_format));
  }
};

// While it lives, the plot carries the chart's title above the axes and a
// legend of the shown series and the event marks below them, as a saved or
// printed chart does.
class ArchiveChart::Framed {
 public:
  explicit Framed(ArchiveChart& chart) : plot_(chart.plot_) {
    QCPLayoutGrid* layout = plot_->plotLayout();
    QFont font = plot_->font();
    font.setPointSizeF(font.pointSizeF() * 1.2);
    font.setBold(true);
    title_ = new QCPTextElement(plot_, chart.Title(), font);
    layout->insertRow(0);
    layout->addElement(0, 0, title_);
    plot_->axisRect()->insetLayout()->take(plot_->legend);
    layout->addElement(2, 0, plot_->legend);
    layout->setRowStretchFactor(0, 0.001);
    layout->setRowStretchFactor(2, 0.001);
    plot_->legend->clearItems();
    for (size_t s = 0; s < kChartSeriesCount; ++s) {
      if (chart.series_[s]->visible()) chart.series_[s]->addToLegend();
    }
    chart.events_->addToLegend();
    plot_->legend->setVisible(true);
  }
  ~Framed() {
    QCPLayoutGrid* layout = plot_->plotLayout();
    layout->take(plot_->legend);
    layout->remove(title_);
    layout->simplify();
    plot_->axisRect()->insetLayout()->addElement(plot_->legend, Qt::AlignRight | Qt::AlignTop);
    plot_->legend->setVisible(false);
    plot_->replot(QCustomPlot::rpQueuedReplot);
  }
  Framed(const Framed&) = delete;
  Framed& operator=(const Framed&) = delete;

 private:
  QCustomPlot* plot_;
  QCPTextElement* title_;
};

ArchiveChart::ArchiveChart(ReportKind kind, QWidget* parent)
    : QWidget(parent),
      kind_(kind),
      visibility_box_(MakeBox("График", "ChartVisibleBox", true, this)),
      reset_button_(MakeButton("Весь график", "ChartResetButton", this)),
      save_button_(MakeButton("Сохранить график", "ChartSaveButton", this)),
      plot_(new QCustomPlot(this)),
      ticker_(new TimeTicker) {
  data_.kind = kind;
  ticker_->kind = kind;
  visibility_box_->hide();  // shown where the page puts it
  reset_button_->setToolTip("Колесо мыши, +/− и стрелки меняют масштаб; Home — весь график");
  plot_->setObjectName("ChartPlot");
  plot_->setAccessibleName("График архива");
  plot_->setMinimumHeight(220);
  plot_->setFocusPolicy(Qt::StrongFocus);
  plot_->setMouseTracking(true);
  plot_->installEventFilter(this);

  auto* controls = new QHBoxLayout;
  for (size_t s = 0; s < kChartSeriesCount; ++s) {
    const QString name = Text(ChartSeriesName(s));
    QCheckBox* box = MakeBox(name, "ChartSeries" + name, s < kChartVolumeSeriesCount, this);
    box->setStyleSheet(QString("QCheckBox { color: %1; }")
                           .arg(kChannelColors[s % kChartVolumeSeriesCount].name()));
    connect(box, &QCheckBox::toggled, this, [this] {
      ApplySeriesVisibility();
      UpdateValueRanges();
      plot_->replot(QCustomPlot::rpQueuedReplot);
    });
    controls->addWidget(box);
    series_boxes_[s] = box;
  }
  controls->addStretch();
  // The buttons under the chart: beside the series they would widen a
  // small window (the printing buttons join them).
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(reset_button_);
  buttons->addWidget(save_button_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(controls);
  layout->addWidget(plot_, 1);
  layout->addLayout(buttons);

  // Numbers with the decimal comma, whatever the machine's locale.
  QLocale russian(QLocale::Russian, QLocale::Russia);
  russian.setNumberOptions(QLocale::OmitGroupSeparator);
  plot_->setLocale(russian);
  plot_->xAxis->setTicker(ticker_);
  plot_->yAxis->setLabel("Объём, м³");
  plot_->yAxis2->setLabel("Время работы, ч");
  for (QCPAxis* axis : {plot_->yAxis, plot_->yAxis2}) {
    QSharedPointer<QCPAxisTickerFixed> fixed(new QCPAxisTickerFixed);
    fixed->setScaleStrategy(QCPAxisTickerFixed::ssNone);
    axis->setTicker(fixed);
    axis->setNumberFormat("f");
  }
  plot_->legend->setVisible(false);  // the check boxes name the series on screen
  plot_->legend->setFillOrder(QCPLegend::foColumnsFirst);
  plot_->legend->setWrap(static_cast<int>(kChartSeriesCount) + 1);
  plot_->legend->setBorderPen(Qt::NoPen);
  plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  plot_->axisRect()->setRangeDrag(Qt::Horizontal);
  plot_->axisRect()->setRangeZoom(Qt::Horizontal);
  plot_->axisRect()->setRangeZoomAxes(plot_->xAxis, nullptr);
  plot_->axisRect()->setRangeDragAxes(plot_->xAxis, nullptr);

  connect(plot_->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
          [this](const QCPRange& range) { ClampTimeRange(range); });
  connect(plot_, &QCustomPlot::mouseMove, this,
          [this](QMouseEvent* event) { HintAt(event->position()); });
  connect(plot_, &QCustomPlot::mouseDoubleClick, this, [this] { ResetZoom(); });
  connect(visibility_box_, &QCheckBox::toggled, this, [this] { UpdateVisibility(); });
  connect(reset_button_, &QPushButton::clicked, this, [this] { ResetZoom(); });
  connect(save_button_, &QPushButton::clicked, this, [this] { SaveWithDialog(); });
  CreateGraphs();
  ApplySeriesVisibility();
  ShowRows({});
}

ArchiveChart::~ArchiveChart() = default;

double ArchiveChart::KeyOf(double serial) {
  return std::round(serial * kDay);
}

void ArchiveChart::CreateGraphs() {
  for (size_t s = 0; s < kChartSeriesCount; ++s) {
    QCPAxis* values = s < kChartVolumeSeriesCount ? plot_->yAxis : plot_->yAxis2;
    QPen pen(kChannelColors[s % kChartVolumeSeriesCount]);
    pen.setWidthF(1.5);
    if (s >= kChartVolumeSeriesCount) pen.setStyle(Qt::DashLine);
    QCPGraph* line = plot_->addGraph(plot_->xAxis, values);
    line->setName(Text(ChartSeriesName(s)));
    line->setPen(pen);
    series_[s] = line;
    // A value between two gaps has no line to be drawn on.
    QCPGraph* lone = plot_->addGraph(plot_->xAxis, values);
    lone->setName(line->name());
    lone->setLineStyle(QCPGraph::lsNone);
    lone->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, pen.color(), pen.color(), 5));
    lone->removeFromLegend();
    lone_[s] = lone;
  }
  // Event marks sit on the time axis, at the volume axis' zero.
  events_ = plot_->addGraph(plot_->xAxis, plot_->yAxis);
  events_->setName("События");
  events_->setLineStyle(QCPGraph::lsNone);
  events_->setScatterStyle(
      QCPScatterStyle(QCPScatterStyle::ssTriangle, kEventColor, kEventColor, 9));
  plot_->legend->clearItems();
}

void ArchiveChart::ShowWorkbook(const WorkbookModel& workbook,
                                const std::vector<ArchiveEntry>& entries) {
  ShowRows(ArchiveChartRows(kind_, workbook, entries));
}

void ArchiveChart::ShowRows(ArchiveChartData data) {
  data_ = std::move(data);
  data_.kind = kind_;
  const auto& rows = data_.rows;
  // A chart coming into view is drawn at once: empty then, and once more
  // with its rows on the next turn of the event loop.
  if (!isVisible()) {
    for (int g = 0; g < plot_->graphCount(); ++g) plot_->graph(g)->data()->clear();
    UpdateVisibility();
  }
  x_.clear();
  x_.reserve(rows.size());
  for (const ArchiveChartRow& row : rows) x_.push_back(KeyOf(row.at));
  const QVector<double> keys(x_.begin(), x_.end());
  for (size_t s = 0; s < kChartSeriesCount; ++s) {
    QVector<double> values(static_cast<qsizetype>(rows.size()));
    QVector<double> lone_keys;
    QVector<double> lone_values;
    for (size_t i = 0; i < rows.size(); ++i) {
      const std::optional<double>& value = rows[i].values[s];
      values[static_cast<qsizetype>(i)] = value.value_or(qQNaN());
      const bool before = i > 0 && rows[i - 1].values[s];
      const bool after = i + 1 < rows.size() && rows[i + 1].values[s];
      if (value && !before && !after) {
        lone_keys.append(x_[i]);
        lone_values.append(*value);
      }
    }
    series_[s]->setData(keys, values, true);
    // A wide pen costs a stroke of every zigzag the lines make: over many
    // rows (a year of hours takes seconds to draw so) the lines are thin
    // and drawn without antialiasing.
    const bool dense = rows.size() > kThinLinesAbove;
    QPen pen = series_[s]->pen();
    pen.setWidthF(dense ? 1.0 : 1.5);
    series_[s]->setPen(pen);
    series_[s]->setAntialiased(!dense);
    lone_[s]->setData(lone_keys, lone_values, true);
  }
  QVector<double> marks;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i].events.empty()) marks.append(x_[i]);
  }
  events_->setData(marks, QVector<double>(marks.size(), 0.0), true);

  ticker_->row_keys.clear();
  ticker_->row_labels.clear();
  if (kind_ == ReportKind::Monthly) {
    ticker_->row_keys = x_;
    for (const ArchiveChartRow& row : rows) {
      ticker_->row_labels.push_back(Text(TableDateText(row.at).substr(3)));
    }
  }
  // The whole range: hours and days widened to whole steps, so that the
  // ends are ticks too; months with room for the first and last labels.
  const ArchiveLayout& texts = ChartLayout(kind_);
  double low = 0;
  double high = 2 * texts.chart_half_interval_s;
  if (!x_.empty()) {
    const auto [first, last] = std::minmax_element(x_.begin(), x_.end());
    const double margin =
        *first == *last || kind_ == ReportKind::Monthly ? texts.chart_half_interval_s : 0;
    low = *first - margin;
    high = *last + margin;
  }
  if (kind_ != ReportKind::Monthly) {
    const double unit = kind_ == ReportKind::Hourly ? kHour : kDay;
    const double start = std::floor(low / unit) * unit;
    const double step = TimeStep(kind_, high - start);
    low = start;
    high = start + std::max(1.0, std::ceil((high - start) / step - 1e-9)) * step;
  }
  full_low_ = low;
  full_high_ = high;
  ticker_->setTickOrigin(low);
  ResetZoom();
  UpdateVisibility();
}

void ArchiveChart::Clear() {
  ShowRows({});
}

void ArchiveChart::SetKind(ReportKind kind) {
  if (kind == kind_) return;
  kind_ = kind;
  ticker_->kind = kind;
  Clear();
}

QString ArchiveChart::Title() const {
  QString title = QString::fromUtf8(ChartLayout(kind_).title);
  if (!data_.rows.empty()) {
    title += " " + Text(data_.rows.front().date_text);
    if (data_.rows.size() > 1) title += " – " + Text(data_.rows.back().date_text);
  }
  if (!meter_.isEmpty()) title += ", " + meter_;
  return title;
}

void ArchiveChart::ApplySeriesVisibility() {
  bool any_hours = false;
  for (size_t s = 0; s < kChartSeriesCount; ++s) {
    const bool shown = series_boxes_[s]->isChecked();
    series_[s]->setVisible(shown);
    lone_[s]->setVisible(shown);
    any_hours |= shown && s >= kChartVolumeSeriesCount;
  }
  plot_->yAxis2->setVisible(any_hours);
}

// Each value axis spans zero to the largest value it shows in the time
// range on screen, with a little room below zero for the event marks.
void ArchiveChart::UpdateValueRanges() {
  const QCPRange range = plot_->xAxis->range();
  const auto first = std::lower_bound(x_.begin(), x_.end(), range.lower);
  const auto last = std::upper_bound(x_.begin(), x_.end(), range.upper);
  double top[2] = {0, 0};
  for (auto it = first; it < last; ++it) {
    const ArchiveChartRow& row = data_.rows[static_cast<size_t>(it - x_.begin())];
    for (size_t s = 0; s < kChartSeriesCount; ++s) {
      const std::optional<double>& value = row.values[s];
      if (value && series_boxes_[s]->isChecked() && std::isfinite(*value)) {
        double& t = top[s < kChartVolumeSeriesCount ? 0 : 1];
        t = std::max(t, *value);
      }
    }
  }
  for (int axis = 0; axis < 2; ++axis) {
    QCPAxis* values = axis == 0 ? plot_->yAxis : plot_->yAxis2;
    const ValueScale scale = RoundScale(top[axis] * 1.05);
    values->setRange(-scale.high * 0.04, scale.high);
    values->setNumberPrecision(scale.decimals);
    qSharedPointerCast<QCPAxisTickerFixed>(values->ticker())->setTickStep(scale.step);
  }
}

// Zooming and panning stay within the whole range and show at least one
// interval of the archive.
void ArchiveChart::ClampTimeRange(const QCPRange& range) {
  if (clamping_) return;
  clamping_ = true;
  const double full = full_high_ - full_low_;
  double size =
      std::clamp(range.size(), std::min(full, 2 * ChartLayout(kind_).chart_half_interval_s), full);
  double low = std::clamp(range.lower, full_low_, full_high_ - size);
  if (size != range.size() || low != range.lower) plot_->xAxis->setRange(low, low + size);
  clamping_ = false;
  UpdateValueRanges();
}

void ArchiveChart::ResetZoom() {
  plot_->xAxis->setRange(full_low_, full_high_);
  UpdateValueRanges();
  plot_->replot(QCustomPlot::rpQueuedReplot);
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

bool ArchiveChart::eventFilter(QObject* watched, QEvent* event) {
  if (watched != plot_ || event->type() != QEvent::KeyPress) {
    return QWidget::eventFilter(watched, event);
  }
  QCPAxis* time = plot_->xAxis;
  const double span = time->range().size();
  switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      time->scaleRange(0.8, time->range().center());
      break;
    case Qt::Key_Minus:
      time->scaleRange(1.25, time->range().center());
      break;
    case Qt::Key_Left:
      time->moveRange(-span / 10);
      break;
    case Qt::Key_Right:
      time->moveRange(span / 10);
      break;
    case Qt::Key_Home:
    case Qt::Key_0:
      ResetZoom();
      return true;
    default:
      return QWidget::eventFilter(watched, event);
  }
  plot_->replot(QCustomPlot::rpQueuedReplot);
  return true;
}

QString ArchiveChart::HintAt(const QPointF& pos) {
  hint_.clear();
  if (!x_.empty()) {
    // The row nearest the pointer in time, then the value nearest it there.
    const double key = plot_->xAxis->pixelToCoord(pos.x());
    size_t i = static_cast<size_t>(std::lower_bound(x_.begin(), x_.end(), key) - x_.begin());
    if (i == x_.size() || (i > 0 && key - x_[i - 1] < x_[i] - key)) --i;
    const ArchiveChartRow& row = data_.rows[i];
    double nearest = kHintReach + 0.5;
    if (!row.events.empty() && std::abs(plot_->yAxis->coordToPixel(0) - pos.y()) <= kHintReach) {
      hint_ = Text(ChartEventHint(row));
    } else {
      for (size_t s = 0; s < kChartSeriesCount; ++s) {
        if (!series_[s]->visible() || !row.values[s]) continue;
        const double distance =
            std::abs(series_[s]->valueAxis()->coordToPixel(*row.values[s]) - pos.y());
        if (distance < nearest) {  // the first series of those on one spot
          nearest = distance;
          hint_ = Text(ChartValueHint(row, s));
        }
      }
    }
  }
  if (hint_.isEmpty()) {
    QToolTip::hideText();
  } else {
    QToolTip::showText(plot_->mapToGlobal(pos.toPoint()), hint_, plot_);
  }
  return hint_;
}

QSize ArchiveChart::SavedSize() const {
  return plot_->size().expandedTo(QSize(900, 540));
}

QPicture ArchiveChart::Picture(QSize size) {
  Framed framed(*this);
  QPicture picture;
  QCPPainter painter(&picture);
  painter.setMode(QCPPainter::pmVectorized);
  plot_->toPainter(&painter, size.width(), size.height());
  painter.end();
  return picture;
}

bool ArchiveChart::SaveImage(const QString& path, QString* error) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    *error = file.errorString();
    return false;
  }
  const QSize size = SavedSize();
  bool drawn = false;
  {
    Framed framed(*this);
    if (QFileInfo(path).suffix().compare("pdf", Qt::CaseInsensitive) == 0) {
      // One page of the chart's size, a point to a pixel.
      QPdfWriter pdf(&file);
      pdf.setCreator(kProgramTitle);
      pdf.setTitle(Title());
      pdf.setResolution(72);
      pdf.setPageSize(QPageSize(QSizeF(size), QPageSize::Point, {}, QPageSize::ExactMatch));
      pdf.setPageMargins(QMarginsF());
      QCPPainter painter;
      if (painter.begin(&pdf)) {
        painter.setMode(QCPPainter::pmVectorized);
        plot_->toPainter(&painter, size.width(), size.height());
        drawn = painter.end();
      }
    } else {
      drawn = plot_->toPixmap(size.width(), size.height()).save(&file, "PNG");
    }
  }
  if (!drawn) {
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
  const QString suggested = (save_folder_.isEmpty() ? QString() : save_folder_ + "/") +
                            QString::fromUtf8(ChartLayout(kind_).name) + ".png";
  QString path;
  if (choose_file_) {
    path = choose_file_(this, suggested);
  } else {
    const QString png = "Рисунок PNG (*.png)";
    const QString pdf = "Документ PDF (*.pdf)";
    QString filter = png;
    path = QFileDialog::getSaveFileName(this, "Сохранить график", suggested, png + ";;" + pdf,
                                        &filter);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) {
      path += filter == pdf ? ".pdf" : ".png";
    }
  }
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += ".png";
  save_folder_ = QFileInfo(path).absolutePath();
  QString error;
  if (!SaveImage(path, &error)) QMessageBox::critical(this, kProgramTitle, error);
}

}  // namespace flovir
