// flovir-cli params and clock as a user runs them: separate processes on a
// real pseudo-terminal, with flovir-meter-sim as the meter.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/programs.h"
#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/simulated_meter.h"

namespace {

namespace fs = std::filesystem;

using flovir::testing::kCli;
const std::string kSim = std::string(FLOVIR_BINARY_DIR) + "/tools/meter-sim/flovir-meter-sim";

using Output = flovir::testing::CliRun;
using flovir::testing::RunCli;

// flovir-meter-sim in a child process; its first line names the pty.
class MeterProcess {
 public:
  explicit MeterProcess(std::vector<std::string> options = {}) {
    std::vector<char*> argv{const_cast<char*>(kSim.c_str())};
    for (std::string& option : options) argv.push_back(option.data());
    argv.push_back(nullptr);
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      // The meter goes with the test, also when the test dies.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      dup2(fds[1], STDOUT_FILENO);
      close(fds[0]);
      close(fds[1]);
      execv(kSim.c_str(), argv.data());
      _exit(127);
    }
    close(fds[1]);
    FILE* out = fdopen(fds[0], "r");
    char line[512] = {};
    if (out != nullptr && std::fgets(line, sizeof line, out) != nullptr) {
      path_ = line;
      if (!path_.empty() && path_.back() == '\n') path_.pop_back();
    }
    if (out != nullptr) std::fclose(out);
  }
  ~MeterProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& Path() const { return path_; }

 private:
  pid_t pid_ = -1;
  std::string path_;
};

std::optional<std::string> RowOf(const Output& out, const std::string& name) {
  for (const std::string& line : out.Lines()) {
    if (line.rfind(name, 0) == 0) return line;
  }
  return std::nullopt;
}

TEST(ParamsCommand, ReadSetWriteAndReadAgainOverAPseudoTerminal) {
  MeterProcess meter;
  ASSERT_FALSE(meter.Path().empty());
  const flovir::testing::ScratchFolder folder{"flovir-pcli"};
  const std::string port = " --port " + meter.Path();
  const std::string folder_option = " --folder " + folder.Path();
  const std::string saved = (folder / "копия.xls").string();

  const Output first =
      RunCli("params read --save " + (folder / "копия").string() + port + folder_option);
  ASSERT_EQ(first.status, 0);
  ASSERT_EQ(first.Lines().size(), 38u + 2u);  // the rows, the status, the saved file
  EXPECT_EQ(first.Lines()[38], "Завершено успешно");
  EXPECT_EQ(first.Lines()[39], saved);
  EXPECT_TRUE(fs::exists(folder / "авто_" / "параметры.xls"));

  EXPECT_EQ(RunCli("params set '" + saved + "' 6 2 1234,5").status, 0);
  EXPECT_EQ(RunCli("params set '" + saved + "' 3 2 1").status, 1);    // measured: read-only
  EXPECT_EQ(RunCli("params set '" + saved + "' 6 2 1.5").status, 1);  // a point is no separator
  const Output write = RunCli("params write --load '" + saved + "'" + port);
  ASSERT_EQ(write.status, 0);
  EXPECT_EQ(write.Lines(), std::vector<std::string>{"Завершено успешно"});

  const Output second = RunCli("params read" + port + folder_option);
  ASSERT_EQ(second.status, 0);
  ASSERT_EQ(second.Lines().size(), 39u);
  for (size_t row = 0; row < 38; ++row) {
    if (row != 6) {
      EXPECT_EQ(second.Lines()[row], first.Lines()[row]) << row;
    }
  }
  const std::optional<std::string> maximum = RowOf(second, "Максимум, м3/час");
  ASSERT_TRUE(maximum.has_value());
  EXPECT_NE(maximum->find(" 1234,5 "), std::string::npos) << *maximum;

  const Output clock = RunCli("clock" + port);
  EXPECT_EQ(clock.status, 0);
  EXPECT_EQ(clock.Lines(), std::vector<std::string>{"Завершено успешно"});
}

