#include "print/service_chart.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "print/print_document.h"
#include "reports/number_format.h"

namespace flovir::print {

namespace {

const QColor kSeriesColours[] = {QColor(31, 119, 180), QColor(214, 39, 40), QColor(44, 160, 44),
                                 QColor(255, 127, 14)};

QString AxisText(double value, double span) {
  return QString::fromStdString(FormatFixed(value, 15, span >= 100 ? 0 : span >= 1 ? 1 : 3));
}

}  // namespace

QImage ArchiveVolumeChart(ReportKind kind, const ArchiveTableData& archive, int width, int height) {
  if (archive.rows.empty()) return {};
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  QFont font = TextFont();
  font.setPixelSize(std::max(8, height / 18));
  painter.setFont(font);
  const double text = painter.fontMetrics().height();

  double low = 0, high = 0;
  for (const ArchiveIntervalRow& row : archive.rows) {
    for (size_t c = 0; c < 4; ++c) {
      if (!std::isfinite(row.values[c])) continue;
      low = std::min(low, row.values[c]);
      high = std::max(high, row.values[c]);
    }
  }
  if (high <= low) high = low + 1;
  const double span = high - low;
  const QRectF plot(text * 6, text * 1.8, width - text * 6.5, height - text * 3.6);

  painter.setPen(QPen(QColor(200, 200, 200), 1));
  for (int i = 0; i <= 4; ++i) {
    const double y = plot.bottom() - plot.height() * i / 4;
    painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    painter.setPen(Qt::black);
    painter.drawText(QRectF(0, y - text / 2, plot.left() - text / 3, text),
                     Qt::AlignRight | Qt::AlignVCenter, AxisText(low + span * i / 4, span));
    painter.setPen(QPen(QColor(200, 200, 200), 1));
  }
  painter.setPen(Qt::black);
  painter.drawRect(plot);

  const size_t count = archive.rows.size();
  const auto x_of = [&](size_t i) {
    return count == 1 ? plot.center().x() : plot.left() + plot.width() * i / (count - 1);
  };
  const auto label = [&](size_t i) {
    const ArchiveIntervalRow& row = archive.rows[i];
    std::string date = TableDateText(row.date);
    if (kind == ReportKind::Hourly) date += TableTimeText(row.time);
    return QString::fromStdString(date);
  };
  painter.drawText(QRectF(plot.left(), plot.bottom() + 2, plot.width(), text),
                   Qt::AlignLeft | Qt::AlignTop, label(0));
  if (count > 1) {
    painter.drawText(QRectF(plot.left(), plot.bottom() + 2, plot.width(), text),
                     Qt::AlignRight | Qt::AlignTop, label(count - 1));
  }

  for (size_t c = 0; c < 4; ++c) {
    QPainterPath path;
    bool drawing = false;
    for (size_t i = 0; i < count; ++i) {
      const double v = archive.rows[i].values[c];
      if (!std::isfinite(v)) {
        drawing = false;
        continue;
      }
      const QPointF point(x_of(i), plot.bottom() - plot.height() * (v - low) / span);
      if (drawing) {
        path.lineTo(point);
      } else {
        path.moveTo(point);
        drawing = true;
      }
    }
    painter.setPen(QPen(kSeriesColours[c], std::max(1.5, height / 150.0)));
    painter.drawPath(path);
    if (count == 1) painter.drawEllipse(path.currentPosition(), 3, 3);
  }

  // The legend above the plot.
  painter.setPen(Qt::black);
  double x = plot.left();
  painter.drawText(QRectF(x, 0, plot.width(), text * 1.5), Qt::AlignLeft | Qt::AlignVCenter,
                   "Объём за интервал, м3:");
  x += painter.fontMetrics().horizontalAdvance("Объём за интервал, м3:") + text;
  for (size_t c = 0; c < 4; ++c) {
    painter.setPen(QPen(kSeriesColours[c], std::max(2.0, height / 100.0)));
    painter.drawLine(QPointF(x, text * 0.75), QPointF(x + text * 1.5, text * 0.75));
    painter.setPen(Qt::black);
    const QString name = QString("V%1").arg(c + 1);
    painter.drawText(QRectF(x + text * 1.8, 0, text * 3, text * 1.5),
                     Qt::AlignLeft | Qt::AlignVCenter, name);
    x += text * 4.5;
  }
  return image;
}

}  // namespace flovir::print
