#pragma once
// The line options that every flovir-cli command talking to the meter
// shares. They fill the core's typed Settings directly, as the window's
// settings page does (cli/line.h opens the line with them).

#include <string>
#include <vector>

#include "operations/settings.h"

namespace flovir::cli {

struct LineOptions {
  // --port, --baud, --parity, --stop, --address, --timeout, --attempts,
  // --chunk, and for a GSM or dial-up modem on the port (--line) --number,
  // --init and --pulse: the call is made when the line opens and hung up
  // when it closes.
  Settings settings;
  bool trace = false;  // the frames on standard error
  bool demo = false;   // the built-in simulated meter instead of a port
  bool help = false;
};

// The options' lines for --help.
extern const char* const kLineOptionsHelp;

// Takes the line options out of args ("--baud 9600" or "--baud=9600") and
// leaves every other word, in order, in rest. Returns a message naming the
// bad option, or an empty text.
std::string ParseLineOptions(const std::vector<std::string>& args, LineOptions& options,
                             std::vector<std::string>& rest);

// True for an option that takes the next word as its value.
bool LineOptionTakesValue(const std::string& word);

// Prints "flovir-cli: message" on standard error; returns kExitUsage.
int UsageError(const std::string& message);

// Parses a decimal number (or 0x hexadecimal) within [low, high].
bool ParseNumber(const std::string& text, unsigned long low, unsigned long high,
                 unsigned long& value);

}  // namespace flovir::cli
