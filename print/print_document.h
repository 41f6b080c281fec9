#pragma once
// A printable document: a title, the header every page carries (the meter
// and the date) and a body laid out by Qt's text engine. It goes onto the
// pages of any QPagedPaintDevice: a PDF writer, or the printer that the
// window's print dialog hands over.

#include <QPageLayout>
#include <QTextDocument>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class QPagedPaintDevice;
class QTextCursor;

namespace flovir::print {

// A PDF that could not be written; the message is the user's, in Russian.
class PrintError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct PageHeader {
  std::string meter;  // the meter's name, line, port or host and address
  std::string date;   // when the document was made: "09.12.2026 17:40"
};

// The header's date of a moment (days since 30.12.1899).
std::string HeaderDate(double now);

class PrintDocument {
 public:
  PrintDocument(std::string title, PageHeader header,
                QPageLayout::Orientation orientation = QPageLayout::Portrait);

  const std::string& Title() const { return title_; }
  const PageHeader& Header() const { return header_; }
  // A4 with 12 mm margins in the document's orientation.
  QPageLayout PageLayout() const;

  QTextDocument& Body() { return *body_; }
  const QTextDocument& Body() const { return *body_; }

  // Lays the body out on the device's pages (its page layout as it is) and
  // paints them with the header and "стр. N из M"; returns the page count.
  int Render(QPagedPaintDevice& device) const;

 private:
  std::string title_;
  PageHeader header_;
  QPageLayout::Orientation orientation_;
  std::unique_ptr<QTextDocument> body_;
};

// Writes the document as a PDF file at path, A4, through a temporary file in
// the same folder renamed over the target, so a failure keeps an older
// file. Throws PrintError naming the file and the reason. Needs a
// QGuiApplication (fonts).
void WritePdf(const PrintDocument& document, const std::string& path);

// --- Building a body ---------------------------------------------------------

// The body's fonts: a proportional one for text and tables, a fixed one for
// the test page's lines.
QFont TextFont(double points = 9);
QFont FixedFont(double points = 8);

void AddHeading(QTextCursor& cursor, const std::string& text, double points = 13);
void AddParagraph(QTextCursor& cursor, const std::string& text, bool bold = false,
                  double points = 9);

// A table of text cells: `header_rows` rows at the top, bold on grey and
// repeated on every page; `right_aligned` columns (the numbers) to the
// right; `bold_rows` (the totals) in bold. Column widths in percent of the
// text width; empty for widths from the content.
struct TableSpec {
  std::vector<std::vector<std::string>> rows;
  int header_rows = 1;
  std::vector<bool> right_aligned;
  std::vector<double> widths;
  std::vector<size_t> bold_rows;
  std::vector<bool> fixed_pitch;  // columns in the fixed font (the events' marks)
  double points = 8;
};
void AddTable(QTextCursor& cursor, const TableSpec& table);

}  // namespace flovir::print
