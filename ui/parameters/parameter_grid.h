#pragma once
// The parameter grid RzStringGrid1: a table view over the ParameterModel
// whose cells, header included, are painted from the model's roles, and
// whose value cells are edited in place by RzEdit1.
//
// Enter or a double click opens the editor on a selected editable value
// cell, filled once with the cell's text. Only digits, "-" and "," reach it
// (with Backspace, Delete and the cursor keys); a typed point becomes the
// decimal comma. The name columns are as wide as their longest name. Enter stores the text,
// Escape stores nothing, and leaving the editor any other way, a click on
// another cell included, stores it into the cell that was being edited.

#include <QTableView>

#include "ui/parameters/parameter_model.h"

namespace flovir {

class ParameterGrid : public QTableView {
  Q_OBJECT

 public:
  // The model must outlive the grid.
  explicit ParameterGrid(ParameterModel& model, QWidget* parent = nullptr);

  ParameterModel& Model() const { return model_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  ParameterModel& model_;
};

}  // namespace flovir
