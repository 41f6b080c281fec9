#include "operations/report_files.h"

#include <cerrno>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/support/files.h"

namespace flovir {
namespace {

namespace fs = std::filesystem;

using testing::ReadFile;
using testing::SystemText;
using testing::Utf8;

class ReportFilesTest : public ::testing::Test {
 protected:
  size_t FilesIn(const fs::path& folder) const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
  }
  testing::ScratchFolder folder_{"flovir-files"};
};

TEST_F(ReportFilesTest, Windows1251WithCrLfAndNoByteOrderMark) {
  const fs::path path = folder_ / u8"текущие.txt";
  WriteReportFile(Utf8(path), {"объём = 1,5", "", "Итого:"});
  EXPECT_EQ(ReadFile(path),
            "\xEE\xE1\xFA\xB8\xEC = 1,5\r\n"
            "\r\n"
            "\xC8\xF2\xEE\xE3\xEE:\r\n");
  WriteReportFile(Utf8(path), {});
  EXPECT_EQ(ReadFile(path), "");
  EXPECT_EQ(FilesIn(folder_), 1u);  // no temporary file left behind
}

TEST_F(ReportFilesTest, ReplacesAnExistingFile) {
  const fs::path path = folder_ / u8"отчёт.txt";
  std::ofstream(path) << "an older and much longer report\n";
  WriteReportFile(Utf8(path), {"new"});
  EXPECT_EQ(ReadFile(path), "new\r\n");
}

TEST_F(ReportFilesTest, FailureNamesTheFileAndTheReasonAndKeepsNothingHalfWritten) {
  std::ofstream(folder_ / "plain file") << "x";
  const std::string path = (folder_ / "plain file" / "report.txt").string();
  try {
    WriteReportFile(path, {"a"});
    FAIL() << "no error";
  } catch (const ReportFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              "файл «" + path + "» не записан: «" + (folder_ / "plain file").string() +
                  "» — файл, а не папка (" + SystemText(ENOTDIR, 3) + ")");  // ERROR_PATH_NOT_FOUND
  }
  const std::string missing = (folder_ / "missing" / "report.txt").string();
  EXPECT_THROW(WriteReportFile(missing, {"a"}), ReportFileError);
  EXPECT_EQ(FilesIn(folder_), 1u);
}

TEST_F(ReportFilesTest, TheTargetThatIsAFolderStaysAsItWas) {
  fs::create_directories(folder_ / "taken.txt" / "inside");
  EXPECT_THROW(WriteReportFile((folder_ / "taken.txt").string(), {"a"}), ReportFileError);
  EXPECT_TRUE(fs::is_directory(folder_ / "taken.txt" / "inside"));
  EXPECT_EQ(FilesIn(folder_), 1u);
}

TEST_F(ReportFilesTest, AutoSaveFolderBesideTheProgram) {
  const std::string program = folder_.Path();
  EXPECT_EQ(AutoSaveFolder(program, ""), program);
  EXPECT_EQ(AutoSaveFolder(program, "авто_"), program + "/авто_");

  const std::string written = AutoSaveReport(program, "авто_", "/текущие.txt", {"1"});
  EXPECT_EQ(written, program + "/авто_/текущие.txt");
  EXPECT_EQ(ReadFile(written), "1\r\n");
  // Once the folder exists the next save replaces the file.
  AutoSaveReport(program, "авто_", "текущие.txt", {"2"});
  EXPECT_EQ(ReadFile(written), "2\r\n");
  // An empty name saves beside the program; nested names get their parents.
  EXPECT_EQ(AutoSaveReport(program, "", "/месячный архив.txt", {"m"}),
            program + "/месячный архив.txt");
  EXPECT_EQ(MakeAutoSaveFolder(program, "a/b/c"), program + "/a/b/c");
  EXPECT_TRUE(fs::is_directory(folder_ / "a" / "b" / "c"));
}

TEST_F(ReportFilesTest, AutoSaveFolderThatIsAFileIsAnError) {
  std::ofstream(folder_ / u8"авто_") << "x";
  try {
    MakeAutoSaveFolder(folder_.Path(), "авто_");
    FAIL() << "no error";
  } catch (const ReportFileError& e) {
    EXPECT_NE(std::string(e.what()).find("папка «" + folder_.Path() + "/авто_» не создана: «"),
              std::string::npos);
  }
}

TEST_F(ReportFilesTest, FailuresNameTheCauseInRussianWithTheSystemsTextBeside) {
  const std::string root = folder_.Path();
  std::ofstream(folder_ / u8"файл") << "x";
  fs::create_directories(folder_ / u8"папка");
  struct Case {
    std::string path;
    bool folder;
    std::string reason;
  } cases[] = {
      {root + "/нет/ещё/отчёт.txt", false, "папка «" + root + "/нет» не существует (текст)"},
      {root + "/файл/авто_", true, "«" + root + "/файл» — файл, а не папка (текст)"},
      {root + "/файл", true, "«" + root + "/файл» — файл, а не папка (текст)"},
      {root + "/папка", false, "«" + root + "/папка» — папка, а не файл (текст)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WriteFailureReason(c.path, c.folder, {}, "текст"), c.reason) << c.path;
  }
  EXPECT_EQ(WriteFailureReason(root + "/f", false,
                               std::make_error_code(std::errc::no_space_on_device), "текст"),
            "на диске нет места (текст)");

  // The messages of the writers themselves.
  try {
    MakeAutoSaveFolder(root + "/файл", "авто_");
    FAIL() << "no error";
  } catch (const ReportFileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("папка «" + root + "/файл/авто_» не создана: «" + root +
                                              "/файл» — файл, а не папка (",
                                          0),
              0u)
        << e.what();
  }
#ifdef __linux__
  // A folder the system refuses to create under /proc.
  try {
    MakeAutoSaveFolder("/proc/x", "авто_");
    FAIL() << "no error";
  } catch (const ReportFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              "папка «/proc/x/авто_» не создана: папка «/proc/x» не существует (" +
                  SystemText(ENOENT, 0) + ")");
  }
#endif
}

TEST(WithExtension, ReplacesOrAppends) {
  EXPECT_EQ(WithExtension("архив", ".txt"), "архив.txt");
  EXPECT_EQ(WithExtension("/home/u/отчёт.doc", ".txt"), "/home/u/отчёт.txt");
  EXPECT_EQ(WithExtension("/home/u/report.txt", ".txt"), "/home/u/report.txt");
  EXPECT_EQ(WithExtension("/data.v2/report", ".txt"), "/data.v2/report.txt");
  EXPECT_EQ(WithExtension("a.tar.gz", ".txt"), "a.tar.txt");
  EXPECT_EQ(WithExtension("параметры", ".xls"), "параметры.xls");
  EXPECT_EQ(WithExtension("параметры.txt", ".xls"), "параметры.xls");
}

TEST(ProgramFolder, OverrideOrTheExecutablesFolder) {
  EXPECT_EQ(ProgramFolder("/some/where"), "/some/where");
  // The test program's own folder is writable.
#ifdef _WIN32
  EXPECT_TRUE(fs::exists(PathFromUtf8(ProgramFolder()) / "flovir_reports_tests.exe"));
#else
  EXPECT_EQ(ProgramFolder(), fs::read_symlink("/proc/self/exe").parent_path().string());
#endif
}

}  // namespace
}  // namespace flovir
