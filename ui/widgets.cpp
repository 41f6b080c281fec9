#include "ui/widgets.h"

#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>

namespace flovir::ui {

void Name(QWidget* widget, const QString& caption, const QString& name) {
  widget->setObjectName(name);
  widget->setAccessibleName(caption);
  widget->setAccessibleDescription(name);
}

QString WithoutMnemonic(const QString& caption) {
  QString bare;
  bare.reserve(caption.size());
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;  // "&&" keeps one
    bare += caption[i];
  }
  return bare;
}

QPushButton* MakeButton(const QString& caption, const QString& name, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  Name(button, WithoutMnemonic(caption), name);
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

namespace {

void CollectFocusable(QWidget* widget, QWidgetList& order);

void CollectFocusable(QLayout* layout, QWidgetList& order) {
  for (int i = 0; i < layout->count(); ++i) {
    QLayoutItem* item = layout->itemAt(i);
    if (QWidget* widget = item->widget()) {
      CollectFocusable(widget, order);
    } else if (QLayout* inner = item->layout()) {
      CollectFocusable(inner, order);
    }
  }
}

void CollectFocusable(QWidget* widget, QWidgetList& order) {
  // A hidden control keeps its place: Tab passes it by until it shows.
  if (widget->focusProxy() != nullptr || (widget->focusPolicy() & Qt::TabFocus)) {
    order << widget;
    return;
  }
  if (auto* splitter = qobject_cast<QSplitter*>(widget)) {
    for (int i = 0; i < splitter->count(); ++i) CollectFocusable(splitter->widget(i), order);
  } else if (widget->layout() != nullptr) {
    CollectFocusable(widget->layout(), order);
  }
}

}  // namespace

void FollowLayout(QWidget* page) {
  QWidgetList order;
  if (page->layout() != nullptr) CollectFocusable(page->layout(), order);
  for (qsizetype i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

}  // namespace flovir::ui
