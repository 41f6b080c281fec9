#include "cli/machine_output.h"

#include <cstdio>

#include "operations/archive_download.h"
#include "operations/words.h"

namespace flovir::cli {

namespace {

collect::ReadingInfo Info(Dispatcher& dispatcher) {
  return {collect::MeterJson({}, dispatcher.Settings()), dispatcher.GetClock().Now(),
          dispatcher.LastResult().text};
}

void Print(collect::OutputFormat format, const std::string& csv, const collect::Json& json) {
  const std::string text = format == collect::OutputFormat::Csv ? csv : json.dump(2) + "\n";
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

std::vector<std::string> FormatWords() {
  std::vector<std::string> words;
  for (const auto& row : kOutputFormatWords) words.emplace_back(row.word);
  return words;
}

}  // namespace

void AddFormatOption(CLI::App& command, collect::OutputFormat& format,
                     const std::string& description) {
  command
      .add_option_function<std::string>(
          "--format",
          [&format](const std::string& text) { collect::ParseOutputFormat(text, format); },
          description)
      ->check(CLI::IsMember(FormatWords()))
      ->type_name(WordList(kOutputFormatWords, "|"))
      ->default_str("text");
}

void PrintCurrentValues(collect::OutputFormat format, Dispatcher& dispatcher) {
  const CurrentValues& current = *dispatcher.LastResult().current_values;
  Print(format, collect::CurrentValuesCsv(current),
        collect::CurrentValuesJson(current, Info(dispatcher)));
}

void PrintArchive(collect::OutputFormat format, Dispatcher& dispatcher, ArchiveKind kind) {
  const auto rows = collect::ArchiveRows(*dispatcher.LastResult().archive);
  Print(format, collect::ArchiveCsv(rows), collect::ArchiveJson(kind, rows, Info(dispatcher)));
}

void PrintParameters(collect::OutputFormat format, Dispatcher& dispatcher,
                     const ParameterTable& table) {
  const ParameterBuffer& buffer = *dispatcher.LastResult().parameters;
  Print(format, collect::ParametersCsv(table, buffer),
        collect::ParametersJson(table, buffer, Info(dispatcher)));
}

void TestPollOutput::Poll() {
  const size_t count = dispatcher_.Settings().chunk_size / 2;
  const double at = dispatcher_.GetClock().Now();
  std::vector<float> values = collect::TestValues(*dispatcher_.LastResult().parameters, count);
  if (format_ == collect::OutputFormat::Csv) {
    std::string text = polls_.empty() ? collect::TestCsvHeader(count) : std::string();
    text += collect::TestCsvRecord(at, values);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
  polls_.emplace_back(at, std::move(values));
}

void TestPollOutput::Finish() {
  if (format_ != collect::OutputFormat::Json) return;
  Print(format_, {}, collect::TestJson(polls_, Info(dispatcher_)));
}

}  // namespace flovir::cli
