#pragma once
// The Hayes dialogue with the local modem of a GSM or dial-up connection:
// the modem search, the GSM identification and state queries, the
// initialisation string, the character format and speed, the dial with its
// result, and the escape and hang-up. It talks to the user through View,
// letting the window repaint at each stage.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "link/port.h"
#include "operations/settings.h"
#include "operations/view.h"

namespace flovir {

using SleepFunction = std::function<void(std::chrono::milliseconds)>;

struct ConnectionTiming {
  // How long a dial may stay unanswered. Modems end a dial with their own
  // result code well within this.
  std::chrono::milliseconds dial_wait{60000};
  // Silence before and after "+++" that a modem needs to take it as escape.
  std::chrono::milliseconds escape_guard{2000};
  // Lets the modem settle on its new format and speed before the dial.
  std::chrono::milliseconds format_settle{100};
  SleepFunction sleep;  // empty: std::this_thread::sleep_for
};

inline constexpr const char* kModemBoxTitle = "Модемная связь";

class ModemDialogue {
 public:
  ModemDialogue(Port& port, View& view, const Settings& settings, const ConnectionTiming& timing)
      : port_(port), view_(view), settings_(settings), timing_(timing) {}

  // Finds, configures and dials the modem. True once the call is up: the
  // status reads "Завершено успешно" and the report has been shown. False
  // with "Модем не отвечает", or with "Ошибка модема" and the report in an
  // error box.
  bool Call();
  // Escape after the guard time, then "ATH0". True when the modem confirmed
  // the hang-up.
  bool HangUp();
  // The findings, newest first, joined with "\r".
  const std::string& Report() const { return report_; }

 private:
  bool FindModem();
  bool Configure();
  bool QueryGsm();
  void SetFormatAndSpeed();
  bool Dial();
  bool Fail(const std::string& finding);
  void Show(const std::string& status, int percent = -1);  // percent: the search's progress
  void Wait(std::chrono::milliseconds duration);

  Port& port_;
  View& view_;
  const Settings& settings_;
  const ConnectionTiming& timing_;
  std::string report_;
};

// "AT&FE0V1" when the field is empty.
std::string InitStringOrDefault(const std::string& field);

}  // namespace flovir
