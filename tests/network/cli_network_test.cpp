// flovir-cli over the network lines, as a user runs it: an hourly archive of
// a past day, the parameter table and the current values give the same files
// and output over a converter (RTU over TCP) and a Modbus TCP gateway as over
// the serial line; and the command line's contract on CLI11.

#include <gtest/gtest.h>

#include <ctime>

#include "tests/support/files.h"
#include "tests/support/programs.h"

namespace flovir {
namespace {

testing::CliRun Cli(const std::string& arguments) {
  return testing::RunCli(arguments);
}

// DD.MM.YYYY of a day well inside the simulated meter's archive.
std::string TenDaysAgo() {
  const std::time_t then = std::time(nullptr) - 10 * 86400;
  std::tm local{};
  localtime_r(&then, &local);
  char text[16];
  std::strftime(text, sizeof text, "%d.%m.%Y", &local);
  return text;
}

// The text without the line that carries the moment it was made ("создан:"
// in the archive's report and workbook, CP1251 or UTF-8).
std::string Timeless(const std::string& text) {
  std::string out;
  size_t at = 0;
  for (size_t end; at < text.size(); at = end + 1) {
    end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    if (line.find("создан:") == std::string::npos &&
        line.find("\xF1\xEE\xE7\xE4\xE0\xED:") == std::string::npos) {
      out += line + "\n";
    }
  }
  return out;
}

// What the workbook reader makes of a file.
std::string Dump(const std::filesystem::path& file) {
  return Timeless(
      testing::RunCapturing(testing::kCli + " workbook dump " + testing::Quote(file)).output);
}

TEST(CliOnTheNetwork, TheSameFilesAsOverTheSerialLine) {
  const std::string day = TenDaysAgo();
  struct Run {
    testing::ProgramRun archive, params, current;
    std::string temp_xls, archive_txt, params_xls;
  };
  const auto run = [&](const std::string& line) {
    testing::ScratchFolder folder{"flovir-net-cli"};
    const std::string common = " --demo" + line + " --folder " + testing::Quote(folder.Path());
    Run r;
    r.archive = Cli("archive hourly --from " + day + " --to " + day + common);
    r.params = Cli("params read" + common);
    r.current = Cli(common + " current");
    r.archive.output = Timeless(r.archive.output);
    r.temp_xls = Dump(folder / "temp.xls");
    r.archive_txt = Timeless(testing::ReadFile(folder / "авто_/часовой архив.txt"));
    r.params_xls = testing::ReadFile(folder / "авто_/параметры.xls");
    return r;
  };
  const Run serial = run("");
  ASSERT_EQ(serial.archive.status, 0);
  ASSERT_EQ(serial.params.status, 0);
  ASSERT_EQ(serial.current.status, 0);
  ASSERT_FALSE(serial.temp_xls.empty());
  for (const char* line : {" --line tcp", " --line modbus-tcp"}) {
    const Run network = run(line);
    EXPECT_EQ(network.archive.status, 0) << line;
    EXPECT_EQ(network.archive.output, serial.archive.output) << line;
    EXPECT_EQ(network.temp_xls, serial.temp_xls) << line;
    EXPECT_EQ(network.archive_txt, serial.archive_txt) << line;
    EXPECT_EQ(network.params.output, serial.params.output) << line;
    EXPECT_EQ(network.params_xls, serial.params_xls) << line;
    // The current values move with the meter's clock: the same report, line
    // for line, and the same status.
    EXPECT_EQ(network.current.status, 0) << line;
    EXPECT_EQ(network.current.Lines().size(), serial.current.Lines().size()) << line;
    EXPECT_EQ(network.current.Lines().back(), serial.current.Lines().back()) << line;
  }
}

TEST(CliOnTheNetwork, TheCommandLineExplainsItself) {
  // No command: the usage, and the status of a usage error.
  const testing::ProgramRun none = testing::RunCapturing(testing::kCli + " 2>&1 >/dev/null");
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.output.find("archive"), std::string::npos) << none.output;
  // Every command describes its options and the global ones, with defaults.
  const testing::ProgramRun help = Cli("archive --help");
  EXPECT_EQ(help.status, 0);
  for (const char* text : {"--from DATE=today", "--host HOST:PORT", "--timeout MS=3000",
                           "--folder DIR", "tcp", "modbus-tcp"}) {
    EXPECT_NE(help.output.find(text), std::string::npos) << text << "\n" << help.output;
  }
  // Global options are taken by every command, before or after its name.
  EXPECT_EQ(Cli("--folder /nonexistent/x clock --demo").status, 0);
  EXPECT_EQ(Cli("--line tcp --host [::1]:1 --timeout 500 raw read 0 1").status, 1);
  EXPECT_EQ(Cli("raw read 0 1 --line modbus-tcp --host 127.0.0.1:0").status, 2);
}

}  // namespace
}  // namespace flovir
