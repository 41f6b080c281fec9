// Every flovir-cli command that prints values, in every output format, over
// every line of --demo: the output parses and holds the simulated meter's
// values, the same on every line.

#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/programs.h"
#include "tools/meter-sim/meter_archive.h"

namespace flovir {
namespace {

using Json = nlohmann::json;

const char* const kLines[] = {"direct", "gsm", "dialup", "tcp", "modbus-tcp"};

// "DD.MM.YYYY" of the day `days_ago` days before today.
std::string DayBefore(int days_ago) {
  std::time_t t = std::time(nullptr) - days_ago * 86400L;
  std::tm local{};
  localtime_r(&t, &local);
  char text[16];
  std::strftime(text, sizeof text, "%d.%m.%Y", &local);
  return text;
}

// The records of a CSV text without quoted fields (these outputs quote none
// of their numbers); every record must have the header's field count.
std::vector<std::vector<std::string>> CsvRecords(const std::string& text) {
  std::vector<std::vector<std::string>> records;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (char c : line) {
      if (c == '"') quoted = !quoted;
      if (c == ',' && !quoted) {
        fields.emplace_back();
      } else {
        fields.back() += c;
      }
    }
    records.push_back(std::move(fields));
  }
  return records;
}

// What a JSON reading holds besides where and when it was read.
Json Values(Json doc) {
  doc.erase("meter");
  doc.erase("read_at");
  return doc;
}

struct Command {
  std::string name;
  std::string arguments;
  size_t csv_records;  // the header included
};

class EveryLine : public ::testing::Test {
 protected:
  testing::CliRun Run(const Command& command, const std::string& line, const std::string& format) {
    return testing::RunCli("--demo --line " + std::string(line) + " --number 8900 --folder " +
                           scratch.Path() + " " + command.arguments + " --format " + format);
  }

  testing::ScratchFolder scratch{"every-line"};
};

TEST_F(EveryLine, EveryCommandInEveryFormatHoldsTheMetersValues) {
  const std::vector<Command> commands = {
      {"current", "current", 2},
      {"archive", "archive daily --from " + DayBefore(3) + " --to " + DayBefore(1), 0},
      {"params", "params read", 162},  // 161 values
      {"test", "test --ticks 2 --interval 0", 3},
  };
  const std::array<float, 256> parameters = sim::InitialParameters();
  std::map<std::string, Json> direct;  // the direct line's readings, by command
  for (const char* line : kLines) {
    for (const Command& command : commands) {
      const std::string where = std::string(line) + " " + command.name;
      const testing::CliRun text = Run(command, line, "text");
      ASSERT_EQ(text.status, 0) << where << "\n" << text.errors;
      ASSERT_FALSE(text.Lines().empty()) << where;
      EXPECT_EQ(text.Lines().back(), "Завершено успешно") << where;

      const testing::CliRun csv = Run(command, line, "csv");
      ASSERT_EQ(csv.status, 0) << where << "\n" << csv.errors;
      const auto records = CsvRecords(csv.output);
      ASSERT_GE(records.size(), 2u) << where << "\n" << csv.output;
      if (command.csv_records != 0) {
        EXPECT_EQ(records.size(), command.csv_records) << where;
      }
      for (const auto& record : records) EXPECT_EQ(record.size(), records[0].size()) << where;

      const testing::CliRun json = Run(command, line, "json");
      ASSERT_EQ(json.status, 0) << where << "\n" << json.errors;
      const Json doc = Json::parse(json.output, nullptr, false);
      ASSERT_FALSE(doc.is_discarded()) << where << "\n" << json.output;
      EXPECT_EQ(doc["status"], "Завершено успешно") << where;
      EXPECT_EQ(doc["meter"]["line"], line) << where;

      if (command.name == "current") {
        ASSERT_EQ(doc["channels"].size(), 4u) << where;
        for (const Json& channel : doc["channels"]) EXPECT_GT(channel["volume_m3"], 0) << where;
      } else if (command.name == "params") {
        ASSERT_EQ(doc["parameters"].size(), 161u) << where;
        for (const Json& p : doc["parameters"]) {
          EXPECT_EQ(p["value"].get<float>(), parameters[p["index"].get<size_t>()]) << where;
        }
      } else if (command.name == "archive") {
        // Interval entries, the totals and the integrators: a row each.
        EXPECT_EQ(records.size(), 1 + doc["entries"].size() + 1 + doc["integrators"].size());
        EXPECT_EQ(doc["entries"].size(), 3u) << where;
      } else {
        EXPECT_EQ(doc["polls"].size(), 2u) << where;
      }
      // Past archive days and the parameters do not change: every line
      // reads what the direct one read.
      if (command.name == "archive" || command.name == "params") {
        if (direct.count(command.name) == 0) direct[command.name] = Values(doc);
        EXPECT_EQ(Values(doc), direct[command.name]) << where;
      }
    }
  }
}

}  // namespace
}  // namespace flovir
