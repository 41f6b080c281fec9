#pragma once
// Small helpers for building the window's controls: every control carries
// its caption or label as accessible name and its name in the window's
// layout (Button4, Memo1, Edit5, ...) as accessible description, which
// screen readers and the end-to-end tests use.

#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QWidget>

namespace flovir::ui {

inline void Name(QWidget* widget, const QString& caption, const QString& name) {
  widget->setObjectName(name);
  widget->setAccessibleName(caption);
  widget->setAccessibleDescription(name);
}

inline QPushButton* MakeButton(const QString& caption, const QString& name, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  Name(button, caption, name);
  return button;
}

}  // namespace flovir::ui
