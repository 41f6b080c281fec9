// The compound file around the record stream, and how a save meets the file
// system.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>

#include "tests/support/files.h"
#include "tests/workbook/biff_records.h"
#include "workbook/compound_file_reader.h"
#include "workbook/compound_file_writer.h"
#include "workbook/model.h"
#include "workbook/workbook.h"

namespace flovir {
namespace {

namespace fs = std::filesystem;
using test::U16At;
using test::U32At;

std::string Pattern(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 7 + i / 251);
  return s;
}

std::string ReadBack(const std::string& file, std::string_view name) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(file.data());
  CompoundFileReader reader(std::span<const uint8_t>(bytes, file.size()));
  const std::vector<uint8_t> stream = reader.ReadStream(name);
  return std::string(stream.begin(), stream.end());
}

TEST(CompoundFile, HeaderAndDirectory) {
  const std::string file = BuildCompoundFile("Book", Pattern(1000));
  ASSERT_EQ(file.size() % 512, 0u);
  EXPECT_EQ(file.substr(0, 8), test::Hex("D0 CF 11 E0 A1 B1 1A E1"));
  EXPECT_EQ(U16At(file, 26), 3);       // version 3: 512-byte sectors
  EXPECT_EQ(U16At(file, 28), 0xFFFE);  // little-endian
  EXPECT_EQ(U32At(file, 56), 4096u);   // mini stream cutoff
  EXPECT_EQ(U32At(file, 64), 1u);      // one mini FAT sector: the stream is short
  const uint32_t directory = U32At(file, 48);
  const std::string root = file.substr(512 * (directory + 1), 128);
  const std::string book = file.substr(512 * (directory + 1) + 128, 128);
  EXPECT_EQ(root.substr(0, 20), std::string("R\0o\0o\0t\0 \0E\0n\0t\0r\0y\0", 20));
  EXPECT_EQ(root[66], 5);
  EXPECT_EQ(U32At(root, 76), 1u);      // its child is "Book"
  EXPECT_EQ(U32At(root, 120), 1024u);  // the mini stream: 16 mini sectors
  EXPECT_EQ(book.substr(0, 10), std::string("B\0o\0o\0k\0\0\0", 10));
  EXPECT_EQ(U16At(book, 64), 10);
  EXPECT_EQ(book[66], 2);
  EXPECT_EQ(U32At(book, 120), 1000u);
}

TEST(CompoundFile, StreamsOfEverySizeReadBack) {
  // Around the mini stream cutoff, sector edges, and past the 109 FAT
  // sectors that the header can list (more than 7 MB needs DIFAT sectors).
  for (size_t size : {size_t{0}, size_t{1}, size_t{64}, size_t{4095}, size_t{4096}, size_t{4097},
                      size_t{512 * 128}, size_t{512 * 127 * 109}, size_t{9'000'000}}) {
    const std::string stream = Pattern(size);
    const std::string file = BuildCompoundFile("Book", stream);
    if (size > 0) {
      EXPECT_EQ(ReadBack(file, "Book"), stream) << size;
    }
    if (size == 9'000'000) {
      EXPECT_GT(U32At(file, 72), 0u);  // DIFAT sectors
    }
  }
}

class SaveTest : public ::testing::Test {
 protected:
  size_t FilesInDir() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {}));
  }

  testing::ScratchFolder dir_{"flovir-wbw"};
};

TEST_F(SaveTest, WritesTheRecordStreamAsBook) {
  WorkbookModel model = WorkbookModel::MakeArchiveWorkbook();
  model.SetTextCell(1, 0, 8, "Итого:", 4);
  model.SetFileName((dir_ / "temp.xls").string());
  model.SaveWorkbook();
  const std::string file = testing::ReadFile(dir_ / "temp.xls");
  const std::string stream = ReadBack(file, "Book");
  EXPECT_EQ(stream.substr(0, 8), test::Hex("09 08 08 00 00 05 05 00"));
  EXPECT_NE(stream.find("\xC8\xF2\xEE\xE3\xEE:"), std::string::npos);
  EXPECT_EQ(FilesInDir(), 1u);  // no temporary file left behind
}

TEST_F(SaveTest, ReplacesAnExistingFileKeepingItsPermissions) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows files have no permission bits";
#endif
  const fs::path path = dir_ / "параметры.xls";
  std::ofstream(path) << "old";
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  WorkbookModel model = WorkbookModel::MakeParameterWorkbook();
  model.SetFileName(path.string());
  model.SaveWorkbook();
  EXPECT_EQ(testing::ReadFile(path).substr(0, 4), "\xD0\xCF\x11\xE0");
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(SaveTest, FailuresCarryTheSystemsMessageAndKeepThePreviousFile) {
  WorkbookModel model = WorkbookModel::MakeParameterWorkbook();
  model.SetFileName((dir_ / "no such folder" / "a.xls").string());
  try {
    model.SaveWorkbook();
    FAIL() << "no error";
  } catch (const WorkbookError& e) {
    EXPECT_NE(std::string(e.what()).find(testing::SystemText(ENOENT, 3)), std::string::npos)
        << e.what();
  }

  // A folder in the way of the rename: the write fails at the last step.
  const fs::path blocked = dir_ / "blocked.xls";
  fs::create_directories(blocked / "inside");
  model.SetFileName(blocked.string());
  EXPECT_THROW(model.SaveWorkbook(), WorkbookError);
  EXPECT_TRUE(fs::is_directory(blocked / "inside"));
  EXPECT_EQ(FilesInDir(), 1u);

  // A refusal comes before the file is touched.
  const fs::path kept = dir_ / "kept.xls";
  std::ofstream(kept) << "previous";
  model.SetFileName(kept.string());
  model.Data().StoreCell(0, 0, 0, WorkbookCell{CellType::Error, CellType::None, 99, 0, 0, 0});
  EXPECT_THROW(model.SaveWorkbook(), WorkbookError);
  EXPECT_EQ(testing::ReadFile(kept), "previous");
  EXPECT_EQ(FilesInDir(), 2u);
}

}  // namespace
}  // namespace flovir
