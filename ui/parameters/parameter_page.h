#pragma once
// The page "Параметры" bound to the core: the grid RzStringGrid1 over the
// dispatcher's parameter buffer; "Cчитать", "Записать" and "Время ПК в
// прибор" through the parameter operations; "Сохранить" and "Загрузить"
// with the workbook dialogs SaveDialog2 and OpenDialog1; "Сравнить" marks
// the cells that differ from a workbook or a backup; "Восстановить" writes
// a backup back.
//
// "Записать" runs in two operations: the backup read, then, once the user
// has confirmed the list of changes (WriteConfirmation), the write with its
// read-back. Cells the meter holds otherwise than written stay marked.
//
// The window creates the buttons, enables the operation buttons with the
// others, places the grid, and calls OperationEnded after every operation.

#include <QFileDialog>
#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>
#include <string>

#include "operations/dispatcher.h"
#include "parameters/parameter_operations.h"
#include "parameters/parameter_table.h"
#include "ui/parameters/parameter_grid.h"
#include "ui/parameters/parameter_model.h"
#include "workbook/workbook.h"

class QAbstractButton;

namespace flovir {

class ParameterPage : public QObject {
  Q_OBJECT

 public:
  // The meter's parameter operations over its table and workbook
  // "параметры.xls" (a session's parts), which must outlive the page;
  // window owns the grid until the window places it, and the dialogs and
  // message boxes.
  ParameterPage(Dispatcher& dispatcher, ParameterOperations& operations,
                const ParameterTable& table, WorkbookModel& xls0, QWidget* window);
  ~ParameterPage() override;

  ParameterGrid& Grid() { return *grid_; }
  ParameterModel& Model() { return model_; }
  const ParameterTable& Table() const { return table_; }

  // Connects the page's buttons: Button8, Button11, Button10, Button16,
  // Button17, and "Сравнить" and "Восстановить" when given.
  void BindButtons(QAbstractButton* read, QAbstractButton* write, QAbstractButton* clock,
                   QAbstractButton* save, QAbstractButton* load, QAbstractButton* compare = nullptr,
                   QAbstractButton* restore = nullptr);

  // Shows SaveDialog2 or OpenDialog1 and returns the chosen path, empty when
  // cancelled. Tests choose without a dialog.
  using FileChooser = std::function<QString(QFileDialog::AcceptMode mode)>;
  void SetFileChooser(FileChooser chooser) { choose_file_ = std::move(chooser); }
  // Asks before a write (WriteConfirmation); tests answer without a dialog.
  using Confirmer = std::function<bool(const WritePlan& plan)>;
  void SetConfirmer(Confirmer confirmer) { confirm_ = std::move(confirmer); }

 public slots:
  void Read();
  void Write();
  void SetClock();
  void Save();
  void Load();
  void Compare();
  void Restore();
  // After every operation, failed ones and test polls included: the buffer
  // may have changed, and a write that succeeded puts the meter in step.
  void OperationEnded();

 private:
  QFileDialog& Dialog(QFileDialog*& dialog, const char* name, QFileDialog::AcceptMode mode);
  void ShowError(const QString& text);
  void ShowStatus(const std::string& text);
  void AskAndWrite();
  void WriteEnded();

  Dispatcher& dispatcher_;
  QWidget* window_;
  const ParameterTable& table_;
  WorkbookModel& xls0_;
  ParameterOperations& operations_;
  ParameterModel model_;
  QPointer<ParameterGrid> grid_;        // the window's layout may hold it
  QFileDialog* save_dialog_ = nullptr;  // SaveDialog2
  QFileDialog* open_dialog_ = nullptr;  // OpenDialog1
  FileChooser choose_file_;
  Confirmer confirm_;
  QString open_folder_;  // where the open dialog starts next, when set
  // Which half of "Записать" is running.
  enum class WriteStage { None, Backup, Write };
  WriteStage stage_ = WriteStage::None;
  // "Время ПК в прибор" is running: its end says which time it set.
  bool clock_pending_ = false;
};

}  // namespace flovir
