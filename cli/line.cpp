#include "cli/line.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "tools/meter-sim/demo_line.h"
#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/simulated_meter.h"
#include "tools/meter-sim/tcp_server.h"

namespace flovir::cli {

namespace {

constexpr const char* kOpenFailed = "Не удалось открыть порт";

// The status bar's notices about the port itself; the program says nothing
// when the port opens and closes, and prints its own reason when it does not.
bool IsPortNotice(const std::string& text) {
  return text == "Порт открыт" || text == "Порт закрыт" || text == kOpenFailed ||
         text == "Не удалось закрыть порт";
}

std::string Lines(std::string text) {
  std::replace(text.begin(), text.end(), '\r', '\n');
  return text;
}

// Trace lines as they come, from the exchange thread; stdio locks each call.
class StderrTrace : public ExchangeTrace {
 public:
  void Append(const std::string& line) override { std::fprintf(stderr, "%s\n", line.c_str()); }
};

}  // namespace

void CliView::ShowStatus(const std::string& text) {
  last_status_ = text;
  if (echo_ && !IsPortNotice(text)) std::fprintf(stderr, "%s\n", text.c_str());
}

void CliView::ShowMessage(const std::string& title, const std::string& text, MessageIcon) {
  if (echo_) std::fprintf(stderr, "%s:\n%s\n", title.c_str(), Lines(text).c_str());
}

CliLine::CliLine(const LineOptions& options) : options_(options) {}

bool CliLine::StartDemo(Use use, std::string& path) {
  try {
    meter_ = std::make_unique<sim::SimulatedMeter>();
    Settings& settings = options_.settings;
    if (!sim::kServesPseudoTerminals && settings.type == ConnectionType::Direct &&
        use == Use::Requests) {
      // No pseudo-terminal to be the meter's line: it sits behind a
      // converter on the loopback instead.
      settings.type = ConnectionType::TcpIp;
      settings.framing = WireFraming::Rtu;
    }
    if (settings.type == ConnectionType::TcpIp && use == Use::Requests) {
      // Behind a converter or a gateway on the loopback.
      demo_network_ = std::make_unique<sim::TcpMeterServer>(
          *meter_, sim::TcpServerOptions{.framing = settings.framing == WireFraming::ModbusTcp
                                                        ? sim::TcpFraming::kModbusTcp
                                                        : sim::TcpFraming::kRtu});
      settings.host = demo_network_->HostPort();
    } else {
      const bool modem = use == Use::RemoteModem || settings.type != ConnectionType::Direct;
      demo_line_ = std::make_unique<sim::DemoLine>(*meter_, modem);
      path = demo_line_->SlavePath();
    }
    return true;
  } catch (const std::system_error& e) {
    path = e.what();
    return false;
  }
}

std::unique_ptr<CliLine> CliLine::Open(const LineOptions& options, Use use) {
  std::unique_ptr<CliLine> line(new CliLine(options));
  Settings& settings = line->options_.settings;
  if (options.demo && !line->StartDemo(use, settings.port_name)) {
    std::fprintf(stderr, "%s\n%s\n", kOpenFailed, settings.port_name.c_str());
    return nullptr;
  }
  const bool network = settings.type == ConnectionType::TcpIp;
  if (network && settings.host.empty()) {
    std::fprintf(stderr,
                 "Не удалось подключиться\nno address given: use --host HOST:PORT or --demo\n");
    return nullptr;
  }
  if (!network && settings.port_name.empty()) {
    std::fprintf(stderr, "%s\nno port given: use --port NAME or --demo\n", kOpenFailed);
    return nullptr;
  }
  if (options.trace) line->trace_ = std::make_unique<StderrTrace>();

  LinkParts link;
  if (use == Use::Requests) {
    CliLine* self = line.get();
    link.request = &line->request_;
    link.executor = &line->executor_;
    link.exchange_completed = [self] { self->completed_(); };
    link.trace = line->trace_.get();
  }
  line->connection_ = std::make_unique<Connection>(line->view_, line->ports_, std::move(link));
  // The modem dialogue of a call is worth reading; a network connection is
  // quiet unless it fails.
  line->view_.SetEcho(settings.type != ConnectionType::Direct && !network);
  if (!line->connection_->Start(settings)) {
    if (network) std::fprintf(stderr, "%s\n", line->view_.LastStatus().c_str());
    if (!line->ports_.LastError().empty()) {
      std::fprintf(stderr, "%s\n%s\n", kOpenFailed, line->ports_.LastError().c_str());
    }
    return nullptr;
  }
  return line;
}

CliLine::~CliLine() {
  // A modem line prints "Закрытие соединения..." and the hang-up's box.
  if (connection_) connection_->Stop();
  connection_.reset();
  demo_line_.reset();
  if (demo_network_) demo_network_->Stop();
}

ExchangeStatus CliLine::Transfer(uint8_t function, uint16_t start, uint16_t count, uint8_t* data) {
  const Settings& settings = options_.settings;
  request_.SlaveAddress = settings.address;
  request_.FunctionCode = function;
  request_.StartRegister = start;
  request_.RegisterCount = count;
  request_.ChunkSize = settings.chunk_size;
  request_.Attempts = settings.attempts;
  request_.DataCursor = data;
  request_.StopRequested = false;
  request_.OperationDone = false;
  request_done_ = false;
  completed_ = [this] {
    Thread().Sleep();
    request_done_ = true;
  };
  Thread().Wake();
  executor_.RunUntil([this] { return request_done_; });
  return request_.Status;
}

}  // namespace flovir::cli
