// flovir-cli params and clock: the operations of the page "Параметры" from a
// terminal. params read prints the table as the grid shows it; params write
// and params restore send a parameter workbook to the meter through backup,
// confirmation and read-back; params set changes one value of a parameter
// workbook with the grid editor's rules; params diff compares two tables;
// clock sets the meter's clock from the computer's.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_session.h"
#include "cli/commands.h"
#include "cli/line_options.h"
#include "cli/machine_output.h"
#include "cli/parameter_lines.h"
#include "operations/report_files.h"
#include "parameters/parameter_changes.h"
#include "parameters/parameter_operations.h"
#include "parameters/parameter_table.h"
#include "parameters/parameter_workbook.h"
#include "parameters/value_conversion.h"
#include "workbook/cp1251.h"
#include "workbook/workbook.h"

namespace flovir::cli {

namespace {

// Pads a UTF-8 text with blanks to width characters, on the left or the right.
std::string Pad(const std::string& text, size_t width, bool right_align) {
  const size_t length = Utf8Length(text);
  if (length >= width) return text;
  const std::string blanks(width - length, ' ');
  return right_align ? blanks + text : text + blanks;
}

}  // namespace

// The grid as text: per row the channel row's name, the four channel values,
// then the general parameter's name and value where the row has one.
std::vector<std::string> ParameterTableLines(const ParameterTable& table,
                                             const ParameterBuffer& buffer) {
  std::vector<std::string> lines;
  for (int row = 0; row < kParameterRows; ++row) {
    std::string line = Pad(CellText(table.Cell(row, 0), buffer), 28, false);
    for (int column = 1; column <= 4; ++column) {
      line += " " + Pad(CellText(table.Cell(row, column), buffer), 16, true);
    }
    if (table.Cell(row, 6).Kind != CellKind::Empty) {
      line += "   " + Pad(CellText(table.Cell(row, 5), buffer), 22, false) + " " +
              Pad(CellText(table.Cell(row, 6), buffer), 16, true);
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

namespace {

int Read(const GlobalOptions& global, const std::string& save_as, OutputFormat format) {
  CommandSession command(global);
  if (!command.Open()) return kExitFailed;
  Session& session = command.Get();
  const bool ok = command.Run([](Session& s) { return s.ReadParameters(); });
  const ParameterBuffer buffer = session.LastResult().parameters.value_or(ParameterBuffer{});
  if (format != OutputFormat::Text) {
    // The values as CSV or JSON alone on standard output.
    if (ok) PrintParameters(format, session.GetDispatcher(), session.Table());
    command.PrintStatus(false);
  } else {
    // A failed read shows what arrived, as the grid does.
    command.GetView().EndStatusLine();
    for (const std::string& text : ParameterTableLines(session.Table(), buffer)) {
      std::printf("%s\n", text.c_str());
    }
    command.PrintStatus();
  }
  if (!ok) return kExitFailed;
  if (!save_as.empty()) {
    const std::string path = WithExtension(save_as, ".xls");
    try {
      SaveParameterWorkbook(session.ParameterWorkbook(), session.Table(), buffer, path);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "%s: %s\n", path.c_str(), error.what());
      return kExitFailed;
    }
    std::fprintf(format == OutputFormat::Text ? stdout : stderr, "%s\n", path.c_str());
  }
  return kExitOk;
}

// The changes a write will make, on standard error: standard output keeps
// the one status line that scripts have always read.
void PrintPlan(const ParameterTable& table, const WritePlan& plan) {
  std::fprintf(stderr, "Резервная копия параметров прибора: %s\n", plan.backup_path.c_str());
  if (plan.changes.empty()) {
    std::fprintf(stderr, "Значения совпадают с тем, что хранит прибор\n");
    return;
  }
  std::fprintf(stderr, "Изменится значений: %zu\n", plan.changes.size());
  for (const ParameterChange& change : plan.changes) {
    std::fprintf(stderr, "  %s\n", ChangeLine(table, change).c_str());
  }
}

// Asks on the terminal; only "д", "да", "y" or "yes" go on.
bool AskToGo(bool nothing_changed) {
  std::fprintf(stderr,
               nothing_changed ? "Записать всё равно? [д/Н] " : "Записать в прибор? [д/Н] ");
  std::fflush(stderr);
  char answer[64] = {};
  if (std::fgets(answer, sizeof answer, stdin) == nullptr) return false;
  std::string word(answer);
  while (!word.empty() && (word.back() == '\n' || word.back() == '\r' || word.back() == ' ')) {
    word.pop_back();
  }
  return word == "д" || word == "да" || word == "Д" || word == "Да" || word == "y" ||
         word == "yes" || word == "Y";
}

// Sends a parameter workbook to the meter through the backup, the list of
// changes (asked on a terminal unless --yes; a script goes on as ever) and
// the read-back.
int Write(const GlobalOptions& global, const std::string& load, bool yes) {
  // The file first: a workbook that cannot be read sends nothing.
  {
    const ParameterTable table;
    WorkbookModel xls0 = WorkbookModel::MakeParameterWorkbook();
    ParameterBuffer values;
    try {
      LoadParameterWorkbook(xls0, table, values, load);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "%s: %s\n", load.c_str(), error.what());
      return kExitFailed;
    }
  }
  CommandSession command(global);
  if (!command.Open()) return kExitFailed;
  Session& session = command.Get();
  try {
    session.Parameters().LoadWorkbook(load);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", load.c_str(), error.what());
    return kExitFailed;
  }
  // Asked only where someone sees the question and can answer it.
  const bool ask = !yes && isatty(STDIN_FILENO) == 1 && isatty(STDERR_FILENO) == 1;
  const ParameterTable& table = session.Table();
  const bool ok = command.Run([&](Session& s) {
    return s.Parameters().WriteToDevice([&](const WritePlan& plan) {
      command.GetView().EndStatusLine();
      PrintPlan(table, plan);
      return !ask || AskToGo(plan.changes.empty());
    });
  });
  command.PrintStatus();
  if (const auto& outcome = session.Parameters().LastWrite(); outcome) {
    if (outcome->result == WriteOutcome::Result::Differs) {
      std::fprintf(stderr, "Прибор хранит другие значения (записано -> в приборе):\n");
      for (const ParameterChange& cell : outcome->mismatches) {
        std::fprintf(stderr, "  %s\n", ChangeLine(table, cell).c_str());
      }
    }
    if (!outcome->log_error.empty()) {
      std::fprintf(stderr, "Журнал записи не дополнен: %s\n", outcome->log_error.c_str());
    }
  }
  return ok ? kExitOk : kExitFailed;
}

// params diff: 0 the tables are alike, 1 they differ, 2 one of them could
// not be had (a file that is no parameter workbook, a meter that did not
// answer).
constexpr int kExitCannotCompare = 2;

std::optional<ParameterBuffer> LoadForDiff(const ParameterTable& table, const std::string& path) {
  WorkbookModel xls0 = WorkbookModel::MakeParameterWorkbook();
  ParameterBuffer values;
  try {
    LoadParameterWorkbook(xls0, table, values, path);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), error.what());
    return std::nullopt;
  }
  return values;
}

int Diff(const GlobalOptions& global, const std::vector<std::string>& words) {
  if (words.size() != 2 && words.size() != 3) return UsageError("params diff FILE [FILE2]");
  const ParameterTable table;
  const std::optional<ParameterBuffer> first = LoadForDiff(table, words[1]);
  if (!first) return kExitCannotCompare;
  std::optional<ParameterBuffer> second;
  if (words.size() == 3) {
    second = LoadForDiff(table, words[2]);
    if (!second) return kExitCannotCompare;
  } else {
    // Against the meter: what it holds now.
    CommandSession command(global);
    if (!command.Open()) return kExitCannotCompare;
    if (!command.Run([](Session& s) { return s.ReadParameters(); })) {
      command.GetView().EndStatusLine();
      std::fprintf(stderr, "%s\n", command.Get().LastStatusText().c_str());
      return kExitCannotCompare;
    }
    second = command.Get().LastResult().parameters;
  }
  const std::vector<ParameterChange> changes =
      CompareTables(table, *first, *second, ValueScope::Shown);
  for (const ParameterChange& change : changes) {
    std::printf("%s\n", ChangeLine(table, change).c_str());
  }
  const std::string against = words.size() == 3 ? words[2] : "прибор";
  if (changes.empty()) {
    std::fprintf(stderr, "%s и %s совпадают\n", words[1].c_str(), against.c_str());
    return kExitOk;
  }
  std::fprintf(stderr, "%s -> %s: различаются значений: %zu\n", words[1].c_str(), against.c_str(),
               changes.size());
  return kExitFailed;
}

int Set(const std::vector<std::string>& words) {
  if (words.size() != 5) return UsageError("params set FILE ROW COLUMN VALUE");
  const std::string& path = words[1];
  unsigned long row = 0, column = 0;
  if (!ParseNumber(words[2], 0, kParameterRows - 1, row)) {
    return UsageError("ROW: '" + words[2] + "' is not a row from 0 to 37");
  }
  if (!ParseNumber(words[3], 0, kParameterColumns - 1, column)) {
    return UsageError("COLUMN: '" + words[3] + "' is not a column from 0 to 6");
  }
  const ParameterTable table;
  const ParameterCell& cell = table.Cell(static_cast<int>(row), static_cast<int>(column));
  const std::string where = "строка " + std::to_string(row) + ", столбец " + std::to_string(column);
  if (cell.Kind != CellKind::Value) {
    std::fprintf(stderr, "В ячейке (%s) нет значения параметра\n", where.c_str());
    return kExitFailed;
  }
  if (!cell.Editable) {
    std::fprintf(stderr, "Ячейка (%s) только для чтения: это измеренное значение\n", where.c_str());
    return kExitFailed;
  }
  WorkbookModel xls0 = WorkbookModel::MakeParameterWorkbook();
  ParameterBuffer buffer;
  try {
    LoadParameterWorkbook(xls0, table, buffer, path);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), error.what());
    return kExitFailed;
  }
  if (std::string error = StoreEditedText(cell, words[4], buffer); !error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return kExitFailed;
  }
  try {
    SaveParameterWorkbook(xls0, table, buffer, path);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), error.what());
    return kExitFailed;
  }
  const std::string& name = table.Cell(static_cast<int>(row), column == 6 ? 5 : 0).Text;
  std::printf("%s = %s\n", name.c_str(), CellText(cell, buffer).c_str());
  return kExitOk;
}

