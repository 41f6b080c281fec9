// flovir-meter-sim: the simulated ФЛОВИР meter on a pseudo-terminal, or on a
// loopback TCP port as a converter (RTU over TCP) or a Modbus TCP gateway
// would show it. Prints the path (or HOST:PORT) to open on its first line
// and serves until SIGINT or SIGTERM.

#include <signal.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "tools/meter-sim/fault_option.h"
#include "tools/meter-sim/hayes_modem.h"
#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/tcp_server.h"

namespace {

constexpr const char* kUsage =
    "usage: flovir-meter-sim [options]\n"
    "  --address N        slave address (default 1)\n"
    "  --link PATH        also make PATH a symbolic link to the pseudo-terminal\n"
    "  --turnaround MS    time from a request to its reply (default 5)\n"
    "  --no-pacing        send replies at once instead of at the line's baud rate\n"
    "  --tcp PORT         serve RTU over TCP on 127.0.0.1:PORT instead (0: any port)\n"
    "  --modbus-tcp PORT  serve Modbus TCP on 127.0.0.1:PORT instead (0: any port)\n"
    "  --drop-after N     on the network: close the connection once, after N replies\n"
    "  --fail-channel N   channel N (1-4) reports a failure; may be repeated\n"
    "  --history-days N   the archives begin N days before today (default 400)\n"
    "  --fault FAULT      play a fault on the replies; may be repeated. FAULT is\n"
    "                     KIND[=VALUE][/EVERY][*LIMIT][+AFTER], KIND one of\n"
    "                     leading-zero, trailing-zeros[=COUNT], bad-crc,\n"
    "                     other-address, exception=CODE, no-answer,\n"
    "                     split[=GAP_MS], delay=MS, late=MS (a delay past the\n"
    "                     master's answer timeout), stray[=GAP_MS] (a frame that\n"
    "                     answers another request first), twice[=GAP_MS] (the\n"
    "                     reply again), store-other=REGISTER (a write keeps\n"
    "                     another value in that register), cut (the line goes\n"
    "                     dead: frames no longer reach the meter); EVERY hits\n"
    "                     every EVERY-th reply, LIMIT stops after that many\n"
    "                     hits, AFTER lets that many replies pass first\n"
    "  --help             this text\n";

struct Arguments {
  flovir::sim::MeterOptions meter;
  flovir::sim::ServerOptions server;
  std::vector<int> failed_channels;
  std::vector<flovir::sim::FaultPlan> faults;
  flovir::sim::ModemArguments modem;
  std::optional<flovir::sim::TcpServerOptions> tcp;  // on the network instead
  unsigned drop_after = 0;
};

std::optional<long> ParseNumber(std::string_view text, long min, long max) {
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < min || value > max) {
    return std::nullopt;
  }
  return value;
}

// Parses the command line; on a usage error prints the reason and returns nothing.
std::optional<Arguments> Parse(int argc, char** argv) {
  Arguments args;
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (option == "--help") {
      std::cout << kUsage << flovir::sim::kModemUsage;
      std::exit(0);
    }
    if (option == "--no-pacing") {
      args.server.pacing = false;
      continue;
    }
    if (i + 1 < argc) {  // the modem's options
      std::string error;
      if (flovir::sim::ParseModemOption(option, argv[i + 1], args.modem, error)) {
        ++i;
        if (error.empty()) continue;
        std::cerr << "flovir-meter-sim: " << error << "\n";
        return std::nullopt;
      }
    }
    constexpr std::string_view kValued[] = {"--address",      "--turnaround", "--fail-channel",
                                            "--history-days", "--link",       "--fault",
                                            "--tcp",          "--modbus-tcp", "--drop-after"};
    if (std::find(std::begin(kValued), std::end(kValued), option) == std::end(kValued)) {
      std::cerr << "flovir-meter-sim: " << option << ": unknown option\n";
      return std::nullopt;
    }
    if (i + 1 >= argc) {
      std::cerr << "flovir-meter-sim: " << option << " needs a value\n";
      return std::nullopt;
    }
    const std::string_view value = argv[++i];
    auto number = [&](long min, long max) {
      const auto parsed = ParseNumber(value, min, max);
      if (!parsed) {
        std::cerr << "flovir-meter-sim: " << option << " wants a number from " << min << " to "
                  << max << ", not \"" << value << "\"\n";
      }
      return parsed;
    };
    std::optional<long> parsed;
    if (option == "--address") {
      if (!(parsed = number(1, 247))) return std::nullopt;
      args.meter.address = static_cast<uint8_t>(*parsed);
    } else if (option == "--turnaround") {
      if (!(parsed = number(0, 60000))) return std::nullopt;
      args.server.turnaround = std::chrono::milliseconds(*parsed);
    } else if (option == "--fail-channel") {
      if (!(parsed = number(1, 4))) return std::nullopt;
      args.failed_channels.push_back(static_cast<int>(*parsed));
    } else if (option == "--history-days") {
      if (!(parsed = number(0, 36500))) return std::nullopt;
      args.meter.history_days = static_cast<int>(*parsed);
    } else if (option == "--tcp" || option == "--modbus-tcp") {
      if (!(parsed = number(0, 65535))) return std::nullopt;
      args.tcp = flovir::sim::TcpServerOptions{};
      args.tcp->framing =
          option == "--tcp" ? flovir::sim::TcpFraming::kRtu : flovir::sim::TcpFraming::kModbusTcp;
      args.tcp->port = static_cast<uint16_t>(*parsed);
    } else if (option == "--drop-after") {
      if (!(parsed = number(1, 1000000))) return std::nullopt;
      args.drop_after = static_cast<unsigned>(*parsed);
    } else if (option == "--link") {
      args.server.link = value;
    } else {  // --fault
      std::string error;
      const auto fault = flovir::sim::ParseFaultOption(value, error);
      if (!fault) {
        std::cerr << "flovir-meter-sim: --fault " << value << ": " << error << "\n";
        return std::nullopt;
      }
      args.faults.push_back(*fault);
    }
  }
  return args;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Arguments> args = Parse(argc, argv);
  if (!args) {
    std::cerr << kUsage;
    return 2;
  }
  // The signals are taken by sigwait below; the line thread inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  try {
    flovir::sim::SimulatedMeter meter(args->meter);
    for (int channel : args->failed_channels) meter.SetChannelFailed(channel, true);
    meter.SetFaults(args->faults);
    if (args->tcp) {
      flovir::sim::TcpServerOptions options = *args->tcp;
      options.turnaround = args->server.turnaround;
      options.drop_after = args->drop_after;
      flovir::sim::TcpMeterServer server(meter, options);
      std::cout << server.HostPort() << std::endl;
      int signal = 0;
      sigwait(&signals, &signal);
      return 0;
    }
    // With --modem the line reaches the meter through the simulated modem.
    flovir::sim::MeterLineDevice meter_line(meter, args->server.turnaround);
    flovir::sim::HayesModem modem(meter_line, args->modem.options);
    const auto server = args->modem.enabled
                            ? std::make_unique<flovir::sim::MeterServer>(modem, args->server)
                            : std::make_unique<flovir::sim::MeterServer>(meter, args->server);
    std::cout << server->SlavePath() << std::endl;
    int signal = 0;
    sigwait(&signals, &signal);
    server->Stop();
  } catch (const std::system_error& error) {
    std::cerr << "flovir-meter-sim: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
