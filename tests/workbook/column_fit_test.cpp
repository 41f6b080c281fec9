// What a number shows under the formats the workbooks use, and the column
// widths fitted from it.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "workbook/model.h"
#include "workbook/number_display.h"
#include "workbook/serial_date.h"
#include "workbook/text_measure.h"
#include "workbook/workbook.h"

namespace flovir {
namespace {

TEST(NumberDisplay, FixedDecimalFormats) {
  EXPECT_EQ(DisplayNumber(2.5, "0"), "3");
  EXPECT_EQ(DisplayNumber(0.10000000149011612, "#######0.0"), "0,1");
  EXPECT_EQ(DisplayNumber(12.345678, "#######0.000"), "12,346");
  EXPECT_EQ(DisplayNumber(-0.5, "#######0.00"), "-0,50");
  EXPECT_EQ(DisplayNumber(-0.0001, "#######0.00"), "0,00");  // no minus for a zero shown
  EXPECT_EQ(DisplayNumber(123456789.0, "#######0.00000"), "123456789,00000");
  EXPECT_EQ(DisplayNumber(0.25, "#.00"), ",25");
  EXPECT_EQ(DisplayNumber(1234567.891, "#,##0.00"), "1 234 567,89");
  EXPECT_EQ(DisplayNumber(0.125, "0.0%"), "12,5%");
  EXPECT_EQ(DisplayNumber(-3, "0;(0)"), "(3)");
  EXPECT_EQ(DisplayNumber(5, "\"м3 \"0"), "м3 5");
}

TEST(NumberDisplay, DatesAndTimesWithRussianConventions) {
  const double t = EncodeDateTime({2009, 2, 1, 7, 5, 9});
  EXPECT_EQ(DisplayNumber(t, "dd/mm/yy"), "01.02.09");
  EXPECT_EQ(DisplayNumber(t, "Hh:mm"), "07:05");
  EXPECT_EQ(DisplayNumber(t, "h:mm:ss"), "7:05:09");
  EXPECT_EQ(DisplayNumber(t, "mmmm yyyy"), "Февраль 2009");
  EXPECT_EQ(DisplayNumber(EncodeDate(2008, 12, 1), "mmmm yyyy"), "Декабрь 2008");
  EXPECT_EQ(DisplayNumber(t, "d mmm yyyy"), "1 фев 2009");
  EXPECT_EQ(DisplayNumber(t, "dddd"), "воскресенье");
  EXPECT_EQ(DisplayNumber(t, "m/d/yy h:mm"), "2.1.09 7:05");
  EXPECT_EQ(DisplayNumber(EncodeDateTime({2009, 2, 1, 15, 0, 0}), "h:mm AM/PM"), "3:00 PM");
  EXPECT_EQ(DisplayNumber(1.5, "[h]:mm"), "36:00");
}

TEST(NumberDisplay, GeneralShowsTheShortestText) {
  EXPECT_EQ(DisplayNumber(0.1, ""), "0,1");
  EXPECT_EQ(DisplayNumber(0.1, "General"), "0,1");
  EXPECT_EQ(DisplayNumber(100, "GENERAL"), "100");
}

TEST(TextMeasure, ArialTenPointAtNinetySixDpi) {
  const WorkbookFont font;
  const TextMeasurer& m = DefaultTextMeasurer();
  EXPECT_EQ(m.Width(font, "8"), 7);
  EXPECT_EQ(m.Width(font, "12345678"), 56);
  EXPECT_EQ(m.Width(font, "i"), 3);
  EXPECT_EQ(m.Width(font, "W"), 12);
  EXPECT_EQ(m.Width(font, "Ж"), 12);
  EXPECT_EQ(m.Width(font, "ж"), 9);
  EXPECT_EQ(m.Width(font, "漢"), m.Width(font, "?"));
  WorkbookFont big = font;
  big.height_twips = 400;  // 20 pt
  EXPECT_EQ(m.Width(big, "8"), 15);
}

class FixedWidths : public TextMeasurer {
 public:
  int Width(const WorkbookFont& font, std::string_view text) const override {
    return static_cast<int>(text.size()) * (font.Bold() ? 20 : 10);
  }
};

TEST(FitColumnWidth, WidensOnlyColumnsWiderThanTheDefault) {
  WorkbookModel model = WorkbookModel::MakeArchiveWorkbook();
  model.SetTextCell(1, 0, 0, "Часовой архив с 01.02.2009 по 02.02.2009", 0);
  model.SetNumberCell(1, 0, 8, EncodeDate(2009, 2, 1), 1);
  model.SetTextCell(1, 2, 7, "V1", 4);  // narrower than the default
  EXPECT_EQ(model.FitColumnWidth(1, 2), 56);
  EXPECT_TRUE(model.Data().sheets[1].column_widths.empty());

  const WorkbookFont font;
  const int widest = DefaultTextMeasurer().Width(font, "Часовой архив с 01.02.2009 по 02.02.2009");
  EXPECT_EQ(model.FitColumnWidth(1, 0), widest);
  const auto& widths = model.Data().sheets[1].column_widths;
  ASSERT_EQ(widths.size(), 1u);
  EXPECT_EQ(widths[0].first_column, 0);
  EXPECT_EQ(widths[0].last_column, 0);
  EXPECT_EQ(widths[0].width, std::lround((widest + 4) * 256.0 / 7));
  // Fitting again updates the same entry.
  model.SetTextCell(1, 0, 1, std::string(60, 'W'), 0);
  model.FitColumnWidth(1, 0);
  ASSERT_EQ(widths.size(), 1u);
  EXPECT_EQ(widths[0].width, std::lround((60 * 12 + 4) * 256.0 / 7));
}

TEST(FitColumnWidth, MeasuresNumbersAsTheirFormatShowsThem) {
  WorkbookModel model = WorkbookModel::MakeParameterWorkbook();
  model.SetTextMeasurer(std::make_shared<FixedWidths>());
  model.SetNumberCell(0, 1, 0, 123456789.125, 6);  // "123456789,12500"
  model.SetNumberCell(0, 1, 1, 123456789.125, 1);  // "123456789"
  EXPECT_EQ(model.FitColumnWidth(0, 1), 150);
  EXPECT_EQ(model.Data().sheets[0].column_widths.at(0).width, std::lround(154 * 256.0 / 10));
  // The font of the cell's format is the one measured.
  WorkbookFont bold;
  bold.weight = 700;
  model.Data().fonts.push_back(bold);
  model.Data().cell_formats[0].font = 5;
  model.SetTextCell(0, 2, 0, "abcdefghijklmn", 0);
  EXPECT_EQ(model.FitColumnWidth(0, 2), 14 * 20);
}

TEST(FitColumnWidth, SplitsARangeEntryAndKeepsTheOtherColumns) {
  WorkbookModel model = WorkbookModel::MakeParameterWorkbook();
  auto& widths = model.Data().sheets[0].column_widths;
  widths.push_back(ColumnWidth{0, 4, 5000});
  model.SetTextCell(0, 2, 0, std::string(20, 'W'), 0);
  model.FitColumnWidth(0, 2);
  ASSERT_EQ(widths.size(), 3u);
  int covered = 0;
  for (const auto& w : widths) {
    covered += w.last_column - w.first_column + 1;
    if (w.first_column == 2) {
      EXPECT_EQ(w.last_column, 2);
      EXPECT_NE(w.width, 5000);
    } else {
      EXPECT_EQ(w.width, 5000);
    }
  }
  EXPECT_EQ(covered, 5);
}

}  // namespace
}  // namespace flovir
