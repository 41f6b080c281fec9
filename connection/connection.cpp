#include "connection/connection.h"

#include <charconv>
#include <thread>

#include "connection/line_tables.h"
#include "connection/modem_command.h"
#include "connection/modem_search.h"
#include "connection/serial_port.h"

namespace flovir {

namespace {

constexpr PortTimeouts kHangUpTimeouts{200, 0, 5000, 0, 0};
constexpr size_t kModemReplyMax = 100;

std::string CharacterFormatCommand(const ConnectionSettings& s) {
  if (s.stop_bits_index == 1) return "AT+ICF=1,0\r";
  switch (s.parity_index) {
    case 1:
      return "AT+ICF=2,0\r";
    case 2:
      return "AT+ICF=2,1\r";
    default:
      return "AT+ICF=3,0\r";
  }
}

std::string DialCommand(const ConnectionSettings& s) {
  if (s.type == ConnectionType::Gsm) return "ATD " + s.number + "\r";
  return (s.dial_mode == DialMode::Pulse ? "ATDP " : "ATDT ") + s.number + "\r";
}

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// Meaning of the registration state that "AT+CREG?" ends with, for the
// states that do not allow a call.
std::string RegistrationFinding(const std::string& reply) {
  const char state = reply.empty() ? '\0' : reply.back();
  switch (state) {
    case '0':
      return "Не зарегистрировано, мобильное оборудование не проводит поиск оператора.\r"
             "Попробуйте повторить позже.\r";
    case '2':
      return "Не зарегистрировано, мобильное оборудование проводит поиск оператора для "
             "регистрации.\rПопробуйте повторить позже.\r";
    case '3':
      return "Регистрация отклонена.\rПопробуйте повторить позже.\r";
    case '4':
      return "Неизвестно.\rПопробуйте повторить позже.\r";
    default:
      return reply + "\r";
  }
}

}  // namespace

std::unique_ptr<Port> SerialPortProvider::Open(const std::string& name) {
  auto port = std::make_unique<SerialPort>();
  if (!port->Open(name)) return nullptr;
  port->SetQueueSizes(256, 256);
  return port;
}

bool SerialPortProvider::Close(Port& port) {
  return static_cast<SerialPort&>(port).Close();
}

std::string InitStringOrDefault(const std::string& field) {
  return field.empty() ? "AT&FE0V1" : field;
}

bool ParseAnswerTimeout(const std::string& text, uint32_t& ms) {
  uint32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || at != end || value < 1 || value > 3600000) return false;
  ms = value;
  return true;
}

Connection::Connection(View& view, PortProvider& ports, LinkParts link, ConnectionTiming timing)
    : view_(view), ports_(ports), link_(std::move(link)), timing_(std::move(timing)) {
  if (!timing_.sleep)
    timing_.sleep = [](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); };
}

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

void Connection::Wait(std::chrono::milliseconds duration) {
  timing_.sleep(duration);
}

bool Connection::Start(const ConnectionSettings& settings) {
  if (connected_) return true;
  settings_ = settings;
  report_.clear();
  if (link_.clear_trace) link_.clear_trace();
  if (!ParseAnswerTimeout(settings.answer_timeout, answer_timeout_ms_)) {
    view_.ShowStatus("Неверный тайм-аут ожидания ответа: \"" + settings.answer_timeout + "\"");
    return false;
  }
  if (!ValidFormatIndexes(settings.baud_index, settings.parity_index, settings.stop_bits_index)) {
    view_.ShowStatus("Неверный формат линии");
    return false;
  }
  if (!OpenLine()) {
    view_.ShowStatus("Не удалось открыть порт");
    return false;
  }
  if (settings.type == ConnectionType::Direct) {
    port_->SetLineSettings(WithFormat(port_->GetLineSettings(), settings.baud_index,
                                      settings.parity_index, settings.stop_bits_index));
    Connect();
    view_.ShowStatus("Порт открыт");
  } else {
    DialogueScope dialogue(*this);
    if (FindModem()) ConfigureAndDial();
  }
  if (!connected_) CloseLine();
  return connected_;
}

bool Connection::OpenLine() {
  port_ = ports_.Open(settings_.port_name);
  return port_ != nullptr;
}

