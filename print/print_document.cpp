#include "print/print_document.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextTable>

#include "operations/report_files.h"
#include "workbook/platform_files.h"
#include "workbook/serial_date.h"

namespace flovir::print {

namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

std::string TwoDigits(int value) {
  return (value < 10 ? "0" : "") + std::to_string(value);
}

// The PDF's resolution: fine enough for hairlines, small enough for a
// year of hourly entries.
constexpr int kPdfResolution = 300;
constexpr double kMarginMm = 12;

}  // namespace

std::string HeaderDate(double now) {
  const CivilDateTime t = DecodeDateTime(now);
  return TwoDigits(t.day) + "." + TwoDigits(t.month) + "." + std::to_string(t.year) + " " +
         TwoDigits(t.hour) + ":" + TwoDigits(t.minute);
}

PrintDocument::PrintDocument(std::string title, PageHeader header,
                             QPageLayout::Orientation orientation)
    : title_(std::move(title)),
      header_(std::move(header)),
      orientation_(orientation),
      body_(std::make_unique<QTextDocument>()) {
  body_->setDefaultFont(TextFont());
  body_->setDocumentMargin(0);
  body_->setUndoRedoEnabled(false);
}

QPageLayout PrintDocument::PageLayout() const {
  return QPageLayout(QPageSize(QPageSize::A4), orientation_,
                     QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                     QPageLayout::Millimeter);
}

