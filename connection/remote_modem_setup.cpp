#include "connection/remote_modem_setup.h"

#include "connection/modem_command.h"
#include "connection/modem_search.h"

namespace flovir {

namespace {

constexpr PortTimeouts kCommandTimeouts{200, 0, 5000, 0, 0};

// A status text; with a percentage, a step of the modem search.
void Show(View& view, const std::string& status, int percent = -1) {
  if (percent < 0) {
    view.ShowStatus(status);
  } else {
    view.ShowProgress(status, percent);
  }
  view.ProcessPendingEvents();
}

// An echoing modem repeats "ATS0=..." before its result; that echo alone
// counts as acceptance.
bool Accepted(const std::string& raw_reply) {
  if (raw_reply.find("ATS0") != std::string::npos) return true;
  std::string reply = raw_reply;
  return StripModemReply(reply);
}

bool FindRemoteModem(Port& port, View& view) {
  Show(view, "Поиск модема... 0%", 0);
  ModemSearch search(port, RemoteModemSearch());
  if (search.ProbeAtPresentFormat()) return true;
  return search.Search([&](int percent) {
    Show(view, "Поиск модема... " + std::to_string(percent) + "%", percent);
  });
}

}  // namespace

const std::vector<std::string>& RemoteModemSetup::DefaultCommands() {
  static const std::vector<std::string> commands = {"AT&F",        "AT&S1", "ATS0=1", "AT&D0",
                                                    "AT+IPR=9600", "ATE0",  "AT&W"};
  return commands;
}

bool RemoteModemSetup::SetCommands(std::vector<std::string> commands, std::string& error) {
  if (commands.size() > kMaxCommands) {
    error = "Слишком много команд: " + std::to_string(commands.size()) + " (не более " +
            std::to_string(kMaxCommands) + ")";
    return false;
  }
  for (const std::string& line : commands) {
    if (line.size() > kMaxCommandLength) {
      error = "Слишком длинная команда: " + line.substr(0, 40) + "...";
      return false;
    }
  }
  commands_ = std::move(commands);
  return true;
}

RemoteSetupOutcome RemoteModemSetup::Apply(Connection& connection, View& view) const {
  if (!connection.Connected() || connection.Type() != ConnectionType::Direct) {
    view.ShowStatus("Настройка модема возможна только при прямом соединении");
    return RemoteSetupOutcome::PortBusy;
  }
  const ExchangeThread* thread = connection.Thread();
  if ((thread && !thread->IsSleeping()) || connection.ModemDialogueActive()) {
    view.ShowStatus("Порт занят: дождитесь окончания операции");
    return RemoteSetupOutcome::PortBusy;
  }
  Connection::DialogueScope dialogue(connection);
  return ApplyModemCommands(*connection.OpenPort(), view, commands_);
}

std::vector<std::string> SplitCommandLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") != std::string::npos) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

RemoteSetupOutcome ApplyModemCommands(Port& port, View& view,
                                      const std::vector<std::string>& commands) {
  if (commands.empty()) {
    view.ShowStatus("Список команд пуст: модему ничего не отправлено");
    return RemoteSetupOutcome::NothingToSend;
  }
  if (!FindRemoteModem(port, view)) {
    Show(view, "Модем не отвечает");
    return RemoteSetupOutcome::NoModem;
  }
  port.SetTimeouts(kCommandTimeouts);
  Show(view, "Настройка модема...");
  for (const std::string& line : commands) {
    if (!Accepted(ModemCommand(port, line + "\r"))) {
      view.ShowStatus("Ошибка. Неверный параметр: " + line);
      return RemoteSetupOutcome::Rejected;
    }
  }
  view.ShowStatus("Завершено успешно");
  return RemoteSetupOutcome::Done;
}

}  // namespace flovir
