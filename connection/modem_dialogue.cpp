#include "connection/modem_dialogue.h"

#include <algorithm>
#include <thread>

#include "connection/modem_command.h"
#include "connection/modem_search.h"
#include "operations/line_tables.h"

namespace flovir {

namespace {

constexpr PortTimeouts kHangUpTimeouts{200, 0, 5000, 0, 0};
constexpr size_t kModemReplyMax = 100;

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// A command and its reply, cleaned.
std::string Ask(Port& port, const std::string& command) {
  std::string reply = ModemCommand(port, command);
  StripModemReply(reply);
  return reply;
}

std::string CharacterFormatCommand(const LineFormat& line) {
  if (line.stop_bits == StopBits::Two) return "AT+ICF=1,0\r";
  switch (line.parity) {
    case Parity::Odd:
      return "AT+ICF=2,0\r";
    case Parity::Even:
      return "AT+ICF=2,1\r";
    default:
      return "AT+ICF=3,0\r";
  }
}

std::string DialCommand(const Settings& s) {
  if (s.type == ConnectionType::Gsm) return "ATD " + s.number + "\r";
  return (s.dial_mode == DialMode::Pulse ? "ATDP " : "ATDT ") + s.number + "\r";
}

std::string SimFinding(const std::string& reply) {
  if (Contains(reply, "ERROR")) return "SIM-карта отсутствует.\r";
  if (Contains(reply, "SIM")) return "Требуется ввести PIN-код или SIM-карта блокирована.\r";
  return reply + "\r";
}

// Meaning of the registration state that "AT+CREG?" ends with, for the
// states that allow no call.
std::string RegistrationFinding(const std::string& reply) {
  switch (reply.empty() ? '\0' : reply.back()) {
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

std::string DialFinding(const std::string& reply) {
  if (Contains(reply, "NO CARRIER")) return "Нет соединения.\r";
  if (Contains(reply, "BUSY")) return "Абонент занят.\r";
  if (Contains(reply, "NO ANSWER")) return "Нет ответа от абонента.\r";
  return reply + "\r";
}

}  // namespace

std::string InitStringOrDefault(const std::string& field) {
  return field.empty() ? "AT&FE0V1" : field;
}

void ModemDialogue::Show(const std::string& status, int percent) {
  if (percent < 0) {
    view_.ShowStatus(status);
  } else {
    view_.ShowProgress(status, percent);
  }
  view_.ProcessPendingEvents();
}

void ModemDialogue::Wait(std::chrono::milliseconds duration) {
  if (timing_.sleep) {
    timing_.sleep(duration);
  } else {
    std::this_thread::sleep_for(duration);
  }
}

bool ModemDialogue::Fail(const std::string& finding) {
  report_ = finding + report_;
  view_.ShowStatus("Ошибка модема");
  view_.ShowMessage(kModemBoxTitle, report_, MessageIcon::Error);
  return false;
}

bool ModemDialogue::Call() {
  report_.clear();
  if (!FindModem()) return false;
  return Configure() && Dial();
}

bool ModemDialogue::FindModem() {
  Show("Поиск модема...");
  ModemSearch search(port_, LocalModemSearch());
  if (search.ProbeAtPresentFormat()) return true;
  const bool found = search.Search(
      [&](int percent) { Show("Поиск модема..." + std::to_string(percent) + "%", percent); });
  if (!found) view_.ShowStatus("Модем не отвечает");
  return found;
}

bool ModemDialogue::Configure() {
  Show("Инициализация модема...");
  if (settings_.type == ConnectionType::Gsm && !QueryGsm()) return false;
  std::string reply = ModemCommand(port_, InitStringOrDefault(settings_.init_string) + "\r");
  if (!StripModemReply(reply)) {
    return Fail("Не удалось инициализировать модем.\rНеправильная строка инициализации\r");
  }
  SetFormatAndSpeed();
  return true;
}

bool ModemDialogue::QueryGsm() {
  const std::string maker = Ask(port_, "AT+CGMI\r");
  const std::string model = Ask(port_, "AT+CGMM\r");
  report_ = "модем: " + maker + " " + model;

  const std::string sim = Ask(port_, "AT+CPIN?\r");
  if (!Contains(sim, "READY")) return Fail(SimFinding(sim));

  const std::string registration = Ask(port_, "AT+CREG?\r");
  const char state = registration.empty() ? '\0' : registration.back();
  if (state != '1' && state != '5') return Fail(RegistrationFinding(registration));

  const std::string cops = Ask(port_, "AT+COPS?\r");
  const size_t quote = cops.find('"');
  report_ += "\rоператор: " + (quote == std::string::npos ? cops : cops.substr(quote));
  if (state == '5') report_ += ", роуминг";
  return true;
}

// A modem takes a new character format or speed right after its "OK", so
// the port follows each change before the next command. "AT+ICF=1,0" has no
// parity bit, so with two stop bits the port sends none either. The replies
// are not examined: a modem that refused them fails at the dial.
void ModemDialogue::SetFormatAndSpeed() {
  LineFormat format = settings_.line;
  if (format.stop_bits == StopBits::Two) format.parity = Parity::None;
  ModemCommand(port_, CharacterFormatCommand(format));
  LineSettings line = port_.GetLineSettings();
  line.Parity = format.parity;
  line.StopBits = format.stop_bits;
  port_.SetLineSettings(line);

  ModemCommand(port_, "AT+IPR=" + std::to_string(format.baud_rate) + "\r");
  port_.SetLineSettings(WithFormat(port_.GetLineSettings(), format));
  Wait(timing_.format_settle);
}

bool ModemDialogue::Dial() {
  Show("Набор номера...Вызов...");
  const std::string command = DialCommand(settings_);
  port_.Write(reinterpret_cast<const uint8_t*>(command.data()), command.size());

  // The result comes when the call is decided. Every empty read lasts the
  // read constant that the search left on the port, which bounds the wait.
  const uint32_t read_ms = std::max<uint32_t>(port_.GetTimeouts().ReadConstant, 1);
  const long long reads = timing_.dial_wait.count() / read_ms + 1;
  std::string reply;
  for (long long i = 0; reply.empty() && i < reads; ++i) {
    uint8_t buffer[kModemReplyMax];
    reply.assign(reinterpret_cast<const char*>(buffer), port_.Read(buffer, sizeof buffer));
  }
  if (reply.empty()) {
    return Fail("Модем не сообщил результат вызова за " +
                std::to_string(timing_.dial_wait.count() / 1000) + " с.\r");
  }
  StripModemReply(reply);

  if (Contains(reply, "CONNECT")) {
    report_ = "Соединение установлено\r" + report_;
    view_.ShowStatus("Завершено успешно");
    view_.ShowMessage(kModemBoxTitle, report_, MessageIcon::Information);
    return true;
  }
  if (Contains(reply, "OK")) {  // the other end took a voice call
    std::string hang_up = ModemCommand(port_, "ATH0\r");
    return Fail(StripModemReply(hang_up)
                    ? "Соединение в голосовом режиме!\rСоединение прервано!\r"
                    : "Соединение в голосовом режиме!\rНе удалось разорвать соединение!\r");
  }
  return Fail(DialFinding(reply));
}

bool ModemDialogue::HangUp() {
  port_.SetTimeouts(kHangUpTimeouts);
  Wait(timing_.escape_guard);
  port_.Purge();  // a meter reply to a request that Stop cut short
  static constexpr uint8_t kEscape[] = {'+', '+', '+'};
  port_.Write(kEscape, sizeof kEscape);
  uint8_t buffer[kModemReplyMax];
  port_.Read(buffer, sizeof buffer);
  // The escape's answer is not required: a modem that an earlier Stop left
  // in command mode ignores "+++" but still takes "ATH0". In data mode the
  // "ATH0" only reaches the meter, which ignores it.
  std::string hang_up = ModemCommand(port_, "ATH0\r");
  return StripModemReply(hang_up);
}

}  // namespace flovir
