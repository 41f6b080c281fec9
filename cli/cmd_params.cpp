// flovir-cli params and clock: the operations of the page "Параметры" from a
// terminal. params read prints the table as the grid shows it; params write
// sends a parameter workbook to the meter; params set changes one value of a
// parameter workbook with the grid editor's rules; clock sets the meter's
// clock from the computer's.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/command_session.h"
#include "cli/commands.h"
#include "cli/line_options.h"
#include "cli/machine_output.h"
#include "operations/report_files.h"
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

// The grid as text: per row the channel row's name, the four channel values,
// then the general parameter's name and value where the row has one.
std::vector<std::string> TableLines(const ParameterTable& table, const ParameterBuffer& buffer) {
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

int Read(const GlobalOptions& global, const std::string& save_as, OutputFormat format) {
  CommandSession command(global);
  if (!command.Open()) return kExitFailed;
  Session& session = command.Get();
  const bool ok = command.Run([](Session& s) { return s.ReadParameters(); });
  const ParameterBuffer& buffer = session.GetDispatcher().Parameters();
  if (format != OutputFormat::Text) {
    // The values as CSV or JSON alone on standard output.
    if (ok) PrintParameters(format, session.GetDispatcher(), session.Table());
    command.PrintStatus(false);
  } else {
    // A failed read shows what arrived, as the grid does.
    command.GetView().EndStatusLine();
    for (const std::string& text : TableLines(session.Table(), buffer)) {
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

int Write(const GlobalOptions& global, const std::string& load) {
  // The file first: a workbook that cannot be read sends nothing.
  const ParameterTable table;
  WorkbookModel xls0 = WorkbookModel::MakeParameterWorkbook();
  ParameterBuffer values;
  try {
    LoadParameterWorkbook(xls0, table, values, load);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", load.c_str(), error.what());
    return kExitFailed;
  }
  CommandSession command(global);
  if (!command.Open()) return kExitFailed;
  command.GetDispatcher().Parameters() = values;
  const bool ok = command.Run([](Session& s) { return s.WriteParameters(); });
  command.PrintStatus();
  return ok ? kExitOk : kExitFailed;
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
};

int Params(const GlobalOptions& global, const ParamsOptions& options) {
  const std::vector<std::string>& words = options.words;
  if (words.empty()) return UsageError("params read | write | set: see params --help");
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
    return Write(global, options.load);
  }
  if (action == "set") {
    if (!options.load.empty() || !options.save_as.empty()) {
      return UsageError("params set FILE ROW COLUMN VALUE");
    }
    return Set(words);
  }
  return UsageError("params: '" + action + "' is not read, write or set");
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
                  "  512 registers to the meter.\n"
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
  AddFormatOption(command, options.format,
                  "read: the table as text, or the values the meter sent as CSV or JSON");
  command.callback([&] { exit_status = Params(global, options); });
}

void SetUpClock(CLI::App& command, const GlobalOptions& global, int& exit_status) {
  command.callback([&] { exit_status = Clock(global); });
}

const CommandRegistration kParams(
    {"params", "the parameter table: params read [--save FILE] | write --load FILE | set ...",
     SetUpParams});
const CommandRegistration kClock(
    {"clock", "sets the meter's clock to the computer's local date and time (to the minute)",
     SetUpClock});

}  // namespace
}  // namespace flovir::cli
