#include "parameters/parameter_table.h"

#include <gtest/gtest.h>

#include <set>

namespace flovir {
namespace {

class ParameterTableTest : public ::testing::Test {
 protected:
  ParameterTable table;
  ParameterBuffer buffer;
};

TEST_F(ParameterTableTest, HeaderRowNamesTheChannelsInBoldRedOnGrey) {
  const char* texts[] = {"", "КАНАЛ1", "КАНАЛ2", "КАНАЛ3", "КАНАЛ4", "", "ОБЩИЕ"};
  for (int column = 0; column < kParameterColumns; ++column) {
    const ParameterCell& cell = table.Cell(0, column);
    if (*texts[column] == '\0') {
      EXPECT_EQ(cell.Kind, CellKind::Empty) << column;
      continue;
    }
    EXPECT_EQ(cell.Kind, CellKind::Text);
    EXPECT_EQ(cell.Text, texts[column]);
    EXPECT_EQ(cell.FontStyle, kFontBold);
    EXPECT_EQ(cell.FontColour, RgbColour(255, 0, 0));
    EXPECT_EQ(cell.Background, RgbColour(231, 231, 231));
    EXPECT_EQ(cell.Alignment, CellAlignment::Centre);
  }
}

TEST_F(ParameterTableTest, NameCellsAreCentredOnGreyAndKeepTheirExactTexts) {
  EXPECT_EQ(table.Cell(1, 0).Text, "Уровень сигнала [УС]");
  EXPECT_EQ(table.Cell(37, 0).Text, "Задержка ПЭП, мкс [zT]");
  EXPECT_EQ(table.Cell(34, 0).Text, "Время усреднения, с [Tу]  ");  // two trailing blanks
  EXPECT_EQ(table.Cell(13, 5).Text, "Modbus байты");
  for (int row = 1; row < kParameterRows; ++row) {
    for (int column : {0, 5}) {
      const ParameterCell& cell = table.Cell(row, column);
      if (column == 5 && row > 13) {
        EXPECT_EQ(cell.Kind, CellKind::Empty) << row;
        continue;
      }
      EXPECT_EQ(cell.Kind, CellKind::Text) << row;
      EXPECT_EQ(cell.Background, kGreyColour);
      EXPECT_EQ(cell.Alignment, CellAlignment::Centre);
      EXPECT_EQ(cell.FontStyle, 0);
      EXPECT_FALSE(cell.Editable);
    }
  }
}

TEST_F(ParameterTableTest, RowThirtyOneHasNoNameButFourEditableValues) {
  EXPECT_EQ(table.Cell(31, 0).Kind, CellKind::Text);
  EXPECT_EQ(table.Cell(31, 0).Text, "");
  const uint16_t expected[] = {30, 80, 120, 160};
  for (int channel = 1; channel <= 4; ++channel) {
    const ParameterCell& cell = table.Cell(31, channel);
    EXPECT_EQ(cell.Kind, CellKind::Value);
    EXPECT_TRUE(cell.Editable);
    EXPECT_EQ(cell.ValueIndex, expected[channel - 1]);
    EXPECT_EQ(cell.Precision, 11);
    EXPECT_EQ(cell.Decimals, 4);
  }
}

TEST_F(ParameterTableTest, MeasuredRowsAreReadOnlyPinkAndTheOthersEditableWhite) {
  for (int row = 1; row < kParameterRows; ++row) {
    for (int channel = 1; channel <= 4; ++channel) {
      const ParameterCell& cell = table.Cell(row, channel);
      ASSERT_EQ(cell.Kind, CellKind::Value);
      EXPECT_EQ(cell.Editable, row > 5) << row;
      EXPECT_EQ(cell.Background, row <= 5 ? RgbColour(255, 224, 224) : RgbColour(255, 255, 255));
      EXPECT_EQ(cell.Alignment, CellAlignment::Right);
      EXPECT_EQ(cell.Margin, 2);
    }
    const ParameterCell& general = table.Cell(row, 6);
    EXPECT_EQ(general.Kind, row <= 13 ? CellKind::Value : CellKind::Empty) << row;
    EXPECT_EQ(general.Editable, row <= 13);
  }
}

// The registers behind the cells: value i is registers 400 + 2i and 401 + 2i.
TEST_F(ParameterTableTest, CellsShowTheMetersRegisterPairs) {
  EXPECT_EQ(400 + 2 * table.Cell(6, 2).ValueIndex, 510);   // "Максимум", channel 2
  EXPECT_EQ(400 + 2 * table.Cell(13, 6).ValueIndex, 844);  // "Modbus байты"
  EXPECT_EQ(table.Cell(32, 1).ValueIndex, 185);
  EXPECT_EQ(table.Cell(37, 4).ValueIndex, 213);
  EXPECT_EQ(table.Cell(1, 6).ValueIndex, 189);
}

// Every value is shown at most once, and exactly the values the meter keeps
// for itself (31-49, 81-89, 121-129, 161-184, 190, 223-255) are shown nowhere.
TEST_F(ParameterTableTest, EveryValueIsShownOnceExceptTheHiddenOnes) {
  std::multiset<int> shown;
  for (int row = 0; row < kParameterRows; ++row) {
    for (int column = 0; column < kParameterColumns; ++column) {
      if (table.Cell(row, column).Kind == CellKind::Value) {
        shown.insert(table.Cell(row, column).ValueIndex);
      }
    }
  }
  auto hidden = [](int i) {
    return (i >= 31 && i <= 49) || (i >= 81 && i <= 89) || (i >= 121 && i <= 129) ||
           (i >= 161 && i <= 184) || i == 190 || i >= 223;
  };
  for (int i = 0; i < 256; ++i) EXPECT_EQ(shown.count(i), hidden(i) ? 0u : 1u) << i;
}

TEST_F(ParameterTableTest, ZerosAreShownWithEachCellsDecimals) {
  EXPECT_EQ(CellText(table.Cell(1, 1), buffer), "0,000");
  EXPECT_EQ(CellText(table.Cell(30, 3), buffer), "0");
  EXPECT_EQ(CellText(table.Cell(4, 4), buffer), "0,00000");
  EXPECT_EQ(CellText(table.Cell(1, 6), buffer), "0,0000");
  EXPECT_EQ(CellText(table.Cell(0, 1), buffer), "КАНАЛ1");
  EXPECT_EQ(CellText(table.Cell(20, 5), buffer), "");
}

TEST_F(ParameterTableTest, ValueCellsShowTheirOwnValueRounded) {
  buffer.SetParameterValue(55, 1234.56f);
  buffer.SetParameterValue(222, 8);
  EXPECT_EQ(CellText(table.Cell(6, 2), buffer), "1234,6");
  EXPECT_EQ(CellText(table.Cell(6, 1), buffer), "0,0");
  EXPECT_EQ(CellText(table.Cell(13, 6), buffer), "8");
}

TEST_F(ParameterTableTest, ValuesWiderThanTheirCellTurnToExponentNotation) {
  // Row 1 has precision 10; the float nearest 1e11 is 99999997952.
  buffer.SetParameterValue(0, 100000000000.0f);
  EXPECT_EQ(CellText(table.Cell(1, 1), buffer), "9,999999795E+010");
  buffer.SetParameterValue(0, 9999999.0f);  // seven integer digits still fit
  EXPECT_EQ(CellText(table.Cell(1, 1), buffer), "9999999,000");
}

}  // namespace
}  // namespace flovir
