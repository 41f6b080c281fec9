#include "ui/parameters/parameter_page.h"

#include <QAbstractButton>
#include <exception>

#include "operations/report_files.h"
#include "parameters/parameter_workbook.h"

namespace flovir {

ParameterPage::ParameterPage(Dispatcher& dispatcher, ParameterOperations& operations,
                             const ParameterTable& table, WorkbookModel& xls0, QWidget* window)
    : QObject(window),
      dispatcher_(dispatcher),
      window_(window),
      table_(table),
      xls0_(xls0),
      operations_(operations),
      model_(table_, dispatcher.Parameters(), this),
      grid_(new ParameterGrid(model_, window)),
      choose_file_([this](QFileDialog::AcceptMode mode) {
        QFileDialog& dialog = mode == QFileDialog::AcceptSave
                                  ? Dialog(save_dialog_, "SaveDialog2", mode)
                                  : Dialog(open_dialog_, "OpenDialog1", mode);
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
      }) {
  // A successful read shows the meter's values, unmarked, before the
  // workbook of the read is saved.
  operations_.SetOnParametersRead([this] { model_.SetMeterValues(dispatcher_.Parameters()); });
  // Shown once the editor has closed, not while its focus is moving.
  connect(&model_, &ParameterModel::EditRefused, this, &ParameterPage::ShowError,
          Qt::QueuedConnection);
}

// The grid goes first: it draws from the model.
ParameterPage::~ParameterPage() {
  delete grid_;
}

// Made when first used (a file dialog starts threads of its own), in the
// program's folder; later it opens where the user left it.
QFileDialog& ParameterPage::Dialog(QFileDialog*& dialog, const char* name,
                                   QFileDialog::AcceptMode mode) {
  if (dialog != nullptr) return *dialog;
  dialog = new QFileDialog(window_, mode == QFileDialog::AcceptSave ? "Сохранить" : "Открыть",
                           QString::fromStdString(dispatcher_.ProgramFolder()));
  dialog->setObjectName(name);
  dialog->setAccessibleDescription(name);
  dialog->setAcceptMode(mode);
  dialog->setNameFilter("файл Microsoft Excel (*.xls)");
  dialog->setDefaultSuffix("xls");
  dialog->setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                      : QFileDialog::ExistingFile);
  return *dialog;
}

void ParameterPage::BindButtons(QAbstractButton* read, QAbstractButton* write,
                                QAbstractButton* clock, QAbstractButton* save,
                                QAbstractButton* load) {
  connect(read, &QAbstractButton::clicked, this, &ParameterPage::Read);
  connect(write, &QAbstractButton::clicked, this, &ParameterPage::Write);
  connect(clock, &QAbstractButton::clicked, this, &ParameterPage::SetClock);
  connect(save, &QAbstractButton::clicked, this, &ParameterPage::Save);
  connect(load, &QAbstractButton::clicked, this, &ParameterPage::Load);
}

// A read starts from a cleared buffer, so the edits made before it are gone:
// the grid shows the zeros, unmarked, until the values arrive.
void ParameterPage::Read() {
  if (operations_.ReadParameters()) model_.SetMeterValues(dispatcher_.Parameters());
}

void ParameterPage::Write() {
  const ParameterBuffer sent = dispatcher_.Parameters();
  const int changed = model_.ChangedCount();
  if (!operations_.WriteToDevice()) return;
  sending_ = sent;
  dispatcher_.GetView().ShowStatus(
      "Запись параметров... (изменено значений: " + std::to_string(changed) + ")");
}

void ParameterPage::SetClock() {
  operations_.ClockSetRequest();
}

void ParameterPage::OperationEnded() {
  switch (dispatcher_.Kind()) {
    case OperationKind::ReadParameters:
    case OperationKind::TestRead:
      // Both refill the buffer from the meter, failed or not: no edit is left.
      model_.SetMeterValues(dispatcher_.Parameters());
      break;
    case OperationKind::WriteToDevice:
      if (sending_ && dispatcher_.LastSucceeded()) {
        model_.SetMeterValues(*sending_);
        break;
      }
      [[fallthrough]];
    default:
      model_.BufferReplaced();
  }
  sending_.reset();
}

void ParameterPage::Save() {
  const QString chosen = choose_file_(QFileDialog::AcceptSave);
  if (chosen.isEmpty()) return;
  const std::string path = WithExtension(chosen.toStdString(), ".xls");
  // The dialog proposes it next time.
  if (save_dialog_ != nullptr) save_dialog_->selectFile(QString::fromStdString(path));
  try {
    SaveParameterWorkbook(xls0_, table_, dispatcher_.Parameters(), path);
  } catch (const std::exception& error) {
    ShowError(QString::fromStdString(error.what()));
  }
}

void ParameterPage::Load() {
  const QString chosen = choose_file_(QFileDialog::AcceptOpen);
  if (chosen.isEmpty()) return;
  try {
    LoadParameterWorkbook(xls0_, table_, dispatcher_.Parameters(), chosen.toStdString());
  } catch (const std::exception& error) {
    ShowError(QString::fromStdString(error.what()));  // the buffer is as it was
    return;
  }
  model_.BufferReplaced();
}

void ParameterPage::ShowError(const QString& text) {
  dispatcher_.GetView().ShowMessage(window_->window()->windowTitle().toStdString(),
                                    text.toStdString(), MessageIcon::Error);
}

}  // namespace flovir
