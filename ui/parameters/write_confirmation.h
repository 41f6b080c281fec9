#pragma once
// The question before a parameter write: what will change in the meter,
// value by value against the table it holds now (read for the backup a
// moment ago), with the backup's path. With nothing to change it says so
// and proposes not to write.

#include <QDialog>

#include "parameters/parameter_operations.h"
#include "parameters/parameter_table.h"

class QTableWidget;

namespace flovir {

class WriteConfirmation : public QDialog {
  Q_OBJECT

 public:
  WriteConfirmation(const ParameterTable& table, const WritePlan& plan, QWidget* parent);

  // Shows the dialog; true when the user chose "Записать".
  static bool Ask(const ParameterTable& table, const WritePlan& plan, QWidget* parent);

  // The summary line above the list ("Изменится значений: 1").
  static QString Summary(const WritePlan& plan);
};

}  // namespace flovir
