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

}  // namespace flovir::ui
