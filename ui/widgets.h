#pragma once
// Small helpers for building the window's controls: every control carries
// its caption or label as accessible name and its name in the window's
// layout (Button4, Memo1, Edit5, ...) as object name and accessible
// description, which screen readers and the end-to-end tests use.

#include <QString>
#include <QStringList>

class QComboBox;
class QFont;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace flovir::ui {

void Name(QWidget* widget, const QString& caption, const QString& name);
// A caption without its mnemonic mark: "Со&хранить" -> "Сохранить" ("&&" is
// a literal "&"). Screen readers and the tests know a button by this text.
QString WithoutMnemonic(const QString& caption);
// A push button; its caption may mark its Alt letter with "&" ("&Скачать").
QPushButton* MakeButton(const QString& caption, const QString& name, QWidget* parent);
QLineEdit* MakeEdit(const QString& text, const QString& label, const QString& name,
                    QWidget* parent);
QComboBox* MakeList(const QStringList& items, const QString& label, const QString& name,
                    QWidget* parent);
// A label for `buddy`; an empty name leaves it unnamed.
QLabel* MakeLabel(const QString& text, const QString& name, QWidget* buddy, QWidget* parent);
// The fixed-pitch font of the report tables and the exchange trace.
QFont ReportFont();
// A report table: fixed pitch, no wrapping, both scroll bars always shown.
QPlainTextEdit* MakeReportArea(const QString& name, QWidget* parent);
// A text area the user can select and copy from but not edit, left by Tab.
void MakeReadOnlyArea(QPlainTextEdit* area);
// Tab and Shift+Tab through `page` as it is laid out: the controls that take
// the focus, row by row through its layouts and splitters, whatever order
// they were made in. A control with a layout of its own (a group box, a
// chart) is gone through; one that takes the focus itself (a calendar, a
// list) counts as one. Call it again when the page gains controls.
void FollowLayout(QWidget* page);

}  // namespace flovir::ui
