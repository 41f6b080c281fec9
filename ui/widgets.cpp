#include "ui/widgets.h"

#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace flovir::ui {

void Name(QWidget* widget, const QString& caption, const QString& name) {
  widget->setObjectName(name);
  widget->setAccessibleName(caption);
  widget->setAccessibleDescription(name);
}

QPushButton* MakeButton(const QString& caption, const QString& name, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  Name(button, caption, name);
  return button;
}

QLineEdit* MakeEdit(const QString& text, const QString& label, const QString& name,
                    QWidget* parent) {
  auto* edit = new QLineEdit(text, parent);
  Name(edit, label, name);
  return edit;
}

QComboBox* MakeList(const QStringList& items, const QString& label, const QString& name,
                    QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->addItems(items);
  Name(list, label, name);
  return list;
}

QLabel* MakeLabel(const QString& text, const QString& name, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  if (!name.isEmpty()) {
    label->setObjectName(name);
    label->setAccessibleDescription(name);
  }
  label->setBuddy(buddy);
  return label;
}

QFont ReportFont() {
  // Windows' own fixed-pitch font; Liberation Mono has its metrics elsewhere.
  QFont font;
  font.setFamilies({"Courier New", "Liberation Mono"});
  font.setStyleHint(QFont::Monospace);
  font.setPixelSize(13);
  return font;
}

void MakeReadOnlyArea(QPlainTextEdit* area) {
  // What the program made, to be selected and copied but not typed into;
  // Tab moves on to the next control.
  area->setReadOnly(true);
  area->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  area->setTabChangesFocus(true);
}

QPlainTextEdit* MakeReportArea(const QString& name, QWidget* parent) {
  auto* area = new QPlainTextEdit(parent);
  area->setFont(ReportFont());
  area->setLineWrapMode(QPlainTextEdit::NoWrap);
  MakeReadOnlyArea(area);
  area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Name(area, name, name);
  return area;
}

}  // namespace flovir::ui
