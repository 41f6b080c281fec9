#pragma once
// The window for the offscreen tests: the built-in simulated meter (--demo)
// selected, the program's folder and the settings file in a scratch folder,
// the message boxes recorded, the yes/no questions recorded and answered
// with `answer` (yes unless a test says otherwise). Controls are found by
// their names in the window's layout (Button4, Memo1, ...), as screen
// readers find them.

#include <QString>
#include <QTemporaryDir>
#include <QWidget>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/main_window.h"

namespace flovir::testing {

struct RecordedMessage {
  QString title, text;
  MessageIcon icon;
};

struct RecordedQuestion {
  QString title, text;
};

struct DemoWindow {
  explicit DemoWindow(bool demo = true, std::vector<std::string> ports = {}) {
    Open(demo, std::move(ports));
  }
  // A new window over the same folder and settings file (the old one is
  // closed first, so it saves its settings).
  void Open(bool demo = true, std::vector<std::string> ports = {}) {
    if (window) window->close();
    window.reset();
    ui::WindowOptions options;
    options.demo = demo;
    options.extra_ports = std::move(ports);
    options.folder = dir.path().toStdString();
    options.settings_file = dir.filePath("settings.ini");
    window = std::make_unique<ui::MainWindow>(options);
    window->SetMessageSink([this](const QString& title, const QString& text, MessageIcon icon) {
      messages.push_back({title, text, icon});
    });
    window->SetQuestionSink([this](const QString& title, const QString& text) {
      questions.push_back({title, text});
      return answer;
    });
  }
  ui::MainWindow* operator->() const { return window.get(); }

  // The control of that name and type; throws when there is none, so a
  // renamed control fails the test that looks for it.
  template <typename T = QWidget>
  T* Get(const char* name) const {
    return Find<T>(*window, name);
  }
  template <typename T = QWidget>
  static T* Find(const QObject& parent, const char* name) {
    T* control = parent.findChild<T*>(name);
    if (control == nullptr) throw std::runtime_error(std::string("no control ") + name);
    return control;
  }

  QTemporaryDir dir;
  std::vector<RecordedMessage> messages;
  std::vector<RecordedQuestion> questions;
  bool answer = true;
  std::unique_ptr<ui::MainWindow> window;
};

}  // namespace flovir::testing
