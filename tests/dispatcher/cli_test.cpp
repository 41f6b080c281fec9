// flovir-cli current, archive and test against the built-in simulated meter,
// as a user runs them: what they print, the files they leave, exit statuses.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/programs.h"
#include "tests/support/rig.h"

namespace flovir {
namespace {

using testing::RunCli;

TEST(OperationsCli, CurrentPrintsTheReportAndSavesIt) {
  testing::ScratchFolder folder{"flovir-cli"};
  const testing::CliRun r = RunCli("current --demo --folder " + folder.Path());
  EXPECT_EQ(r.status, 0);
  ASSERT_EQ(r.Lines().size(), 15u);
  EXPECT_EQ(r.Lines()[0].rfind("объёмный расход F1, м3/час = ", 0), 0u);
  EXPECT_EQ(r.Lines()[14], "Завершено успешно");
  EXPECT_TRUE(std::filesystem::exists(folder / u8"авто_/текущие.txt"));
}

TEST(OperationsCli, ArchivePrintsTheTableOfTheDays) {
  testing::ScratchFolder folder{"flovir-cli"};
  // Days long before the simulated meter's first day, so that they do not
  // depend on today: entries without data, still a whole table.
  const testing::CliRun r =
      RunCli("archive daily --demo --from 01.01.2020 --to 03.01.2020 --folder " + folder.Path());
  EXPECT_EQ(r.status, 0);
  ASSERT_FALSE(r.Lines().empty());
  EXPECT_EQ(r.Lines()[0], "Суточный архив с 01.01.2020 по 03.01.2020");
  int rows = 0;
  for (const auto& line : r.Lines()) rows += line.rfind("0", 0) == 0 && line[2] == '.';
  EXPECT_EQ(rows, 3 + 2);  // three days and two integrator readings
  EXPECT_EQ(r.Lines().back(), "Завершено успешно");
  EXPECT_TRUE(std::filesystem::exists(folder / "temp.xls"));
  EXPECT_TRUE(std::filesystem::exists(folder / u8"авто_/суточный архив.txt"));
}

TEST(OperationsCli, TestPrintsOneLinePerTick) {
  const testing::CliRun r = RunCli("test --demo --ticks 2 --interval 0 --chunk 4");
  EXPECT_EQ(r.status, 0);
  const std::vector<std::string> lines = r.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(std::count(lines[0].begin(), lines[0].end(), ' '), 2);
}

TEST(OperationsCli, BadArgumentsAreUsageErrors) {
  for (const char* arguments : {"archive weekly --demo", "archive daily --from 31.02.2024 --demo",
                                "archive hourly --to 1.2 --demo", "current extra --demo",
                                "test --ticks 0 --demo", "current --nonsense"}) {
    EXPECT_EQ(RunCli(arguments).status, 2) << arguments;
  }
}

}  // namespace
}  // namespace flovir
