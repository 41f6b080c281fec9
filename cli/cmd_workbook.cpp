// flovir-cli workbook dump FILE: what the workbook reader makes of a file,
// one line per sheet and per cell, for scripts and for comparing with other
// readers.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "workbook/model.h"
#include "workbook/workbook.h"

namespace flovir::cli {

namespace {

const char* KindName(CellType type) {
  switch (type) {
    case CellType::Number:
      return "number";
    case CellType::Text:
      return "text";
    case CellType::Blank:
      return "blank";
    case CellType::Boolean:
      return "boolean";
    case CellType::Error:
      return "error";
    case CellType::Formula:
      return "formula";
    case CellType::None:
      break;
  }
  return "none";
}

// Tabs and line breaks inside a cell would split its line; they are written
// as \t, \n and \r.
std::string OneLine(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

void Dump(const WorkbookModel& model) {
  const WorkbookData& data = model.Data();
  for (size_t sheet = 0; sheet < model.SheetCount(); ++sheet) {
    std::printf("sheet\t%zu\t%s\n", sheet, model.SheetName(sheet).c_str());
    data.sheets[sheet].cells.ForEach([&](uint16_t row, uint8_t column, const WorkbookCell& cell) {
      std::printf("cell\t%zu\t%u\t%u\t%s\t%d\t%s\n", sheet, unsigned{row}, unsigned{column},
                  KindName(cell.type), static_cast<int>(cell.format),
                  OneLine(model.GetCellText(sheet, column, row)).c_str());
    });
  }
}

int RunWorkbook(const std::vector<std::string>& args) {
  if (args.size() != 2 || args[0] != "dump") {
    std::fprintf(stderr, "usage: flovir-cli workbook dump FILE\n");
    return kExitUsage;
  }
  WorkbookModel model;
  model.SetFileName(args[1]);
  try {
    model.LoadWorkbook();
  } catch (const WorkbookError& e) {
    // The reader separates a record number from its cause with a CR, the
    // line break of a message box; a terminal needs a line feed.
    std::string message = e.what();
    std::replace(message.begin(), message.end(), '\r', '\n');
    std::fprintf(stderr, "%s\n", message.c_str());
    return kExitFailed;
  }
  Dump(model);
  return kExitOk;
}

void SetUpWorkbook(CLI::App& command, const GlobalOptions&, int& exit_status) {
  static std::vector<std::string> words;
  command.add_option("WORDS", words, "dump FILE")->type_name("");
  command.callback([&exit_status] { exit_status = RunWorkbook(words); });
}

const CommandRegistration kWorkbook{
    {"workbook", "reads a workbook and prints its sheets and cells (workbook dump FILE)",
     SetUpWorkbook}};

}  // namespace

}  // namespace flovir::cli