struct ParamsOptions {
  std::vector<std::string> words;
  std::string save_as, load;
  OutputFormat format = OutputFormat::Text;
  bool yes = false;
};

int Params(const GlobalOptions& global, const ParamsOptions& options) {
  const std::vector<std::string>& words = options.words;
  if (words.empty()) {
    return UsageError("params read | write | set | diff | restore: see params --help");
  }
  const std::string& action = words[0];
  if (action == "read") {
    if (words.size() != 1 || !options.load.empty()) {
      return UsageError("params read [--save FILE]");
    }
    return Read(global, options.save_as, options.format);
  }
  if (action == "write") {
    if (words.size() != 1 || options.load.empty() || !options.save_as.empty()) {
      return UsageError("params write --load FILE");
    }
    return Write(global, options.load, options.yes);
  }
  if (action == "restore") {
    if (words.size() != 2 || !options.load.empty() || !options.save_as.empty()) {
      return UsageError("params restore BACKUP.xls");
    }
    return Write(global, words[1], options.yes);
  }
  if (action == "diff") {
    if (!options.load.empty() || !options.save_as.empty()) {
      return UsageError("params diff FILE [FILE2]");
    }
    return Diff(global, words);
  }
  if (action == "set") {
    if (!options.load.empty() || !options.save_as.empty()) {
      return UsageError("params set FILE ROW COLUMN VALUE");
    }
    return Set(words);
  }
  return UsageError("params: '" + action + "' is not read, write, set, diff or restore");
}

