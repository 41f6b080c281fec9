// flovir-cli raw: read or write holding registers, one request through the
// exchange thread.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command_session.h"
#include "cli/commands.h"
#include "cli/line_options.h"

namespace flovir::cli {

namespace {

constexpr unsigned long kRegisterSpace = 65536;

// Reads words[at] as START and checks that count registers from it exist.
bool ParseStart(const std::string& text, unsigned long count, unsigned long& start) {
  return ParseNumber(text, 0, kRegisterSpace - 1, start) && start + count <= kRegisterSpace;
}

int RunRequest(const GlobalOptions& global, uint8_t function, uint16_t start,
               std::vector<uint8_t>& data) {
  CommandSession command(global);
  if (!command.Open()) return kExitFailed;
  Session& session = command.Get();
  const uint16_t count = static_cast<uint16_t>(data.size() / 2);
  const ExchangeStatus status = session.Transfer(function, start, count, data.data(), Interrupted);
  if (function == kReadHoldingRegisters) {
    // Registers of the frames that succeeded, also when a later one failed.
    const size_t done = static_cast<size_t>(session.Request().DataCursor - data.data()) / 2;
    for (size_t k = 0; k < done; ++k) {
      std::printf("%zu\t%u\n", start + k, data[2 * k] | data[2 * k + 1] << 8);
    }
  }
  const std::string text = status == ExchangeStatus::PortLost
                               ? LostPortText(session.GetConnection().Thread()->PortName())
                               : std::string(StatusText(status));
  std::printf("%s\n", text.c_str());
  return status == ExchangeStatus::Success ? kExitOk : kExitFailed;
}

int Raw(const GlobalOptions& global, const std::vector<std::string>& words) {
  if (words.empty()) return UsageError("raw read START COUNT | write START VALUE...");
  const std::string& action = words[0];
  if (action == "read") {
    if (words.size() != 3) return UsageError("raw read START COUNT");
    unsigned long count = 0, start = 0;
    if (!ParseNumber(words[2], 0, kRegisterSpace - 1, count)) {
      return UsageError("COUNT: '" + words[2] + "' is not a number from 0 to 65535");
    }
    if (!ParseStart(words[1], count, start)) {
      return UsageError("START: '" + words[1] + "' is not a register from which " +
                        std::to_string(count) + " registers fit below 65536");
    }
    std::vector<uint8_t> data(2 * count);
    return RunRequest(global, kReadHoldingRegisters, static_cast<uint16_t>(start), data);
  }

  if (action == "write") {
    if (words.size() < 3) return UsageError("raw write START VALUE...");
    const unsigned long count = words.size() - 2;
    unsigned long start = 0;
    if (!ParseStart(words[1], count, start)) {
      return UsageError("START: '" + words[1] + "' is not a register from which " +
                        std::to_string(count) + " registers fit below 65536");
    }
    std::vector<uint8_t> data;
    for (size_t i = 2; i < words.size(); ++i) {
      unsigned long value = 0;
      if (!ParseNumber(words[i], 0, 0xFFFF, value)) {
        return UsageError("VALUE: '" + words[i] + "' is not a number from 0 to 65535");
      }
      data.push_back(static_cast<uint8_t>(value & 0xFF));
      data.push_back(static_cast<uint8_t>(value >> 8));
    }
    return RunRequest(global, kWriteMultipleRegisters, static_cast<uint16_t>(start), data);
  }
  return UsageError("raw: '" + action + "' is not read or write");
}

void SetUpRaw(CLI::App& command, const GlobalOptions& global, int& exit_status) {
  static std::vector<std::string> words;
  command
      .add_option("ACTION", words,
                  "read START COUNT | write START VALUE...\n"
                  "A read prints one line per register, REGISTER<TAB>VALUE in decimal;\n"
                  "both end with the status. Numbers are decimal or 0x hexadecimal.")
      ->type_name("");
  command.callback([&] { exit_status = Raw(global, words); });
}

const CommandRegistration kRaw({"raw",
                                "reads or writes holding registers (Modbus functions 3 and 16)",
                                SetUpRaw});

}  // namespace

}  // namespace flovir::cli
