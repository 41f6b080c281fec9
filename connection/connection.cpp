#include "connection/connection.h"

#include "connection/modem_search.h"
#include "connection/open_failure.h"
#include "connection/serial_port.h"
#include "connection/tcp_port.h"

namespace flovir {

std::unique_ptr<Port> SerialPortProvider::Open(const std::string& name) {
  auto port = std::make_unique<SerialPort>();
  if (!port->Open(name)) {
    last_error_ = name + ": " + port->LastError();
    // What to do about it, beside the system's text.
    const std::string why = OpenFailureText(SerialPort::DevicePath(name), port->OpenErrorCode());
    if (!why.empty()) last_error_ += "\n" + why;
    return nullptr;
  }
  port->SetQueueSizes(256, 256);
  return port;
}

std::unique_ptr<Port> PortProvider::Connect(const std::string&, uint32_t, std::string& error) {
  error = "no network here";
  return nullptr;
}

std::unique_ptr<Port> SerialPortProvider::Connect(const std::string& host_port, uint32_t timeout_ms,
                                                  std::string& error) {
  auto port = std::make_unique<TcpPort>();
  if (port->Open(host_port, timeout_ms)) return port;
  error = port->LastError();
  return nullptr;
}

bool SerialPortProvider::Close(Port& port) {
  return static_cast<SystemPort&>(port).Close();
}

Connection::Connection(View& view, PortProvider& ports, LinkParts link, ConnectionTiming timing)
    : view_(view), ports_(ports), link_(std::move(link)), timing_(std::move(timing)) {}

Connection::~Connection() {
  EndThread();
  if (port_) ports_.Close(*port_);
}

Connection::DialogueScope::DialogueScope(Connection& c) : c_(c) {
  c_.dialogue_active_ = true;
  if (c_.thread_ && c_.link_.on_thread_changed) c_.link_.on_thread_changed(nullptr);
}

Connection::DialogueScope::~DialogueScope() {
  c_.dialogue_active_ = false;
  if (c_.thread_ && c_.link_.on_thread_changed) c_.link_.on_thread_changed(c_.thread_.get());
}

void Connection::Show(const std::string& status) {
  view_.ShowStatus(status);
  view_.ProcessPendingEvents();
}

void Connection::Error(const std::string& text) {
  last_error_ = text;
  view_.ShowMessage(kModemBoxTitle, text, MessageIcon::Error);
}

bool Connection::Start(const Settings& settings) {
  if (connected_) return true;
  settings_ = settings;
  report_.clear();
  last_error_.clear();
  if (link_.clear_trace) link_.clear_trace();
  if (const std::string error = SettingsError(settings); !error.empty()) {
    view_.ShowStatus(error);
    return false;
  }
  if (settings.type == ConnectionType::TcpIp) return ConnectNetwork();
  if (!OpenLine()) {
    view_.ShowPortNotice(PortNotice::OpenFailed);
    return false;
  }
  if (settings.type == ConnectionType::Direct) {
    port_->SetLineSettings(WithFormat(port_->GetLineSettings(), settings.line));
    Connect();
    view_.ShowPortNotice(PortNotice::Opened);
  } else {
    DialogueScope scope(*this);
    ModemDialogue dialogue(*port_, view_, settings_, timing_);
    if (dialogue.Call()) Connect();
    report_ = dialogue.Report();
    // A call that failed with a report has shown it in an error box.
    if (!connected_) last_error_ = report_;
  }
  if (!connected_) CloseLine();
  return connected_;
}

bool Connection::OpenLine() {
  port_ = ports_.Open(settings_.port_name);
  return port_ != nullptr;
}

// A converter or gateway: connecting within the answer timeout is all there
// is to it; the line format is the converter's own.
bool Connection::ConnectNetwork() {
  Show("Подключение к " + settings_.host + "...");
  std::string error;
  port_ = ports_.Connect(settings_.host, settings_.answer_timeout_ms, error);
  if (!port_) {
    view_.ShowStatus("Не удалось подключиться к " + settings_.host + ": " + error);
    return false;
  }
  Connect();
  view_.ShowStatus("Подключено к " + settings_.host);
  return true;
}

bool Connection::CloseLine() {
  if (!port_) return true;
  if (!ports_.Close(*port_)) return false;
  port_.reset();
  return true;
}

void Connection::Connect() {
  port_->SetTimeouts(PortTimeouts{50, 0, settings_.answer_timeout_ms, 0, 0});
  StartThread();
  connected_ = true;
}

void Connection::StartThread() {
  if (!link_.request || !link_.executor) return;  // a connection without Modbus traffic
  thread_ = std::make_unique<ExchangeThread>(*port_, *link_.request, *link_.executor,
                                             link_.exchange_completed, link_.trace);
  if (settings_.type == ConnectionType::TcpIp) thread_->SetWireFraming(settings_.framing);
  thread_->SetStatistics(link_.statistics);
  if (link_.on_thread_changed) link_.on_thread_changed(thread_.get());
}

void Connection::EndThread() {
  if (!thread_) return;
  thread_->Terminate();
  thread_.reset();
  if (link_.on_thread_changed) link_.on_thread_changed(nullptr);
}

bool Connection::Stop(Announce announce) {
  if (!connected_) return true;
  if (dialogue_active_) {  // a click while the remote modem setup runs on the port
    view_.ShowStatus("Дождитесь окончания настройки модема");
    return false;
  }
  Show("Закрытие соединения...");
  // A lost port has no modem to hang up: it is only closed.
  if (settings_.type == ConnectionType::Direct || settings_.type == ConnectionType::TcpIp ||
      port_->Lost()) {
    if (!ports_.Close(*port_)) {
      view_.ShowPortNotice(PortNotice::CloseFailed);
      return false;
    }
    EndThread();
    port_.reset();
    connected_ = false;
    view_.ShowPortNotice(PortNotice::Closed);
    return true;
  }

  // The hang-up needs the line to itself: a request still running would
  // swallow the modem's replies.
  EndThread();
  bool hung_up = false;
  {
    DialogueScope scope(*this);
    hung_up = ModemDialogue(*port_, view_, settings_, timing_).HangUp();
  }
  if (!hung_up) {
    view_.ShowPortNotice(PortNotice::CloseFailed);
    Error("Не удалось разорвать соединение!");
    port_->SetTimeouts(PortTimeouts{50, 0, settings_.answer_timeout_ms, 0, 0});
    StartThread();
    return false;
  }
  if (CloseLine()) {
    connected_ = false;
    view_.ShowPortNotice(PortNotice::Closed);
  } else {
    view_.ShowPortNotice(PortNotice::CloseFailed);
  }
  if (announce == Announce::Always) {
    view_.ShowMessage(kModemBoxTitle, "Соединение прервано", MessageIcon::Warning);
  } else if (connected_) {  // quiet, but this went wrong
    Error("Соединение прервано, но не удалось закрыть порт");
  }
  if (connected_) StartThread();
  return !connected_;
}

}  // namespace flovir
