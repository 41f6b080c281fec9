#pragma once
// A view that records everything the core shows the user, in order: the
// status texts, message boxes, button states, reports and test-poll lines.

#include <functional>
#include <string>
#include <vector>

#include "operations/view.h"
#include "reports/report_kind.h"

namespace flovir::testing {

class RecordingView : public View {
 public:
  struct Message {
    std::string title, text;
    MessageIcon icon;
  };
  struct Buttons {
    bool enabled;
    bool including_test_button;
  };

  void ShowStatus(const std::string& text) override {
    statuses.push_back(text);
    calls.push_back("status:" + text);
  }
  void EnableOperationButtons(bool enabled, bool including_test_button) override {
    buttons.push_back({enabled, including_test_button});
  }
  void ShowMessage(const std::string& title, const std::string& text, MessageIcon icon) override {
    messages.push_back({title, text, icon});
  }
  void SetReport(ReportKind kind, const std::vector<std::string>& lines) override {
    reports[static_cast<size_t>(kind)] = lines;
    report = lines;
    ++reports_set;
  }
  void AppendTestLine(const std::string& line) override { test_lines.push_back(line); }
  void ProcessPendingEvents() override {
    calls.push_back("<events>");
    ++repaints;
    if (on_events) on_events();
  }

  std::string LastStatus() const { return statuses.empty() ? "" : statuses.back(); }
  // True once buttons were set and the last setting enabled them.
  bool ButtonsEnabled() const { return !buttons.empty() && buttons.back().enabled; }
  // The status texts with this prefix, without it, in order.
  std::vector<std::string> StatusesAfter(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& s : statuses) {
      if (s.rfind(prefix, 0) == 0) out.push_back(s.substr(prefix.size()));
    }
    return out;
  }
  // The progress of a download: "Выполнено...N%", in order.
  std::vector<std::string> Progress() const {
    std::vector<std::string> out;
    for (const auto& p : StatusesAfter("Выполнено...")) out.push_back("Выполнено..." + p);
    return out;
  }
  // The percentages the modem search showed, in order.
  std::vector<std::string> Percents() const {
    std::vector<std::string> out;
    for (const auto& p : StatusesAfter("Поиск модема...")) {
      if (!p.empty() && p.back() == '%') out.push_back(p);
    }
    return out;
  }

  std::vector<std::string> statuses;
  // Status texts as "status:TEXT" and "<events>" for every repaint, in order.
  std::vector<std::string> calls;
  std::vector<Message> messages;
  std::vector<Buttons> buttons;
  std::vector<std::string> reports[5];  // by ReportKind
  std::vector<std::string> report;      // the last lines set, of any kind
  int reports_set = 0;
  std::vector<std::string> test_lines;
  int repaints = 0;
  std::function<void()> on_events;
};

}  // namespace flovir::testing