// Ctrl-C during a read on a slow line: at 1200 baud the five frames of 125
// registers take over ten seconds on the wire; the read ends soon after the
// interrupt, cancelled, and saves nothing.
TEST(ParamsCommand, CtrlCEndsASlowReadAndSavesNothing) {
  const flovir::testing::ScratchFolder folder{"flovir-pcli"};
  const auto began = std::chrono::steady_clock::now();
  const flovir::testing::ProgramRun run = flovir::testing::RunCapturing(
      "timeout -s INT --preserve-status 1 " + flovir::testing::kCli +
      " params read --demo --baud 1200 --chunk 125 --folder " + folder.Path() + " 2>&1");
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("Прервано пользователем"), std::string::npos) << run.output;
  EXPECT_LT(seconds, 8.0);
  EXPECT_FALSE(fs::exists(folder / "авто_" / "параметры.xls"));
}

// The meter's answer to the third of the eight frames comes 1.5 answer
// timeouts late, as on a stalled GSM call: the table is the meter's, or the
// read fails, says why and saves nothing.
TEST(ParamsCommand, ALateReplyGivesTheExactTableOrAFailureThatSavesNothing) {
  MeterProcess clean_meter;
  MeterProcess late_meter({"--fault", "late=750/3*1"});
  ASSERT_FALSE(clean_meter.Path().empty());
  ASSERT_FALSE(late_meter.Path().empty());
  const flovir::testing::ScratchFolder folder{"flovir-plate"};
  const std::string options = " --timeout 500 --folder " + folder.Path() + " --port ";
  const Output clean = RunCli("params read" + options + clean_meter.Path());
  ASSERT_EQ(clean.status, 0);
  fs::remove(folder / "авто_" / "параметры.xls");

  const Output late = RunCli("params read" + options + late_meter.Path());
  if (late.status == 0) {
    EXPECT_EQ(late.Lines(), clean.Lines());
  } else {
    ASSERT_FALSE(late.Lines().empty());
    EXPECT_NE(late.Lines().back(), "Завершено успешно");
    EXPECT_FALSE(fs::exists(folder / "авто_" / "параметры.xls"));
  }
}

// The meter in this process, so that the test can change its faults
// between two runs of flovir-cli: a meter that keeps another value than
// written, then a line that dies in the middle of the write; each time the
// backup that the write made brings the meter back to its table exactly.
TEST(ParamsCommand, AWriteThatFailsSaysWhyAndItsBackupRestoresTheMeter) {
  flovir::sim::SimulatedMeter meter;
  flovir::sim::MeterServer server(meter, {.pacing = false});
  const flovir::testing::ScratchFolder folder{"flovir-pfail"};
  const std::string line = " --port " + server.SlavePath() + " --folder " + folder.Path() +
                           " --attempts 1 --timeout 300";
  const auto original = meter.ParameterRegisters();
  const std::string edited = (folder / "изменено.xls").string();
  ASSERT_EQ(RunCli("params read --save '" + edited + "'" + line).status, 0);
  ASSERT_EQ(RunCli("params set '" + edited + "' 8 1 152,5").status, 0);

  flovir::sim::FaultPlan clamp{flovir::sim::FaultKind::kStoreOther};
  clamp.count = 415;  // the high word of "Диаметр, мм [D]", channel 1
  meter.SetFaults({clamp});
  const Output clamped = RunCli("params write --load '" + edited + "'" + line);
  EXPECT_EQ(clamped.status, 1);
  ASSERT_EQ(clamped.Lines().size(), 1u) << clamped.errors;
  EXPECT_NE(clamped.Lines()[0].find("Диаметр, мм [D], канал 1: записано 152,50, в приборе "),
            std::string::npos)
      << clamped.Lines()[0];
  EXPECT_NE(clamped.errors.find("Изменится значений: 1\n  Диаметр, мм [D], канал 1: "),
            std::string::npos)
      << clamped.errors;

  const auto backup_in = [](const std::string& text) {
    const std::string mark = "Резервная копия прежней таблицы: ";
    const size_t at = text.find(mark);
    return at == std::string::npos ? std::string() : text.substr(at + mark.size());
  };
  meter.SetFaults({});
  const std::string first_backup = backup_in(clamped.Lines()[0]);
  ASSERT_TRUE(fs::exists(first_backup)) << first_backup;
  const Output restored = RunCli("params restore '" + first_backup + "'" + line);
  EXPECT_EQ(restored.status, 0) << restored.errors;
  EXPECT_EQ(restored.Lines(), std::vector<std::string>{"Завершено успешно"});
  EXPECT_EQ(meter.ParameterRegisters(), original);

  // Eight frames of the backup read, then three of the write.
  flovir::sim::FaultPlan cut{flovir::sim::FaultKind::kCut};
  cut.after = 11;
  meter.SetFaults({cut});
  const Output interrupted = RunCli("params write --load '" + edited + "'" + line);
  EXPECT_EQ(interrupted.status, 1);
  ASSERT_EQ(interrupted.Lines().size(), 1u) << interrupted.errors;
  EXPECT_NE(interrupted.Lines()[0].find("Прибор подтвердил 3 из 8 кадров и теперь может хранить "
                                        "смешанную таблицу"),
            std::string::npos)
      << interrupted.Lines()[0];
  EXPECT_NE(meter.ParameterRegisters(), original);
  meter.SetFaults({});
  const std::string second_backup = backup_in(interrupted.Lines()[0]);
  EXPECT_EQ(RunCli("params restore '" + second_backup + "' --yes" + line).status, 0);
  EXPECT_EQ(meter.ParameterRegisters(), original);

  std::ifstream log(folder / "журнал записи параметров.txt", std::ios::binary);
  const std::string entries(std::istreambuf_iterator<char>(log), {});
  size_t writes = 0;
  for (size_t at = 0; (at = entries.find("\r\n\r\n", at)) != std::string::npos; at += 4) ++writes;
  EXPECT_EQ(writes, 4u);

  // The history keeps the same four writes, read back with sqlite3.
  const auto sql = [&](const std::string& query) {
    return flovir::testing::RunCapturing("sqlite3 '" + folder.Path("history.sqlite") + "' \"" +
                                         query + "\"")
        .output;
  };
  EXPECT_EQ(sql("SELECT result, frames_acknowledged, frames_total FROM parameter_writes "
                "ORDER BY id"),
            "differs|8|8\nverified|8|8\ninterrupted|3|8\nverified|8|8\n");
  EXPECT_EQ(sql("SELECT name, after_text, held <> after FROM parameter_changes WHERE write_id = 1"),
            "Диаметр, мм [D], канал 1|152,50|1\n");
  EXPECT_EQ(sql("SELECT backup FROM parameter_writes WHERE id = 1"), first_backup + "\n");
  // Each write and restore loads a workbook and backs the meter up; the
  // interrupted write is not "written".
  EXPECT_EQ(sql("SELECT source, count(*) FROM parameter_tables GROUP BY source ORDER BY source"),
            "backup|4\nloaded|4\nread|1\nwritten|3\n");
}

