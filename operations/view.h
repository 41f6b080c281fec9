#pragma once
// What the core needs of a user interface: the connection, the modem
// dialogues and the operations talk to the user only through it. The window
// implements it with its widgets; flovir-cli prints; tests record. Every
// call comes on the main thread.

#include <string>
#include <vector>

#include "reports/report_kind.h"

namespace flovir {

enum class MessageIcon { Error, Information, Warning };

// The connection's notices about the port itself: the window shows them in
// its status bar; a terminal leaves them unsaid.
enum class PortNotice { Opened, Closed, OpenFailed, CloseFailed };

constexpr const char* PortNoticeText(PortNotice notice) {
  switch (notice) {
    case PortNotice::Opened:
      return "Порт открыт";
    case PortNotice::Closed:
      return "Порт закрыт";
    case PortNotice::OpenFailed:
      return "Не удалось открыть порт";
    case PortNotice::CloseFailed:
      break;
  }
  return "Не удалось закрыть порт";
}

class View {
 public:
  virtual ~View() = default;
  // The first panel of the status bar.
  virtual void ShowStatus(const std::string& text) = 0;
  // The status text of a step that counts up ("Выполнено...42%", "Поиск
  // модема...40%") with its number, 0 to 100, for a progress bar. A view
  // without one shows the text alone; a later ShowStatus ends the progress.
  virtual void ShowProgress(const std::string& text, int percent) {
    (void)percent;
    ShowStatus(text);
  }
  // A notice about the port, shown as its status text.
  virtual void ShowPortNotice(PortNotice notice) { ShowStatus(PortNoticeText(notice)); }
  // The operation buttons. Starters disable them (the test poll's tick leaves
  // its own button enabled); the end of every operation enables all of them.
  virtual void EnableOperationButtons(bool enabled, bool including_test_button) = 0;
  // A message box with one OK button, owned by the main window.
  virtual void ShowMessage(const std::string& title, const std::string& text, MessageIcon icon) = 0;
  // Replaces the text of a report area (kinds 0 to 3).
  virtual void SetReport(ReportKind kind, const std::vector<std::string>& lines) = 0;
  // Adds one line at the end of the test area (kind 4).
  virtual void AppendTestLine(const std::string& line) = 0;
  // Lets the window repaint and handle pending input.
  virtual void ProcessPendingEvents() = 0;
};

// The lines of a message box's text: the modem's reports separate them with
// '\r' (as the window's boxes show them), other texts with '\n'.
inline std::vector<std::string> MessageLines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  return lines;
}

}  // namespace flovir
