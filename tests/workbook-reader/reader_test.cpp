// The workbook reader on crafted files: every cell record, the string forms
// of each Excel version, the reader's messages, and damaged or hostile input.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "file_builder.h"
#include "tests/support/files.h"
#include "workbook/biff_reader.h"
#include "workbook/model.h"
#include "workbook/workbook_load.h"

namespace flovir {
namespace {

using test::Bytes;
using test::CompoundFile;
using test::Stream;

// "Итого:" in Windows-1251.
const std::string kItogo1251 = "\xC8\xF2\xEE\xE3\xEE:";

WorkbookModel Load(const std::string& file, const LoadProgress& progress = {}) {
  WorkbookModel model;
  LoadWorkbookBytes(model.Data(), test::AsBytes(file), progress);
  return model;
}

std::string LoadError(const std::string& file) {
  try {
    Load(file);
  } catch (const WorkbookError& e) {
    return e.what();
  }
  return "(loaded)";
}

// An Excel 5.0 workbook: globals naming the sheets, then one substream per
// sheet with the given records between its BOF and EOF.
std::string Excel50(const std::vector<std::pair<std::string, std::string>>& sheets,
                    unsigned code_page = 1251) {
  Stream s;
  s.Bof(0x0500, 0x0005).Record(0x0042, Bytes().U16(code_page));
  for (const auto& sheet : sheets) s.Record(0x0085, test::BoundSheet5(sheet.first));
  s.Eof();
  std::string stream = s.str();
  for (const auto& sheet : sheets) {
    stream += Stream().Bof(0x0500, 0x0010).str() + sheet.second + Stream().Eof().str();
  }
  return CompoundFile({{"Book", stream}});
}

TEST(RkNumbers, DecodeIntegersScaledIntegersAndTruncatedDoubles) {
  EXPECT_EQ(DecodeRk(6), 1.0);           // integer 1
  EXPECT_EQ(DecodeRk(303), 0.75);        // integer 75, divided by 100
  EXPECT_EQ(DecodeRk(0x3FF00000), 1.0);  // the high bits of the double 1.0
  EXPECT_EQ(DecodeRk(0x3FF00001), 0.01);
  EXPECT_EQ(DecodeRk(static_cast<uint32_t>(-5 * 4) | 2), -5.0);
  EXPECT_EQ(DecodeRk(static_cast<uint32_t>(-12345 * 4) | 3), -123.45);
}

TEST(SharedStrings, CharactersSplitOverContinueRecordsChangeWidth) {
  // "Итого" starts as 8-bit Latin "AB" and goes on in 16-bit characters
  // after the CONTINUE's option byte; a rich string with extended data
  // whose runs cross the next boundary; then a plain string.
  const std::string sst = Bytes().U32(3).U32(3).U16(5).U8(0).Raw("AB");
  const std::string cont1 =
      Bytes().U8(1).U16(0x0418).U16(0x0442).U16(0x043E).U16(2).U8(0x0C).U16(2).U32(3).Raw("xy").U32(
          0x00010002);
  const std::string cont2 = Bytes().U32(0x00030004).Raw("ext").U16(1).U8(0).Raw("z");
  const std::vector<std::span<const uint8_t>> segments = {
      {reinterpret_cast<const uint8_t*>(sst.data()), sst.size()},
      {reinterpret_cast<const uint8_t*>(cont1.data()), cont1.size()},
      {reinterpret_cast<const uint8_t*>(cont2.data()), cont2.size()}};
  FieldReader reader(segments, true);
  EXPECT_EQ(ReadSharedStrings(reader), (std::vector<std::string>{"ABИто", "xy", "z"}));
}

TEST(SharedStrings, AStringPastTheLastRecordNeedsAContinue) {
  const std::string sst = Bytes().U32(2).U32(2).U16(1).U8(0).Raw("a").U16(4).U8(0).Raw("bc");
  FieldReader reader(std::span(reinterpret_cast<const uint8_t*>(sst.data()), sst.size()), true);
  try {
    ReadSharedStrings(reader);
    FAIL() << "read past the table";
  } catch (const WorkbookError& e) {
    EXPECT_STREQ(e.what(), "CONTINUE record is missing");
  }
}

TEST(Excel50Files, EveryCellRecordGivesItsCell) {
  Stream sheet;
  sheet.Record(0x0203, test::Number(0, 0, 21, 0.1))
      .Record(0x027E, Bytes().U16(0).U16(1).U16(22).U32(303))
      // MULRK: columns 2 to 4 of row 1.
      .Record(0x00BD,
              Bytes().U16(1).U16(2).U16(23).U32(6).U16(24).U32(0x3FF00000).U16(25).U32(10).U16(4))
      .Record(0x00BE, Bytes().U16(2).U16(0).U16(15).U16(16).U16(1))
      .Record(0x0204, test::Label5(3, 0, 17, kItogo1251))
      .Record(0x0204, test::Label5(3, 1, 17, ""))
      .Record(0x0205, Bytes().U16(4).U16(0).U16(15).U8(1).U8(0))
      .Record(0x0205, Bytes().U16(4).U16(1).U16(15).U8(0x07).U8(1))
      // Formulas: a number, a text in the next STRING record, a boolean.
      .Record(0x0006, Bytes().U16(5).U16(0).U16(15).F64(42.5).U16(0).U32(0).U16(0))
      .Record(0x0006, Bytes().U16(5).U16(1).U16(15).U32(0).U32(0xFFFF0000).U16(0).U32(0).U16(0))
      .Record(0x0207, Bytes().U16(5).Raw("hello"))
      .Record(0x0006,
              Bytes().U16(5).U16(2).U16(15).U32(0x00010001).U32(0xFFFF0000).U16(0).U32(0).U16(0));
  // A MULRK past the last column must not wrap around to column A.
  sheet.Record(
      0x00BD,
      Bytes().U16(6).U16(65534).U16(15).U32(6).U16(15).U32(10).U16(15).U32(14).U16(15).U32(18).U16(
          1));
  const WorkbookModel m = Load(Excel50({{"data", sheet.str()}}));
  ASSERT_EQ(m.SheetCount(), 1u);
  EXPECT_EQ(m.SheetName(0), "data");
  EXPECT_EQ(m.GetCellType(0, 0, 6), CellType::None);
  EXPECT_EQ(m.GetCellType(0, 1, 6), CellType::None);
  EXPECT_EQ(m.GetCellText(0, 0, 0), "0,1");
  EXPECT_EQ(m.GetCellFormat(0, 0, 0), 21);
  EXPECT_EQ(m.GetCellNumber(0, 1, 0), 0.75);
  EXPECT_EQ(m.GetCellNumber(0, 2, 1), 1.0);
  EXPECT_EQ(m.GetCellNumber(0, 3, 1), 1.0);
  EXPECT_EQ(m.GetCellNumber(0, 4, 1), 2.0);
  EXPECT_EQ(m.GetCellFormat(0, 4, 1), 25);
  EXPECT_EQ(m.GetCellType(0, 0, 2), CellType::Blank);
  EXPECT_EQ(m.GetCellFormat(0, 1, 2), 16);
  EXPECT_EQ(m.GetCellType(0, 2, 2), CellType::None);
  EXPECT_EQ(m.GetCellText(0, 0, 3), "Итого:");
  EXPECT_EQ(m.GetCellType(0, 1, 3), CellType::Text);
  EXPECT_EQ(m.GetCellText(0, 1, 3), "");
  EXPECT_EQ(m.GetCellNumber(0, 0, 3), 0);  // a text is no number
  EXPECT_EQ(m.GetCellText(0, 0, 4), "TRUE");
  EXPECT_EQ(m.GetCellText(0, 1, 4), "#DIV/0!");
  EXPECT_EQ(m.GetCellType(0, 0, 5), CellType::Formula);
  EXPECT_EQ(m.GetCellNumber(0, 0, 5), 42.5);
  EXPECT_EQ(m.GetCellText(0, 1, 5), "hello");
  EXPECT_EQ(m.GetCellText(0, 2, 5), "TRUE");
  EXPECT_EQ(m.GetCellNumber(0, 9, 9), 0);  // missing
  EXPECT_TRUE(m.FormatsFromFile());
  EXPECT_EQ(m.Data().version, FormatVersion::Excel50);
}

TEST(Excel50Files, SingleByteTextsFollowTheCodePage) {
  const std::string sheet = Stream().Record(0x0204, test::Label5(0, 0, 15, kItogo1251)).str();
  // 1200 cannot describe single-byte strings; files that declare it hold
  // Windows-1251 texts.
  EXPECT_EQ(Load(Excel50({{"s", sheet}}, 1200)).GetCellText(0, 0, 0), "Итого:");
  EXPECT_EQ(Load(Excel50({{"s", sheet}}, 1251)).GetCellText(0, 0, 0), "Итого:");
  EXPECT_EQ(Load(Excel50({{"s", sheet}}, 1252)).GetCellText(0, 0, 0), "Èòîãî:");
}

TEST(Excel50Files, ChartsMakeNoSheetsAndSheetsKeepTheirNames) {
  Stream s;
  s.Bof(0x0500, 0x0005)
      .Record(0x0085, test::BoundSheet5("first"))
      .Record(0x0085, test::BoundSheet5("chart", 2))
      .Record(0x0085, test::BoundSheet5("second"))
      .Eof();
  // An embedded chart inside the first sheet, with a record (0x1009) whose
  // low byte looks like a BOF's.
  s.Bof(0x0500, 0x0010).Record(0x0203, test::Number(0, 0, 15, 1));
  s.Bof(0x0500, 0x0020).Record(0x1009, "abcd").Record(0x0203, test::Number(7, 7, 15, 9)).Eof();
  s.Record(0x0203, test::Number(1, 0, 15, 2)).Eof();
  s.Bof(0x0500, 0x0020).Eof();
  s.Bof(0x0500, 0x0010).Record(0x0203, test::Number(0, 0, 15, 3)).Eof();
  const WorkbookModel m = Load(CompoundFile({{"Book", s.str()}}));
  ASSERT_EQ(m.SheetCount(), 2u);
  EXPECT_EQ(m.SheetName(0), "first");
  EXPECT_EQ(m.SheetName(1), "second");
  EXPECT_EQ(m.GetCellNumber(0, 0, 1), 2);
  EXPECT_EQ(m.GetCellType(0, 7, 7), CellType::None);
  EXPECT_EQ(m.GetCellNumber(1, 0, 0), 3);
}

TEST(Excel50Files, FontsFormatsAndCellFormatsAreTheFilesOwn) {
  Stream s;
  s.Bof(0x0500, 0x0005).Record(0x0042, Bytes().U16(1251));
  for (int k = 0; k < 5; ++k) {
    s.Record(0x0031, Bytes()
                         .U16(200 + 20 * k)
                         .U16(k == 1 ? 0x02 : 0)
                         .U16(8)
                         .U16(k == 2 ? 700 : 400)
                         .U16(0)
                         .U8(0)
                         .U8(0)
                         .U8(204)
                         .U8(0)
                         .U8(5)
                         .Raw("Arial"));
  }
  s.Record(0x041E, Bytes().U16(164).U8(8).Raw("dd/mm/yy"));
  // A cell XF with thin top and bottom lines and number format 164.
  s.Record(0x00E0, Bytes().U16(2).U16(164).U16(0x0001).U16(0x2020).U32(0x80402040).U32(0x20408001));
  s.Record(0x0293, Bytes().U16(0x8010).U8(3).U8(0xFF));
  s.Record(0x0293, Bytes().U16(0x0011).U8(1).Raw("x"));  // user style: not kept
  s.Record(0x0085, test::BoundSheet5("s")).Eof();
  s.Bof(0x0500, 0x0010)
      .Record(0x0055, Bytes().U16(12))
      .Record(0x007D, Bytes().U16(1).U16(3).U16(3000).U16(0).U16(0x0201).U16(0))
      .Eof();
  const WorkbookData d = std::move(Load(CompoundFile({{"Book", s.str()}})).Data());
  // Font 4 does not exist in the file format: five FONT records are fonts 0-3 and 5.
  ASSERT_EQ(d.fonts.size(), 6u);
  EXPECT_TRUE(d.fonts[1].italic);
  EXPECT_EQ(d.fonts[2].weight, 700);
  EXPECT_EQ(d.fonts[4], d.fonts[0]);
  EXPECT_EQ(d.fonts[5].height_twips, 280);
  EXPECT_EQ(d.fonts[0].charset, 204);
  EXPECT_EQ(d.number_formats.Get(164), "dd/mm/yy");
  ASSERT_EQ(d.cell_formats.size(), 1u);
  const CellFormat& f = d.cell_formats[0];
  EXPECT_EQ(f.font, 2);
  EXPECT_EQ(f.number_format, 164);
  EXPECT_EQ(f.border_top, kLineThin);
  EXPECT_EQ(f.border_bottom, kLineThin);
  EXPECT_EQ(f.border_left, kLineNone);
  EXPECT_EQ(f.color_bottom, kColorAutomatic);
  EXPECT_EQ(f.vertical, 2);
  EXPECT_EQ(f.used_attributes, kUsedBorder);
  ASSERT_EQ(d.styles.size(), 1u);
  EXPECT_EQ(d.sheets[0].default_column_width, 12);
  ASSERT_EQ(d.sheets[0].column_widths.size(), 1u);
  EXPECT_EQ(d.sheets[0].column_widths[0].last_column, 3);
  EXPECT_EQ(d.sheets[0].column_widths[0].outline_level, 2);
  EXPECT_TRUE(d.sheets[0].column_widths[0].hidden);
}

TEST(Excel97Files, SharedStringsWideLabelsAndTheWorkbookStream) {
  Stream s;
  s.Bof(0x0600, 0x0005).Record(0x0085, test::BoundSheet8("Sheet A"));
  s.Record(0x00FC,
           Bytes().U32(2).U32(2).U16(3).U8(0).Raw("abc").U16(2).U8(1).U16(0x0416).U16(0x0436));
  s.Eof();
  s.Bof(0x0600, 0x0010)
      .Record(0x00FD, Bytes().U16(0).U16(0).U16(15).U32(1))
      .Record(0x00FD, Bytes().U16(0).U16(1).U16(15).U32(0))
      .Record(0x0204, Bytes().U16(1).U16(0).U16(15).U16(2).U8(1).U16(0x042F).U16(0x0044))
      .Record(0x0006, Bytes().U16(2).U16(0).U16(15).U32(0).U32(0xFFFF0000).U16(0).U32(0).U16(0))
      .Record(0x0207, Bytes().U16(2).U8(0).Raw("ok"))
      .Eof();
  // When a file holds both streams the Excel 97 one is read.
  const std::string book =
      Stream().Bof(0x0500, 0x0010).Record(0x0203, test::Number(0, 0, 15, 5)).Eof().str();
  const WorkbookModel m = Load(CompoundFile({{"Book", book}, {"Workbook", s.str()}}));
  EXPECT_EQ(m.Data().version, FormatVersion::Excel97);
  EXPECT_EQ(m.SheetName(0), "Sheet A");
  EXPECT_EQ(m.GetCellText(0, 0, 0), "Жж");
  EXPECT_EQ(m.GetCellText(0, 1, 0), "abc");
  EXPECT_EQ(m.GetCellText(0, 0, 1), "ЯD");
  EXPECT_EQ(m.GetCellText(0, 0, 2), "ok");
}

TEST(OldExcelFiles, Excel21CellsHaveTheDefaultFormat) {
  const std::string attr("\0\0\0", 3);
  Stream s;
  s.Record(0x0009, Bytes().U16(2).U16(0x0010))
      .Record(0x0002, Bytes().U16(0).U16(0).Raw(attr).U16(7))
      .Record(0x0003, Bytes().U16(1).U16(0).Raw(attr).F64(2.5))
      .Record(0x0004, Bytes().U16(2).U16(0).Raw(attr).U8(6).Raw(kItogo1251))
      .Eof();
  const WorkbookModel m = Load(s.str());
  EXPECT_EQ(m.Data().version, FormatVersion::Excel21);
  ASSERT_EQ(m.SheetCount(), 1u);
  EXPECT_EQ(m.SheetName(0), "Sheet1");
  EXPECT_EQ(m.GetCellNumber(0, 0, 0), 7);
  EXPECT_EQ(m.GetCellText(0, 0, 1), "2,5");
  EXPECT_EQ(m.GetCellText(0, 0, 2), "Итого:");
  for (uint16_t row = 0; row < 3; ++row) EXPECT_EQ(m.GetCellFormat(0, 0, row), -1);
}

TEST(OldExcelFiles, Excel40StreamsUseTheirRecordIds) {
  Stream s;
  s.Record(0x0409, Bytes().U16(0).U16(0x0010).U16(0))
      .Record(0x041E, Bytes().U16(0).U8(4).Raw("0.00"))
      .Record(0x0443, Bytes().U8(0).U8(0).Raw(std::string(10, '\0')))
      .Record(0x027E, Bytes().U16(0).U16(0).U16(0).U32(6))
      .Record(0x0406, Bytes().U16(0).U16(1).U16(0).F64(3.5).U16(0).U16(0))
      .Eof();
  const WorkbookModel m = Load(s.str());
  EXPECT_EQ(m.Data().version, FormatVersion::Excel40);
  EXPECT_EQ(m.Data().number_formats.Get(0), "0.00");
  EXPECT_EQ(m.Data().cell_formats.size(), 1u);
  EXPECT_EQ(m.GetCellNumber(0, 0, 0), 1);
  EXPECT_EQ(m.GetCellNumber(0, 1, 0), 3.5);
}

TEST(LoadProgress, RisesToOneHundred) {
  Stream sheet;
  for (unsigned row = 0; row < 1000; ++row) sheet.Record(0x0203, test::Number(row, 0, 15, row));
  std::vector<int> seen;
  Load(Excel50({{"s", sheet.str()}}), [&](int percent) { seen.push_back(percent); });
  ASSERT_GE(seen.size(), 10u);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_GT(seen.front(), 0);
  EXPECT_EQ(seen.back(), 100);
}

TEST(ReaderMessages, EachIsProvokedByItsFile) {
  EXPECT_EQ(LoadError(CompoundFile({{"Other", "x"}})), "File is not a Excel Workbook");
  EXPECT_EQ(LoadError(Stream().Record(0x0203, test::Number(0, 0, 15, 1)).str()),
            "BOF is missing in file");
  EXPECT_EQ(LoadError(CompoundFile({{"Book", ""}})), "BOF is missing in file");
  EXPECT_EQ(LoadError(""), "BOF is missing in file");
  EXPECT_EQ(LoadError(Stream().Record(0x0809, std::string(257, '\0')).str()), "Invalid BOF size");
  EXPECT_EQ(LoadError(CompoundFile(
                {{"Book", Stream().Bof(0x0500, 5).Record(0x002F, std::string(4, '\0')).str()}})),
            "File is password protected");
  const std::string short_sst = Stream()
                                    .Bof(0x0600, 5)
                                    .Record(0x00FC, Bytes().U32(2).U32(2).U16(1).U8(0).Raw("a"))
                                    .Eof()
                                    .str();
  EXPECT_EQ(LoadError(CompoundFile({{"Workbook", short_sst}})), "CONTINUE record is missing");
  // The third record after the BOF refers to a shared string that does not exist.
  const std::string bad_index = Stream()
                                    .Bof(0x0600, 0x0010)
                                    .Record(0x000C, Bytes().U16(100))
                                    .Record(0x00FC, Bytes().U32(0).U32(0))
                                    .Record(0x00FD, Bytes().U16(0).U16(0).U16(15).U32(0))
                                    .str();
  EXPECT_EQ(LoadError(CompoundFile({{"Workbook", bad_index}})),
            "Error on reading record # 3\rA cell refers to a missing shared string");
  const std::string cut = Stream().Bof(0x0500, 0x0010).Record(0x0203, "\x01\x02").str();
  EXPECT_EQ(LoadError(cut), "Error on reading record # 1\rThe record is shorter than its contents");
  std::string past_end =
      Stream().Bof(0x0500, 0x0010).str() + Bytes().U16(0x0203).U16(14).U16(0).str();
  EXPECT_EQ(LoadError(past_end),
            "Error on reading record # 1\rThe record runs past the end of the file");
}

TEST(ReaderMessages, AFileThatCannotBeOpenedGivesTheSystemsMessage) {
  WorkbookModel m;
  m.SetFileName("/nonexistent-folder/book.xls");
  try {
    m.LoadWorkbook();
    FAIL();
  } catch (const WorkbookError& e) {
    EXPECT_EQ(e.what(), testing::SystemText(ENOENT, 3));  // ERROR_PATH_NOT_FOUND
  }
}

// A damaged container: U32 at a byte offset of the file replaced.
std::string Patched(std::string file, size_t at, uint32_t value) {
  const std::string v = Bytes().U32(value);
  file.replace(at, 4, v);
  return file;
}

TEST(HostileFiles, DamagedContainersEndInAMessage) {
  const std::string big_stream =
      Stream().Bof(0x0500, 0x0010).Record(0x00FF, std::string(5000, 'x')).Eof().str();
  const std::string file = CompoundFile({{"Book", big_stream}});
  // The builder's layout: header, one FAT sector (sector 0), the directory
  // (sector 1), then the stream from sector 2 on.
  const size_t fat = 512, directory = 1024;
  const auto starts_damaged = [](const std::string& f) {
    return LoadError(f).rfind("Damaged compound file: ", 0) == 0;
  };
  EXPECT_TRUE(starts_damaged(Patched(file, fat + 4 * 3, 2))) << "a stream chain that loops";
  EXPECT_TRUE(starts_damaged(Patched(file, fat + 4 * 1, 1))) << "a directory chain that loops";
  EXPECT_TRUE(starts_damaged(Patched(file, directory + 128 + 72, 1)))
      << "a directory tree that loops";
  EXPECT_TRUE(starts_damaged(Patched(file, directory + 128 + 120, 0x7FFFFFFF))) << "a huge stream";
  EXPECT_TRUE(starts_damaged(Patched(file, directory + 128 + 116, 0x00FFFFFF))) << "a far sector";
  EXPECT_TRUE(starts_damaged(Patched(file, 44, 0xFFFFFFFF).substr(0, 700))) << "many FAT sectors";
  EXPECT_TRUE(starts_damaged(Patched(file, 30, 0x0010))) << "a sector size nobody writes";
  EXPECT_TRUE(starts_damaged(file.substr(0, 300))) << "a cut header";
}

TEST(CompoundFiles, FragmentedStreamsAndFatSectorsListedInADifatSector) {
  Stream s;
  s.Bof(0x0500, 0x0010);
  for (unsigned row = 0; row < 400; ++row) s.Record(0x0203, test::Number(row, 0, 15, row));
  const std::string file = CompoundFile({{"Book", s.Eof().str()}});
  const auto last_number = [](const std::string& f) { return Load(f).GetCellNumber(0, 0, 399); };
  ASSERT_EQ(last_number(file), 399);
  // The builder's layout: header, the FAT (sector 0), the directory (sector
  // 1), the stream from sector 2 on. Swap the stream's first two sectors.
  const size_t fat = 512, directory = 1024;
  const auto sector = [](size_t n) { return 512 * (n + 1); };
  std::string fragmented = file;
  fragmented.replace(sector(2), 512, file.substr(sector(3), 512));
  fragmented.replace(sector(3), 512, file.substr(sector(2), 512));
  fragmented = Patched(Patched(Patched(fragmented, directory + 128 + 116, 3), fat + 4 * 3, 2),
                       fat + 4 * 2, 4);
  EXPECT_EQ(last_number(fragmented), 399);
  // Large files list their FAT sectors in DIFAT sectors after the header's 109.
  std::string difat =
      Patched(Patched(Patched(file, 76, 0xFFFFFFFF), 68, file.size() / 512 - 1), 72, 1);
  difat += Bytes().U32(0).Raw(std::string(504, '\xFF')).U32(0xFFFFFFFE).str();
  EXPECT_EQ(last_number(difat), 399);
}

TEST(HostileFiles, CutAndMutatedFilesNeverCrash) {
  Stream sheet;
  for (unsigned row = 0; row < 40; ++row) {
    sheet.Record(0x0203, test::Number(row, 0, 15, row))
        .Record(0x0204, test::Label5(row, 1, 15, kItogo1251))
        .Record(0x00BD, Bytes().U16(row).U16(2).U16(15).U32(6).U16(15).U32(303).U16(3));
  }
  const std::vector<std::string> files = {
      Excel50({{"a", sheet.str()}, {"b", sheet.str()}}),
      CompoundFile(
          {{"Workbook",
            Stream()
                .Bof(0x0600, 5)
                .Record(
                    0x00FC,
                    Bytes().U32(1).U32(1).U16(3).U8(0x0C).U16(1).U32(2).Raw("abc").U32(0).Raw("zz"))
                .Record(0x0085, test::BoundSheet8("s"))
                .Eof()
                .Bof(0x0600, 0x10)
                .Record(0x00FD, Bytes().U16(0).U16(0).U16(15).U32(0))
                .Eof()
                .str()}})};
  std::mt19937 random(12345);
  size_t loaded = 0, refused = 0;
  for (const std::string& file : files) {
    for (size_t length = 0; length < file.size(); length += 37) {
      try {
        Load(file.substr(0, length));
        ++loaded;
      } catch (const WorkbookError&) {
        ++refused;
      }
    }
    for (int round = 0; round < 1500; ++round) {
      std::string mutated = file;
      const int changes = 1 + static_cast<int>(random() % 8);
      for (int k = 0; k < changes; ++k) {
        mutated[random() % mutated.size()] = static_cast<char>(random());
      }
      try {
        Load(mutated);
        ++loaded;
      } catch (const WorkbookError&) {
        ++refused;
      }
    }
  }
  EXPECT_GT(loaded, 0u);
  EXPECT_GT(refused, 0u);
}

}  // namespace
}  // namespace flovir