bool Connection::CloseLine() {
  if (!port_) return true;
  if (!ports_.Close(*port_)) return false;
  port_.reset();
  return true;
}

bool Connection::FindModem() {
  Show("Поиск модема...");
  ModemSearch search(*port_, LocalModemSearch());
  if (search.ProbeAtPresentFormat()) return true;
  const bool found =
      search.Search([&](int percent) { Show("Поиск модема..." + std::to_string(percent) + "%"); });
  if (!found) view_.ShowStatus("Модем не отвечает");
  return found;
}

bool Connection::ConfigureAndDial() {
  Show("Инициализация модема...");
  bool roaming = false;
  if (settings_.type == ConnectionType::Gsm && !QueryGsm(roaming)) return false;

  std::string reply = ModemCommand(*port_, InitStringOrDefault(settings_.init_string) + "\r");
  if (!StripModemReply(reply)) {
    Fail("Не удалось инициализировать модем.\rНеправильная строка инициализации\r");
    return false;
  }
  // A modem takes a new character format or speed right after its "OK", so
  // the port follows each change before the next command. "AT+ICF=1,0" has
  // no parity bit, so with two stop bits the port sends none either.
  ModemCommand(*port_, CharacterFormatCommand(settings_));
  const int parity_index = settings_.stop_bits_index == 1 ? 0 : settings_.parity_index;
  LineSettings line = port_->GetLineSettings();
  line.parity = ParityTable[parity_index];
  line.stopBits = StopBitsTable[settings_.stop_bits_index];
  port_->SetLineSettings(line);
  ModemCommand(*port_, "AT+IPR=" + std::to_string(BaudTable[settings_.baud_index]) + "\r");
  port_->SetLineSettings(WithFormat(port_->GetLineSettings(), settings_.baud_index, parity_index,
                                    settings_.stop_bits_index));
  Wait(timing_.format_settle);
  Dial();
  return connected_;
}

bool Connection::QueryGsm(bool& roaming) {
  std::string maker = ModemCommand(*port_, "AT+CGMI\r");
  StripModemReply(maker);
  std::string model = ModemCommand(*port_, "AT+CGMM\r");
  StripModemReply(model);
  report_ = "модем: " + maker + " " + model;

  std::string sim = ModemCommand(*port_, "AT+CPIN?\r");
  StripModemReply(sim);
  if (!Contains(sim, "READY")) {
    if (Contains(sim, "ERROR")) {
      Fail("SIM-карта отсутствует.\r");
    } else if (Contains(sim, "SIM")) {
      Fail("Требуется ввести PIN-код или SIM-карта блокирована.\r");
    } else {
      Fail(sim + "\r");
    }
    return false;
  }

  std::string registration = ModemCommand(*port_, "AT+CREG?\r");
  StripModemReply(registration);
  const char state = registration.empty() ? '\0' : registration.back();
  if (state != '1' && state != '5') {
    Fail(RegistrationFinding(registration));
    return false;
  }
  roaming = state == '5';

  std::string cops = ModemCommand(*port_, "AT+COPS?\r");
  StripModemReply(cops);
  const size_t quote = cops.find('"');
  const std::string operator_name = quote == std::string::npos ? cops : cops.substr(quote);
  report_ += "\rоператор: " + operator_name;
  if (roaming) report_ += ", роуминг";
  return true;
}

