// Exact bytes of the Excel 5.0 records, one record writer at a time, and
// the order and numbering of the records in the stream of a whole workbook.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/workbook/biff_records.h"
#include "workbook/biff5_writer.h"
#include "workbook/model.h"

namespace flovir {
namespace {

using test::Hex;
using test::Record;
using test::SplitRecords;

template <typename F>
std::string Bytes(F&& write) {
  RecordStream out;
  write(out);
  return out.Take();
}

TEST(Biff5Records, WorkbookGlobalsOfTheDesignTimeModels) {
  const WorkbookData design;  // the settings both design-time models keep
  EXPECT_EQ(Bytes([](auto& o) { WriteBof(o, kGlobalsSubstream); }),
            Hex("09 08 08 00 00 05 05 00 BB 0D CE 07"));
  EXPECT_EQ(Bytes([](auto& o) { WriteWriteAccess(o, ""); }),
            Hex("5C 00 70 00 00") + std::string(111, ' '));
  EXPECT_EQ(Bytes([](auto& o) { WriteFileSharing(o, false); }),
            Hex("5B 00 06 00 00 00 00 00 00 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteCodePage(o); }), Hex("42 00 02 00 E3 04"));  // 1251
  EXPECT_EQ(Bytes([](auto& o) { WriteWindowProtect(o, false); }), Hex("19 00 02 00 00 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteProtect(o, true); }), Hex("12 00 02 00 01 00"));
  EXPECT_EQ(Bytes([](auto& o) { WritePassword(o); }), Hex("13 00 02 00 00 00"));
  EXPECT_EQ(Bytes([&](auto& o) { WriteWindow1(o, design.window); }),
            Hex("3D 00 12 00 64 00 64 00 10 27 58 1B 38 00 00 00 00 00 01 00 58 02"));
  EXPECT_EQ(Bytes([](auto& o) { WriteBackup(o, false); }), Hex("40 00 02 00 00 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteHideObj(o, 0); }), Hex("8D 00 02 00 00 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteDateMode(o, false); }), Hex("22 00 02 00 00 00"));
  EXPECT_EQ(Bytes([](auto& o) { WritePrecision(o, false); }), Hex("0E 00 02 00 01 00"));
  EXPECT_EQ(Bytes([](auto& o) { WritePrecision(o, true); }), Hex("0E 00 02 00 00 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteRefreshAll(o, false); }), Hex("B7 01 02 00 00 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteBookBool(o, false); }), Hex("DA 00 02 00 00 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteFont(o, WorkbookFont{}); }),
            Hex("31 00 14 00 C8 00 00 00 08 00 90 01 00 00 00 00 CC 00 05") + "Arial");
  EXPECT_EQ(Bytes([](auto& o) { WriteFormat(o, 50, "dd/mm/yy"); }),
            Hex("1E 04 0B 00 32 00 08") + "dd/mm/yy");
  EXPECT_EQ(Bytes([](auto& o) { WriteBuildRecord(o); }),
            Hex("C1 01 08 00 C1 01 00 00 60 69 01 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteEof(o); }), Hex("0A 00 00 00"));
}

TEST(Biff5Records, UserNameIsPaddedAndCut) {
  const std::string short_name = Bytes([](auto& o) { WriteWriteAccess(o, "Иван"); });
  EXPECT_EQ(short_name.substr(4, 5), Hex("04 C8 E2 E0 ED"));
  EXPECT_EQ(short_name.size(), 4u + 112u);
  const std::string long_name = Bytes([](auto& o) { WriteWriteAccess(o, std::string(300, 'x')); });
  ASSERT_EQ(long_name.size(), 4u + 112u);
  EXPECT_EQ(static_cast<uint8_t>(long_name[4]), 111);
}

TEST(Biff5Records, FontOptions) {
  WorkbookFont font;
  font.name = "Times";
  font.height_twips = 240;
  font.italic = font.strike_out = true;
  font.weight = 700;
  font.color = 10;
  font.script = Script::Subscript;
  font.underline = Underline::DoubleAccounting;
  font.charset = 2;  // symbol fonts keep their own character set
  EXPECT_EQ(Bytes([&](auto& o) { WriteFont(o, font); }),
            Hex("31 00 14 00 F0 00 0B 00 0A 00 BC 02 02 00 22 00 02 00 05") + "Times");
  font.charset = kCharsetAnsi;  // written as Cyrillic: the texts are Windows-1251
  EXPECT_EQ(static_cast<uint8_t>(Bytes([&](auto& o) { WriteFont(o, font); })[16]), 204);
}

TEST(Biff5Records, TheSixteenBuiltInXfs) {
  const std::string style0 = Hex("E0 00 10 00 00 00 00 00 F5 FF 20 00 C0 20 00 00 00 00 00 00");
  const std::string level = Hex("F5 FF 20 F4 C0 20 00 00 00 00 00 00");
  std::string expected = style0;
  for (const char* font : {"01 00", "01 00", "02 00", "02 00"}) {
    expected += Hex("E0 00 10 00") + Hex(font) + Hex("00 00") + level;
  }
  for (int i = 5; i <= 14; ++i) expected += Hex("E0 00 10 00 00 00 00 00") + level;
  expected += Hex("E0 00 10 00 00 00 00 00 01 00 20 00 C0 20 00 00 00 00 00 00");
  EXPECT_EQ(Bytes([](auto& o) { WriteBuiltInXfs(o); }), expected);
}

TEST(Biff5Records, CellXfsPlainAndBordered) {
  const WorkbookModel model = WorkbookModel::MakeArchiveWorkbook();
  const auto& formats = model.Data().cell_formats;
  EXPECT_EQ(Bytes([&](auto& o) { WriteXf(o, formats[0]); }),
            Hex("E0 00 10 00 00 00 00 00 01 00 20 00 40 20 00 80 00 80 40 20"));
  EXPECT_EQ(Bytes([&](auto& o) { WriteXf(o, formats[1]); }),
            Hex("E0 00 10 00 00 00 32 00 01 00 20 20 40 20 40 80 01 80 40 20"));
  // The diagonal line of the event-marks format has no place in Excel 5.0.
  EXPECT_EQ(Bytes([&](auto& o) { WriteXf(o, formats[6]); }),
            Hex("E0 00 10 00 00 00 00 00 01 00 20 20 40 20 40 80 01 80 40 20"));
}

TEST(Biff5Records, StylesAndPalette) {
  EXPECT_EQ(Bytes([](auto& o) { WriteBuiltInStyles(o); }),
            Hex("93 02 04 00 10 80 03 FF 93 02 04 00 11 80 06 FF 93 02 04 00 12 80 04 FF"
                "93 02 04 00 13 80 07 FF 93 02 04 00 00 80 00 FF 93 02 04 00 14 80 05 FF"));
  const std::string palette = Bytes([](auto& o) { WritePalette(o, DefaultPalette()); });
  ASSERT_EQ(palette.size(), 4u + 226u);
  EXPECT_EQ(palette.substr(0, 6), Hex("92 00 E2 00 38 00"));
  EXPECT_EQ(palette.substr(6, 8), Hex("00 00 00 00 FE FF FF 00"));                // 8, 9
  EXPECT_EQ(palette.substr(6 + 4 * 22, 4), Hex("00 65 C6 00"));                   // 30
  EXPECT_EQ(palette.substr(palette.size() - 8), Hex("31 34 94 00 31 34 31 00"));  // 62, 63
}

TEST(Biff5Records, SheetSettingsOfTheDesignTimeModels) {
  const WorkbookSheet sheet;
  EXPECT_EQ(Bytes([](auto& o) { WriteBof(o, kWorksheetSubstream); }),
            Hex("09 08 08 00 00 05 10 00 BB 0D CE 07"));
  EXPECT_EQ(Bytes([](auto& o) { WriteCalcMode(o, CalcMode::Automatic); }),
            Hex("0D 00 02 00 01 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteCalcMode(o, CalcMode::AutomaticExceptTables); }),
            Hex("0D 00 02 00 FF FF"));
  EXPECT_EQ(Bytes([&](auto& o) { WriteCalcCount(o, sheet.calc_count); }), Hex("0C 00 02 00 64 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteRefMode(o, true); }), Hex("0F 00 02 00 01 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteIteration(o, false); }), Hex("11 00 02 00 00 00"));
  EXPECT_EQ(Bytes([&](auto& o) { WriteDelta(o, sheet.max_change); }),
            Hex("10 00 08 00 FC A9 F1 D2 4D 62 50 3F"));
  EXPECT_EQ(Bytes([](auto& o) { WriteSaveRecalc(o, true); }), Hex("5F 00 02 00 01 00"));
  EXPECT_EQ(Bytes([](auto& o) { WritePrintHeaders(o, false); }), Hex("2A 00 02 00 00 00"));
  EXPECT_EQ(Bytes([](auto& o) { WritePrintGridlines(o, false); }), Hex("2B 00 02 00 00 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteGridSet(o); }), Hex("82 00 02 00 01 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteGuts(o); }), Hex("80 00 08 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(Bytes([&](auto& o) { WriteDefaultRowHeight(o, sheet.default_row_height); }),
            Hex("25 02 04 00 00 00 FF 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteDefaultRowHeight(o, uint16_t{300}); }),
            Hex("25 02 04 00 01 00 2C 01"));
  EXPECT_EQ(Bytes([&](auto& o) { WriteWsBool(o, sheet.workspace); }), Hex("81 00 02 00 41 06"));
  EXPECT_EQ(Bytes([](auto& o) { WriteHeader(o, ""); }), Hex("14 00 00 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteFooter(o, ""); }), Hex("15 00 00 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteHCenter(o, false); }), Hex("83 00 02 00 00 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteVCenter(o, false); }), Hex("84 00 02 00 00 00"));
  EXPECT_EQ(Bytes([&](auto& o) { WriteMargins(o, sheet.print); }), "");
  EXPECT_EQ(Bytes([&](auto& o) { WriteSetup(o, sheet.print); }),
            Hex("A1 00 22 00 09 00 64 00 01 00 01 00 01 00 02 00 58 02 58 02") +
                std::string(16, '\0') + Hex("01 00"));
  EXPECT_EQ(Bytes([&](auto& o) { WriteDefColWidth(o, sheet.default_column_width); }),
            Hex("55 00 02 00 08 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteDimensions(o, UsedRange{}); }),
            Hex("00 02 0A 00 00 00 01 00 00 00 01 00 00 00"));
  EXPECT_EQ(Bytes([&](auto& o) { WriteWindow2(o, sheet.options, true); }),
            Hex("3E 02 0A 00 B6 06 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(Bytes([&](auto& o) { WriteWindow2(o, sheet.options, false); }),
            Hex("3E 02 0A 00 B6 04 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteSelection(o); }),
            Hex("1D 00 0F 00 03 00 00 00 00 00 00 01 00 00 00 00 00 00 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteScl(o, 85); }), Hex("A0 00 04 00 55 00 64 00"));
}

TEST(Biff5Records, MarginsOnlyWhenSet) {
  PrintSettings print;
  print.top_margin = 0.0;
  print.left_margin = -1.0;  // negative: not set
  EXPECT_EQ(Bytes([&](auto& o) { WriteMargins(o, print); }),
            Hex("28 00 08 00") + std::string(8, '\0'));
}

TEST(Biff5Records, ColumnInfo) {
  ColumnWidth column;
  column.first_column = 3;
  column.last_column = 5;
  column.width = 4000;
  column.hidden = true;
  column.outline_level = 2;
  column.collapsed = true;
  EXPECT_EQ(Bytes([&](auto& o) { WriteColInfo(o, column, 17); }),
            Hex("7D 00 0C 00 03 00 05 00 A0 0F 11 00 01 12 00 00"));
}

TEST(Biff5Records, Cells) {
  EXPECT_EQ(Bytes([](auto& o) { WriteNumber(o, 8, 2, 18, 1.0); }),
            Hex("03 02 0E 00 08 00 02 00 12 00 00 00 00 00 00 00 F0 3F"));
  EXPECT_EQ(Bytes([](auto& o) { WriteLabel(o, 1, 0, 16, "\xC8\xF2"); }),
            Hex("04 02 0A 00 01 00 00 00 10 00 02 00 C8 F2"));
  EXPECT_EQ(Bytes([](auto& o) { WriteLabel(o, 1, 0, 16, ""); }),
            Hex("04 02 08 00 01 00 00 00 10 00 00 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteBlank(o, 2, 3, 15); }), Hex("01 02 06 00 02 00 03 00 0F 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteBoolErr(o, 0, 1, 15, 1, false); }),
            Hex("05 02 08 00 00 00 01 00 0F 00 01 00"));
  EXPECT_EQ(Bytes([](auto& o) { WriteBoolErr(o, 0, 1, 15, kErrorNa, true); }),
            Hex("05 02 08 00 00 00 01 00 0F 00 2A 01"));
}

TEST(Biff5Records, DiskTextIsWindows1251CutAt255Bytes) {
  EXPECT_EQ(DiskText("Итого:", 255), Hex("C8 F2 EE E3 EE 3A"));
  EXPECT_EQ(DiskText("a漢b", 255), "a?b");
  std::string long_text;
  for (int i = 0; i < 200; ++i) long_text += "Ж";  // 400 bytes of UTF-8, 200 on disk
  EXPECT_EQ(DiskText(long_text, 255).size(), 200u);
  long_text += long_text;
  EXPECT_EQ(DiskText(long_text, 255), std::string(255, '\xC6'));
}

// --- Whole streams ---

std::vector<uint16_t> Ids(const std::vector<Record>& records, size_t from, size_t to) {
  std::vector<uint16_t> ids;
  for (size_t i = from; i < to; ++i) ids.push_back(records[i].id);
  return ids;
}

size_t IndexOf(const std::vector<Record>& records, uint16_t id, size_t from = 0) {
  for (size_t i = from; i < records.size(); ++i) {
    if (records[i].id == id) return i;
  }
  return records.size();
}

std::vector<Record> All(const std::vector<Record>& records, uint16_t id) {
  std::vector<Record> found;
  std::copy_if(records.begin(), records.end(), std::back_inserter(found),
               [&](const Record& r) { return r.id == id; });
  return found;
}

TEST(Biff5Stream, GlobalsInOrderWithFourFontsOneSharedFormatAndBuiltInXfs) {
  WorkbookModel model = WorkbookModel::MakeArchiveWorkbook();
  const std::vector<Record> records = SplitRecords(BuildBiff5Stream(model.Data()));
  const size_t eof = IndexOf(records, 0x000A);
  std::vector<uint16_t> expected = {0x0809, 0x005C, 0x005B, 0x0042, 0x0019, 0x0013, 0x003D,
                                    0x0040, 0x008D, 0x0022, 0x000E, 0x01B7, 0x00DA};
  expected.insert(expected.end(), 4, 0x0031);  // five fonts, the one at position 4 unwritten
  expected.insert(expected.end(), 4, 0x041E);  // "#######0.000" serves formats 2 and 3
  expected.insert(expected.end(), 16 + 8, 0x00E0);
  expected.insert(expected.end(), 6, 0x0293);
  expected.push_back(0x0092);
  expected.insert(expected.end(), 3, 0x0085);
  expected.push_back(0x01C1);
  expected.push_back(0x000A);
  EXPECT_EQ(Ids(records, 0, eof + 1), expected);

  const auto formats = All(records, 0x041E);
  EXPECT_EQ(formats[0].data, Hex("32 00 08") + "dd/mm/yy");
  EXPECT_EQ(formats[1].data, Hex("33 00 0C") + "#######0.000");
  EXPECT_EQ(formats[2].data, Hex("34 00 05") + "Hh:mm");
  EXPECT_EQ(formats[3].data, Hex("35 00 09") + "mmmm yyyy");
  // XF 18 and 19 (formats 2 and 3) both name format 51.
  const auto xfs = All(records, 0x00E0);
  EXPECT_EQ(test::U16At(xfs[18].data, 2), 51);
  EXPECT_EQ(test::U16At(xfs[19].data, 2), 51);
}

TEST(Biff5Stream, ParameterWorkbookUsesBuiltInFormatZeroAndFiveCustomOnes) {
  WorkbookModel model = WorkbookModel::MakeParameterWorkbook();
  const std::vector<Record> records = SplitRecords(BuildBiff5Stream(model.Data()));
  const auto formats = All(records, 0x041E);
  ASSERT_EQ(formats.size(), 5u);
  EXPECT_EQ(formats[0].data, Hex("32 00 0A") + "#######0.0");
  EXPECT_EQ(formats[4].data, Hex("36 00 0E") + "#######0.00000");
  const auto xfs = All(records, 0x00E0);
  ASSERT_EQ(xfs.size(), 16u + 7u);
  EXPECT_EQ(test::U16At(xfs[17].data, 2), 1);  // "0" is built-in format 1
  const auto sheets = All(records, 0x0085);
  ASSERT_EQ(sheets.size(), 1u);
  EXPECT_EQ(sheets[0].data.substr(4), Hex("00 00 07") + "Sheet 1");
}

TEST(Biff5Stream, BoundSheetOffsetsPointAtEachSheetsBof) {
  WorkbookModel model = WorkbookModel::MakeArchiveWorkbook();
  model.SetTextCell(1, 0, 0, "Часовой архив", 0);
  const std::string stream = BuildBiff5Stream(model.Data());
  const std::vector<Record> records = SplitRecords(stream);
  const auto sheets = All(records, 0x0085);
  ASSERT_EQ(sheets.size(), 3u);
  const char* names[] = {"days", "hours", "months"};
  for (size_t i = 0; i < 3; ++i) {
    const uint32_t offset = test::U32At(sheets[i].data, 0);
    ASSERT_LT(offset + 12, stream.size());
    EXPECT_EQ(stream.substr(offset, 12), Hex("09 08 08 00 00 05 10 00 BB 0D CE 07")) << i;
    EXPECT_EQ(model.Data().sheets[i].stream_offset, offset);
    EXPECT_EQ(sheets[i].data.substr(6), std::string(1, char(std::strlen(names[i]))) + names[i]);
  }
  // The first sheet follows the globals' EOF directly.
  EXPECT_EQ(test::U32At(sheets[0].data, 0), records[IndexOf(records, 0x000A)].offset + 4);
}

TEST(Biff5Stream, EmptySheetGetsEveryRecord) {
  WorkbookModel model = WorkbookModel::MakeParameterWorkbook();
  const std::vector<Record> records = SplitRecords(BuildBiff5Stream(model.Data()));
  const size_t bof = IndexOf(records, 0x0809, 1);
  const std::vector<uint16_t> expected = {0x0809, 0x000D, 0x000C, 0x000F, 0x0011, 0x0010, 0x005F,
                                          0x002A, 0x002B, 0x0082, 0x0080, 0x0225, 0x0081, 0x0014,
                                          0x0015, 0x0083, 0x0084, 0x00A1, 0x0012, 0x0055, 0x0200,
                                          0x003D, 0x023E, 0x001D, 0x000A};
  EXPECT_EQ(Ids(records, bof, records.size()), expected);
  EXPECT_EQ(records[IndexOf(records, 0x0200)].data, Hex("00 00 01 00 00 00 01 00 00 00"));
  // The sheet's WINDOW1 repeats the globals' one.
  EXPECT_EQ(records[IndexOf(records, 0x003D, bof)].data, records[IndexOf(records, 0x003D)].data);
}

TEST(Biff5Stream, CellsInRowThenColumnOrderWithXfIndexes) {
  WorkbookModel model = WorkbookModel::MakeArchiveWorkbook();
  model.SetNumberCell(0, 5, 9, 2.5, 2);
  model.SetTextCell(0, 0, 9, "", 4);
  model.SetNumberCell(0, 200, 3, 1.0, -1);
  model.SetNumberCell(0, 1, 3, 1.0, 1);
  const std::vector<Record> records = SplitRecords(BuildBiff5Stream(model.Data()));
  const size_t dims = IndexOf(records, 0x0200);
  EXPECT_EQ(records[dims].data, Hex("03 00 0A 00 00 00 C9 00 00 00"));
  ASSERT_GT(records.size(), dims + 4);
  EXPECT_EQ(records[dims + 1].data.substr(0, 6), Hex("03 00 01 00 11 00"));  // format 1: XF 17
  EXPECT_EQ(records[dims + 2].data.substr(0, 6), Hex("03 00 C8 00 0F 00"));  // format -1: XF 15
  EXPECT_EQ(records[dims + 3].id, 0x0204);
  EXPECT_EQ(records[dims + 3].data, Hex("09 00 00 00 14 00 00 00"));  // LABEL of length 0
  EXPECT_EQ(records[dims + 4].data.substr(0, 6), Hex("09 00 05 00 12 00"));
  EXPECT_EQ(records[dims + 5].id, 0x003D);
}

TEST(Biff5Stream, LongTextsAreCutAtTheRecordsLimit) {
  WorkbookModel model = WorkbookModel::MakeParameterWorkbook();
  model.SetTextCell(0, 0, 0, std::string(300, 'x'), 0);
  const auto labels = All(SplitRecords(BuildBiff5Stream(model.Data())), 0x0204);
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(test::U16At(labels[0].data, 6), 255);
  EXPECT_EQ(labels[0].data.size(), 8u + 255u);
}

TEST(Biff5Stream, FormatsFromFileAreWrittenUnchanged) {
  WorkbookModel model = WorkbookModel::MakeParameterWorkbook();
  WorkbookData& data = model.Data();
  data.Clear();  // as a load does
  data.AppendFileFont(WorkbookFont{});
  data.number_formats.Set(164, "0.000");
  data.number_formats.Set(14, "dd.mm.yyyy");  // a file may redefine a built-in entry
  CellFormat style;
  style.style = true;
  style.parent = 0xFFF;
  data.cell_formats.assign(16, style);
  data.cell_formats[15] = CellFormat{};
  CellFormat numbers;
  numbers.number_format = 164;
  numbers.pattern = 1;
  numbers.pattern_color = 10;
  data.cell_formats.push_back(numbers);
  data.styles.push_back({0x00, 0x80, 0x00, 0xFF});
  data.sheets[0].name = "Лист1";
  data.StoreCell(0, 0, 0, WorkbookCell{CellType::Number, CellType::None, 0, 16, 2.0, 0});
  data.StoreCell(0, 1, 0, WorkbookCell{CellType::Number, CellType::None, 0, 40, 3.0, 0});

  const std::vector<Record> records = SplitRecords(BuildBiff5Stream(data));
  const auto xfs = All(records, 0x00E0);
  ASSERT_EQ(xfs.size(), 17u);  // no built-in block of our own
  EXPECT_EQ(xfs[16].data, Hex("00 00 A4 00 01 00 20 00 0A 20 01 80 00 80 40 20"));
  const auto formats = All(records, 0x041E);
  ASSERT_EQ(formats.size(), 2u);
  EXPECT_EQ(formats[0].data, Hex("0E 00 0A") + "dd.mm.yyyy");
  EXPECT_EQ(formats[1].data, Hex("A4 00 05") + "0.000");
  const auto styles = All(records, 0x0293);
  ASSERT_EQ(styles.size(), 1u);
  const auto numbers_written = All(records, 0x0203);
  ASSERT_EQ(numbers_written.size(), 2u);
  EXPECT_EQ(test::U16At(numbers_written[0].data, 4), 16);  // the index as it stands
  // An index the format list does not hold becomes the default cell XF.
  EXPECT_EQ(test::U16At(numbers_written[1].data, 4), 15);
  EXPECT_EQ(All(records, 0x0085)[0].data.substr(6), Hex("05 CB E8 F1 F2 31"));
}

TEST(Biff5Stream, RefusesWhatTheFileCannotHold) {
  WorkbookModel model = WorkbookModel::MakeParameterWorkbook();
  WorkbookData& data = model.Data();
  data.StoreCell(0, 4, 2, WorkbookCell{CellType::Error, CellType::None, 0x03, 0, 0, 0});
  try {
    BuildBiff5Stream(data);
    FAIL() << "no refusal";
  } catch (const WorkbookError& e) {
    EXPECT_STREQ(e.what(), "Invalid error value in cell 4:2");
  }
  data.ClearCells(data.sheets[0]);
  for (auto bad :
       {ColumnWidth{0, 70000}, ColumnWidth{0, 0, -1}, ColumnWidth{0, 0, 100, 0, false, 17}}) {
    data.sheets[0].column_widths = {bad};
    EXPECT_THROW(
        {
          try {
            BuildBiff5Stream(data);
          } catch (const WorkbookError& e) {
            EXPECT_STREQ(e.what(), "Invalid value");
            throw;
          }
        },
        WorkbookError);
  }
  data.sheets[0].column_widths = {ColumnWidth{0, 0, 65535, 3, false, 16}};
  EXPECT_NO_THROW(BuildBiff5Stream(data));
}

TEST(Biff5Stream, BooleansErrorsAndFormulaResults) {
  WorkbookModel model = WorkbookModel::MakeParameterWorkbook();
  WorkbookData& data = model.Data();
  data.StoreCell(0, 0, 0, WorkbookCell{CellType::Boolean, CellType::None, 1, 0, 0, 0});
  data.StoreCell(0, 0, 1, WorkbookCell{CellType::Error, CellType::None, kErrorDiv0, 0, 0, 0});
  data.StoreCell(0, 0, 2, WorkbookCell{CellType::Formula, CellType::Number, 0, 0, 7.5, 0});
  data.StoreCell(0, 0, 3, WorkbookCell{CellType::Formula, CellType::Text, 0, 0, 0, 0}, "Итог");
  data.StoreCell(0, 0, 4, WorkbookCell{CellType::Blank, CellType::None, 0, 2, 0, 0});
  const std::vector<Record> records = SplitRecords(BuildBiff5Stream(data));
  const size_t first = IndexOf(records, 0x0200) + 1;
  EXPECT_EQ(records[first].data, Hex("00 00 00 00 10 00 01 00"));
  EXPECT_EQ(records[first + 1].data, Hex("00 00 01 00 10 00 07 01"));
  EXPECT_EQ(records[first + 2].id, 0x0203);  // formulas as their cached results
  EXPECT_EQ(records[first + 3].data, Hex("00 00 03 00 10 00 04 00 C8 F2 EE E3"));
  EXPECT_EQ(records[first + 4].data, Hex("00 00 04 00 12 00"));
}

}  // namespace
}  // namespace flovir
