// flovir-cli scan and tune: finding the meter on a line whose settings are
// not known, and an answer timeout from the round trips measured on it.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/command_session.h"
#include "cli/commands.h"
#include "cli/line_options.h"
#include "cli/status_line.h"
#include "connection/meter_search.h"
#include "operations/words.h"

namespace flovir::cli {

namespace {

// The options that give this meter's settings to the other commands.
std::string OptionsText(const SearchStep& step, bool network) {
  std::string text;
  if (!network) {
    text = "--baud " + std::to_string(step.line.baud_rate) + " --parity " +
           std::string(WordOf(kParityWords, step.line.parity)) + " ";
    if (step.line.stop_bits == StopBits::Two) text += "--stop 2 ";
  }
  return text + "--address " + std::to_string(step.address);
}

// True when the option was given on the command line, before or after the
// command's name.
bool Given(const CLI::App& command, const std::string& name) {
  const CLI::App* parent = command.get_parent();
  return command.get_option(name)->count() > 0 ||
         (parent != nullptr && parent->get_option(name)->count() > 0);
}

SearchScope ScopeGiven(const CLI::App& command, const Settings& settings) {
  SearchScope scope;
  if (Given(command, "--baud")) scope.baud = settings.line.baud_rate;
  if (Given(command, "--parity")) scope.parity = settings.line.parity;
  if (Given(command, "--stop")) scope.stop_bits = settings.line.stop_bits;
  if (Given(command, "--address")) scope.address = settings.address;
  return scope;
}

int NothingFound() {
  std::fprintf(stderr,
               "Прибор не найден: ни при одной скорости, чётности и адресе не пришёл ответ, "
               "похожий на ответ ФЛОВИР. Проверьте кабель, питание прибора и порт.\n");
  return kExitFailed;
}

// Over a modem every try costs a call: the current settings are probed once,
// through the call.
int ScanOverModem(const GlobalOptions& global) {
  CommandSession command(global);
  if (!command.Open()) return kExitFailed;
  uint8_t data[2 * kProbeRegisterCount] = {};
  const ExchangeStatus status = command.Get().Transfer(kReadHoldingRegisters, kProbeFirstRegister,
                                                       kProbeRegisterCount, data, Interrupted);
  if (status != ExchangeStatus::Success) {
    std::fprintf(stderr, "%s\n", std::string(StatusText(status)).c_str());
    return NothingFound();
  }
  const Settings& s = global.line.settings;
  std::fprintf(stderr, "Найден прибор: %s\n", SearchStepText({s.line, s.address}, false).c_str());
  std::printf("%s\n", OptionsText({s.line, s.address}, false).c_str());
  return kExitOk;
}

int Scan(const GlobalOptions& global, const SearchScope& scope, bool all) {
  const Settings& settings = global.line.settings;
  if (settings.type == ConnectionType::Gsm || settings.type == ConnectionType::DialUp) {
    return ScanOverModem(global);
  }
  const bool network = settings.type == ConnectionType::TcpIp;
  if (global.line.demo || (network ? settings.host.empty() : settings.port_name.empty())) {
    return UsageError(network ? "scan needs --host HOST:PORT" : "scan needs --port NAME");
  }
  SerialPortProvider ports;
  StatusLine status;
  SearchCallbacks callbacks;
  callbacks.all = all;
  // On a terminal every step in place; in a log one line a line format.
  const bool terminal = isatty(STDERR_FILENO) == 1;
  bool new_format = true;
  std::optional<LineFormat> last_format;
  callbacks.trying = [&](const SearchStep& step) {
    // A network line keeps the converter's format: each address is news.
    new_format = network || step.line != last_format;
    last_format = step.line;
  };
  callbacks.progress = [&](const std::string& text, int percent) {
    if (terminal || new_format) status.Show(text, percent);
  };
  callbacks.cancelled = Interrupted;
  CatchInterrupt();
  const SearchResult result =
      SearchForMeter(ports, settings, SearchOrder(settings, scope), callbacks);
  status.End();
  if (!result.open_error.empty()) {
    std::fprintf(stderr, "%s\n", result.open_error.c_str());
    return kExitFailed;
  }
  for (const FoundMeter& meter : result.found) {
    std::fprintf(stderr, "Найден прибор: %s (ответ за %.0f мс)\n",
                 SearchStepText(meter.step, network).c_str(), meter.reply_ms);
    std::printf("%s\n", OptionsText(meter.step, network).c_str());
  }
  std::fflush(stdout);
  if (result.cancelled) {
    std::fprintf(stderr, "Прервано пользователем\n");
    return kExitFailed;
  }
  return result.found.empty() ? NothingFound() : kExitOk;
}

void SetUpScan(CLI::App& command, const GlobalOptions& global, int& exit_status) {
  static bool all = false;
  command.add_flag("--all", all, "list every meter on the line instead of stopping at the first")
      ->disable_flag_override();
  command.footer(
      "Tries line formats and addresses, the likely ones first: the given settings, 9600 8N1\n"
      "at address 1, every format at address 1, then every address at the common formats.\n"
      "--baud, --parity, --stop and --address given on the command line fix what they name.\n"
      "Prints the options to use, such as --baud 19200 --parity even --address 17; exit 1\n"
      "when nothing answers. On a network line only the addresses are searched; over a\n"
      "modem only the given settings are tried, since every try costs a call.");
  command.callback([&command, &global, &exit_status] {
    exit_status = Scan(global, ScopeGiven(command, global.line.settings), all);
  });
}

const CommandRegistration kScan({"scan", "finds the meter: its speed, parity and address",
                                 SetUpScan});

int Tune(const GlobalOptions& global, unsigned long probes) {
  CommandSession command(global);
  if (!command.Open()) return kExitFailed;
  Session& session = command.Get();
  const size_t before = session.Statistics().Snapshot().replies.count;
  const uint64_t timeouts_before = session.Statistics().Snapshot().counts.timeouts;
  if (!session.MeasureRoundTrips(static_cast<unsigned>(probes), Interrupted)) return kExitFailed;
  const ReplyTimes replies = session.Statistics().RepliesSince(before);
  const uint64_t silent = session.Statistics().Snapshot().counts.timeouts - timeouts_before;
  if (Interrupted()) {
    std::fprintf(stderr, "Прервано пользователем\n");
    return kExitFailed;
  }
  if (replies.count == 0) {
    std::fprintf(stderr,
                 "Прибор не ответил ни на один из %lu запросов за %u мс: проверьте адрес и "
                 "скорость (flovir-cli scan) или увеличьте --timeout\n",
                 probes, global.line.settings.answer_timeout_ms);
    return kExitFailed;
  }
  const uint32_t suggested = SuggestedTimeoutMs(replies);
  std::fprintf(stderr, "%s\n", TuningText(replies, suggested).c_str());
  if (silent > 0) {
    std::fprintf(stderr,
                 "без ответа %llu из %lu за %u мс: ответы могут приходить и позже, повторите с "
                 "большим --timeout\n",
                 static_cast<unsigned long long>(silent), probes,
                 global.line.settings.answer_timeout_ms);
  }
  std::printf("--timeout %u\n", suggested);
  return kExitOk;
}

void SetUpTune(CLI::App& command, const GlobalOptions& global, int& exit_status) {
  static unsigned long probes = 20;
  command.add_option("--probes", probes, "how many round trips to measure")
      ->check(CLI::Range(1ul, 1000ul))
      ->default_str("20");
  command.footer(
      "Measures the round trip with short reads, one try each, under the given --timeout,\n"
      "and suggests an answer timeout: twice the slowest reply plus 100 ms, rounded up to\n"
      "hundreds. Prints how it got it on standard error (\"ответ 180–420 мс, предлагаю\n"
      "1000 мс\") and the option to use on standard output.");
  command.callback([&global, &exit_status] { exit_status = Tune(global, probes); });
}

const CommandRegistration kTune({"tune", "suggests an answer timeout from measured round trips",
                                 SetUpTune});

}  // namespace

}  // namespace flovir::cli