int Clock(const GlobalOptions& global) {
  CommandSession command(global);
  if (!command.Open()) return kExitFailed;
  const bool ok = command.Run([](Session& s) { return s.SetClock(); });
  command.PrintStatus();
  return ok ? kExitOk : kExitFailed;
}

void SetUpParams(CLI::App& command, const GlobalOptions& global, int& exit_status) {
  static ParamsOptions options;
  command
      .add_option("ACTION", options.words,
                  "read: reads the parameter block (registers 400-911) and prints it as the\n"
                  "  grid shows it, a line per row; saves \"параметры.xls\" in the auto-save\n"
                  "  folder and, with --save, FILE (\".xls\" in place of any other extension).\n"
                  "write: loads the values of a parameter workbook (--load) and writes all\n"
                  "  512 registers to the meter: first the meter's table is read and saved\n"
                  "  in \"резервные копии\" beside the auto-save folder, the values that will\n"
                  "  change are listed (on standard error; on a terminal it asks unless\n"
                  "  --yes), then the block is written, read back and compared. Values the\n"
                  "  workbook does not hold are sent as the meter holds them. Every write\n"
                  "  goes into \"журнал записи параметров.txt\" in the program's folder.\n"
                  "restore BACKUP: writes a backup (or any parameter workbook) back, the\n"
                  "  same way.\n"
                  "diff FILE [FILE2]: the values that differ between two parameter\n"
                  "  workbooks, or between a workbook and the meter; exit status 0 when\n"
                  "  alike, 1 when they differ, 2 when a file or the meter could not be read.\n"
                  "set FILE ROW COLUMN VALUE: changes one value in a parameter workbook, as\n"
                  "  the grid editor does: ROW 1-37 and COLUMN 1-4 for the channels, ROW\n"
                  "  1-13 and COLUMN 6 for the general parameters; VALUE with a decimal\n"
                  "  comma (\"1,5\"). The file is written back with the table's cells only.")
      ->type_name("");
  command.add_option("--save", options.save_as, "read: also save the table as FILE")
      ->type_name("FILE")
      ->default_str("none");
  command.add_option("--load", options.load, "write: the parameter workbook to send")
      ->type_name("FILE")
      ->default_str("none");
  command.add_flag("--yes,-y", options.yes, "write, restore: do not ask on a terminal");
  AddFormatOption(command, options.format,
                  "read: the table as text, or the values the meter sent as CSV or JSON");
  command.callback([&] { exit_status = Params(global, options); });
}

void SetUpClock(CLI::App& command, const GlobalOptions& global, int& exit_status) {
  command.callback([&] { exit_status = Clock(global); });
}

const CommandRegistration kParams(
    {"params",
     "the parameter table: params read [--save FILE] | write --load FILE | set ... | diff ... | "
     "restore BACKUP",
     SetUpParams});
const CommandRegistration kClock(
    {"clock", "sets the meter's clock to the computer's local date and time (to the minute)",
     SetUpClock});

}  // namespace
}  // namespace flovir::cli