int PrintDocument::Render(QPagedPaintDevice& device) const {
  QPainter painter;
  if (!painter.begin(&device)) return 0;
  const QRectF paper(0, 0, device.width(), device.height());
  const QFont header_font = TextFont(8);
  const QFontMetricsF metrics(header_font, &device);
  const double line = metrics.height();
  const double gap = line / 2;
  const double header_height = 2 * line + gap * 2;
  const double footer_height = line + gap;
  const QSizeF body_size(paper.width(), paper.height() - header_height - footer_height);

  // The layout measures with the device's fonts and resolution, and
  // scales the body's pixel lengths (padding, borders, images) to it.
  std::unique_ptr<QTextDocument> body(body_->clone());
  body->documentLayout()->setPaintDevice(&device);
  body->setPageSize(body_size);
  const int pages = body->pageCount();

  const QPen thin(Qt::black, device.logicalDpiY() / 300.0);
  for (int page = 0; page < pages; ++page) {
    if (page > 0) device.newPage();
    painter.setFont(header_font);
    painter.setPen(Qt::black);
    QFont bold = header_font;
    bold.setBold(true);
    painter.setFont(bold);
    painter.drawText(QRectF(0, 0, paper.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                     Q(title_));
    painter.setFont(header_font);
    painter.drawText(QRectF(0, 0, paper.width(), line), Qt::AlignRight | Qt::AlignVCenter,
                     Q(header_.date));
    painter.drawText(QRectF(0, line, paper.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                     Q("Прибор: " + header_.meter));
    painter.setPen(thin);
    painter.drawLine(QPointF(0, 2 * line + gap / 2), QPointF(paper.width(), 2 * line + gap / 2));
    painter.drawText(QRectF(0, paper.height() - line, paper.width(), line),
                     Qt::AlignRight | Qt::AlignVCenter,
                     Q("стр. " + std::to_string(page + 1) + " из " + std::to_string(pages)));

    painter.save();
    painter.translate(0, header_height - page * body_size.height());
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(0, page * body_size.height(), body_size.width(), body_size.height());
    context.palette.setColor(QPalette::Text, Qt::black);
    painter.setClipRect(context.clip);
    body->documentLayout()->draw(&painter, context);
    painter.restore();
  }
  painter.end();
  return pages;
}

void WritePdf(const PrintDocument& document, const std::string& path) {
  QByteArray bytes;
  {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(kPdfResolution);
    writer.setPageLayout(document.PageLayout());
    writer.setTitle(Q(document.Title()));
    writer.setCreator("flovir");
    if (document.Render(writer) == 0) {
      throw PrintError("файл «" + path + "» не записан: документ не разложен на страницы");
    }
  }
  const ReplaceResult result =
      ReplaceFileContents(path, std::string_view(bytes.constData(), bytes.size()));
  if (!result.error.empty()) {
    throw PrintError("файл «" + path +
                     "» не записан: " + WriteFailureReason(path, false, {}, result.error));
  }
}

QFont TextFont(double points) {
  QFont font;
  font.setFamilies({"Liberation Sans", "DejaVu Sans", "Arial"});
  font.setPointSizeF(points);
  return font;
}

QFont FixedFont(double points) {
  QFont font;
  font.setFamilies({"Liberation Mono", "DejaVu Sans Mono", "Courier New"});
  font.setStyleHint(QFont::Monospace);
  font.setPointSizeF(points);
  return font;
}

void AddHeading(QTextCursor& cursor, const std::string& text, double points) {
  QTextBlockFormat block;
  block.setTopMargin(cursor.document()->isEmpty() ? 0 : 8);
  block.setBottomMargin(4);
  QTextCharFormat format;
  format.setFont(TextFont(points));
  format.setFontWeight(QFont::Bold);
  if (!cursor.document()->isEmpty()) cursor.insertBlock();
  cursor.setBlockFormat(block);
  cursor.setCharFormat(format);
  cursor.insertText(Q(text));
}

void AddParagraph(QTextCursor& cursor, const std::string& text, bool bold, double points) {
  QTextBlockFormat block;
  block.setBottomMargin(2);
  QTextCharFormat format;
  format.setFont(TextFont(points));
  if (bold) format.setFontWeight(QFont::Bold);
  if (!cursor.document()->isEmpty()) cursor.insertBlock();
  cursor.setBlockFormat(block);
  cursor.setCharFormat(format);
  cursor.insertText(Q(text));
}

void AddTable(QTextCursor& cursor, const TableSpec& spec) {
  if (spec.rows.empty()) return;
  size_t columns = 0;
  for (const auto& row : spec.rows) columns = std::max(columns, row.size());
  QTextTableFormat format;
  format.setBorder(0.5);
  format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
  format.setBorderBrush(QColor(96, 96, 96));
  format.setBorderCollapse(true);
  format.setCellSpacing(0);
  format.setCellPadding(2);
  format.setHeaderRowCount(spec.header_rows);
  format.setTopMargin(2);
  format.setBottomMargin(6);
  if (!spec.widths.empty()) {
    QList<QTextLength> widths;
    for (double w : spec.widths) widths.append(QTextLength(QTextLength::PercentageLength, w));
    format.setColumnWidthConstraints(widths);
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
  }
  QTextTable* table =
      cursor.insertTable(static_cast<int>(spec.rows.size()), static_cast<int>(columns), format);
  QTextCharFormat text;
  text.setFont(TextFont(spec.points));
  QTextCharFormat bold = text;
  bold.setFontWeight(QFont::Bold);
  QTextBlockFormat left, right, centre;
  right.setAlignment(Qt::AlignRight);
  centre.setAlignment(Qt::AlignHCenter);
  QTextCharFormat fixed = text;
  fixed.setFont(FixedFont(spec.points));
  QTextCharFormat header_cell;
  header_cell.setBackground(QColor(231, 231, 231));
  for (size_t r = 0; r < spec.rows.size(); ++r) {
    const bool is_header = static_cast<int>(r) < spec.header_rows;
    const bool is_bold = is_header || std::find(spec.bold_rows.begin(), spec.bold_rows.end(), r) !=
                                          spec.bold_rows.end();
    for (size_t c = 0; c < spec.rows[r].size(); ++c) {
      QTextTableCell cell = table->cellAt(static_cast<int>(r), static_cast<int>(c));
      if (is_header) cell.setFormat(header_cell);
      QTextCursor at = cell.firstCursorPosition();
      const bool right_aligned = c < spec.right_aligned.size() && spec.right_aligned[c];
      at.setBlockFormat(is_header ? centre : right_aligned ? right : left);
      const bool fixed_pitch = c < spec.fixed_pitch.size() && spec.fixed_pitch[c];
      at.insertText(Q(spec.rows[r][c]), is_bold ? bold : fixed_pitch && !is_header ? fixed : text);
    }
  }
  cursor.movePosition(QTextCursor::End);
}

}  // namespace flovir::print