TEST(ParamsCommand, DiffListsExactlyTheDifferingCells) {
  MeterProcess meter;
  ASSERT_FALSE(meter.Path().empty());
  const flovir::testing::ScratchFolder folder{"flovir-pdiff"};
  const std::string line = " --port " + meter.Path() + " --folder " + folder.Path();
  const std::string a = (folder / "a.xls").string();
  const std::string b = (folder / "b.xls").string();
  ASSERT_EQ(RunCli("params read --save '" + a + "'" + line).status, 0);
  fs::copy_file(a, b);
  ASSERT_EQ(RunCli("params set '" + b + "' 8 1 152,5").status, 0);
  ASSERT_EQ(RunCli("params set '" + b + "' 3 6 2").status, 0);  // "Тип УПР 1(234)N"

  const Output differ = RunCli("params diff '" + a + "' '" + b + "'");
  EXPECT_EQ(differ.status, 1);
  ASSERT_EQ(differ.Lines().size(), 2u) << differ.errors;
  // Row by row: row 3 of the general column before row 8 of channel 1.
  EXPECT_EQ(differ.Lines()[0], "Тип УПР 1(234)N: 1 -> 2");
  EXPECT_EQ(differ.Lines()[1].rfind("Диаметр, мм [D], канал 1: ", 0), 0u) << differ.Lines()[1];
  EXPECT_NE(differ.Lines()[1].find(" -> 152,50"), std::string::npos);

  const Output same = RunCli("params diff '" + a + "' '" + a + "'");
  EXPECT_EQ(same.status, 0);
  EXPECT_TRUE(same.Lines().empty());
  EXPECT_EQ(RunCli("params diff '" + a + "'" + line).status, 0);  // against the meter
  EXPECT_EQ(RunCli("params diff '" + b + "'" + line).status, 1);

  { std::ofstream(folder / "не книга.xls") << "text"; }
  EXPECT_EQ(RunCli("params diff '" + a + "' '" + (folder / "не книга.xls").string() + "'").status,
            2);
}

}  // namespace
