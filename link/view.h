#pragma once
// What the core needs of a user interface. The window implements it with its
// widgets; flovir-cli prints; tests record. Every call comes on the main
// thread.

#include <cstdint>
#include <string>
#include <vector>

namespace flovir {

enum class MessageIcon { Error, Information, Warning };

// The report text areas, by report kind: 0 current values, 1 daily, 2 hourly,
// 3 monthly archive table, 4 the test poll lines.
enum class ReportKind : uint8_t { Current = 0, Daily = 1, Hourly = 2, Monthly = 3, Test = 4 };

class View {
 public:
  virtual ~View() = default;
  // The first panel of the status bar.
  virtual void ShowStatus(const std::string& text) = 0;
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

}  // namespace flovir
