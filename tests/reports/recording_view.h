#pragma once
// A view that records what the core shows, in order.

#include <string>
#include <vector>

#include "operations/view.h"

namespace flovir::testing {

struct RecordingView : View {
  struct Message {
    std::string title, text;
    MessageIcon icon;
  };
  // Status texts and "<events>" for every ProcessPendingEvents, in order.
  std::vector<std::string> calls;
  std::vector<Message> messages;
  std::vector<std::string> report;
  int reports_set = 0;
  std::vector<std::string> test_lines;

  void ShowStatus(const std::string& text) override { calls.push_back("status:" + text); }
  void EnableOperationButtons(bool, bool) override {}
  void ShowMessage(const std::string& title, const std::string& text, MessageIcon icon) override {
    messages.push_back({title, text, icon});
  }
  void SetReport(ReportKind, const std::vector<std::string>& lines) override {
    report = lines;
    ++reports_set;
  }
  void AppendTestLine(const std::string& line) override { test_lines.push_back(line); }
  void ProcessPendingEvents() override { calls.push_back("<events>"); }
};

}  // namespace flovir::testing