void Connection::Dial() {
  Show("Набор номера...Вызов...");
  const std::string command = DialCommand(settings_);
  port_->Write(reinterpret_cast<const uint8_t*>(command.data()), command.size());

  // The dial result comes when the call is decided; every empty read waits
  // the read constant that the search left on the port.
  const uint32_t read_ms = std::max<uint32_t>(port_->GetTimeouts().ReadConstant, 1);
  const auto max_empty_reads = timing_.dial_wait.count() / read_ms + 1;
  std::string reply;
  for (long long i = 0; reply.empty() && i < max_empty_reads; ++i) {
    uint8_t buffer[kModemReplyMax];
    const uint32_t count = port_->Read(buffer, sizeof buffer);
    reply.assign(reinterpret_cast<const char*>(buffer), count);
  }
  if (reply.empty()) {
    const auto seconds = std::to_string(timing_.dial_wait.count() / 1000);
    Fail("Модем не сообщил результат вызова за " + seconds + " с.\r");
    return;
  }
  StripModemReply(reply);

  if (Contains(reply, "CONNECT")) {
    Connect();
    Prepend("Соединение установлено\r");
    view_.ShowStatus("Завершено успешно");
    view_.ShowMessage(kModemBoxTitle, report_, MessageIcon::Information);
  } else if (Contains(reply, "OK")) {
    std::string hang_up = ModemCommand(*port_, "ATH0\r");
    Fail(StripModemReply(hang_up) ? "Соединение в голосовом режиме!\rСоединение прервано!\r"
                                  : "Соединение в голосовом режиме!\rНе удалось разорвать "
                                    "соединение!\r");
  } else if (Contains(reply, "NO CARRIER")) {
    Fail("Нет соединения.\r");
  } else if (Contains(reply, "BUSY")) {
    Fail("Абонент занят.\r");
  } else if (Contains(reply, "NO ANSWER")) {
    Fail("Нет ответа от абонента.\r");
  } else {
    Fail(reply + "\r");
  }
}

void Connection::Fail(const std::string& finding) {
  Prepend(finding);
  view_.ShowStatus("Ошибка модема");
  view_.ShowMessage(kModemBoxTitle, report_, MessageIcon::Error);
}

void Connection::Connect() {
  port_->SetTimeouts(PortTimeouts{50, 0, answer_timeout_ms_, 0, 0});
  StartThread();
  connected_ = true;
}

void Connection::StartThread() {
  if (!link_.request || !link_.executor) return;  // a connection without Modbus traffic
  thread_ = std::make_unique<ExchangeThread>(*port_, *link_.request, *link_.executor,
                                             link_.exchange_completed, link_.trace);
  if (link_.on_thread_changed) link_.on_thread_changed(thread_.get());
}

void Connection::EndThread() {
  if (!thread_) return;
  thread_->Terminate();
  thread_.reset();
  if (link_.on_thread_changed) link_.on_thread_changed(nullptr);
}

bool Connection::Stop() {
  if (!connected_) return true;
  Show("Закрытие соединения...");
  if (settings_.type == ConnectionType::Direct) {
    if (!ports_.Close(*port_)) {
      view_.ShowStatus("Не удалось закрыть порт");
      return false;
    }
    EndThread();
    port_.reset();
    connected_ = false;
    view_.ShowStatus("Порт закрыт");
    return true;
  }

  // The hang-up needs the line to itself: a request still running would
  // swallow the modem's replies.
  EndThread();
  bool hung_up = false;
  {
    DialogueScope dialogue(*this);
    hung_up = HangUp();
  }
  if (!hung_up) {
    view_.ShowStatus("Не удалось закрыть порт");
    view_.ShowMessage(kModemBoxTitle, "Не удалось разорвать соединение!", MessageIcon::Error);
    port_->SetTimeouts(PortTimeouts{50, 0, answer_timeout_ms_, 0, 0});
    StartThread();
    return false;
  }
  if (CloseLine()) {
    connected_ = false;
    view_.ShowStatus("Порт закрыт");
  } else {
    view_.ShowStatus("Не удалось закрыть порт");
  }
  view_.ShowMessage(kModemBoxTitle, "Соединение прервано", MessageIcon::Warning);
  if (connected_) StartThread();
  return !connected_;
}

bool Connection::HangUp() {
  port_->SetTimeouts(kHangUpTimeouts);
  Wait(timing_.escape_guard);
  static constexpr uint8_t kEscape[] = {'+', '+', '+'};
  port_->Write(kEscape, sizeof kEscape);
  uint8_t buffer[kModemReplyMax];
  port_->Read(buffer, sizeof buffer);
  // The escape's answer is not required: a modem that an earlier Stop left
  // in command mode ignores "+++" but still takes "ATH0". In data mode the
  // "ATH0" only reaches the meter, which ignores it.
  std::string hang_up = ModemCommand(*port_, "ATH0\r");
  return StripModemReply(hang_up);
}

}  // namespace flovir
