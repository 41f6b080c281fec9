#pragma once
// The line options that every flovir-cli command accepts. They fill the
// core's typed Settings directly, as the window's settings page does
// (cli/command_session.h opens the line with them).

#include <string>

#include "operations/settings.h"

namespace CLI {
class App;
}  // namespace CLI

namespace flovir::cli {

struct LineOptions {
  // --port, --baud, --parity, --stop, --address, --timeout, --attempts,
  // --chunk; for a GSM or dial-up modem on the port (--line) --number,
  // --init and --pulse: the call is made when the line opens and hung up
  // when it closes; for a converter or gateway on the network (--line tcp
  // or modbus-tcp) --host.
  Settings settings;
  bool trace = false;        // the frames on standard error
  bool trace_times = false;  // the same, each with its time since the operation began
  bool stats = false;        // the line's statistics on standard error after the command
  bool demo = false;         // the built-in simulated meter instead of a port
};

// Adds the line options to a command line application ("--baud 9600" or
// "--baud=9600"); a bad value is a usage error that names the option.
void AddLineOptions(CLI::App& app, LineOptions& options);

// Parses a decimal number (or 0x hexadecimal) within [low, high].
bool ParseNumber(const std::string& text, unsigned long low, unsigned long high,
                 unsigned long& value);

// Parses a date as the options give it (DD.MM.YYYY) into a serial date.
bool ParseDate(const std::string& text, double& date);

}  // namespace flovir::cli
