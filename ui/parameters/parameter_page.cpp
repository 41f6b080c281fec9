#include "ui/parameters/parameter_page.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QString>
#include <exception>
#include <utility>

#include "operations/report_files.h"
#include "parameters/parameter_workbook.h"
#include "parameters/write_records.h"
#include "ui/parameters/write_confirmation.h"

namespace flovir {

namespace {

// "Время прибора установлено: 09.12.2026 14:05".
std::string ClockSetText(const CivilDateTime& sent) {
  return QString("Время прибора установлено: %1.%2.%3 %4:%5")
      .arg(sent.day, 2, 10, QChar('0'))
      .arg(sent.month, 2, 10, QChar('0'))
      .arg(sent.year, 4, 10, QChar('0'))
      .arg(sent.hour, 2, 10, QChar('0'))
      .arg(sent.minute, 2, 10, QChar('0'))
      .toStdString();
}

}  // namespace

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
        if (!open_folder_.isEmpty() && mode == QFileDialog::AcceptOpen) {
          dialog.setDirectory(open_folder_);
        }
        open_folder_.clear();
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
      }),
      confirm_(
          [this](const WritePlan& plan) { return WriteConfirmation::Ask(table_, plan, window_); }) {
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
  // The page's own name to begin with, as the read saves it.
  if (mode == QFileDialog::AcceptSave) dialog->selectFile(kParameterAutoSaveName);
  return *dialog;
}

void ParameterPage::BindButtons(QAbstractButton* read, QAbstractButton* write,
                                QAbstractButton* clock, QAbstractButton* save,
                                QAbstractButton* load, QAbstractButton* compare,
                                QAbstractButton* restore) {
  connect(read, &QAbstractButton::clicked, this, &ParameterPage::Read);
  connect(write, &QAbstractButton::clicked, this, &ParameterPage::Write);
  connect(clock, &QAbstractButton::clicked, this, &ParameterPage::SetClock);
  connect(save, &QAbstractButton::clicked, this, &ParameterPage::Save);
  connect(load, &QAbstractButton::clicked, this, &ParameterPage::Load);
  if (compare != nullptr)
    connect(compare, &QAbstractButton::clicked, this, &ParameterPage::Compare);
  if (restore != nullptr)
    connect(restore, &QAbstractButton::clicked, this, &ParameterPage::Restore);
}

// A read starts from a cleared buffer, so the edits made before it are gone:
// the grid shows the zeros, unmarked, until the values arrive.
void ParameterPage::Read() {
  if (operations_.ReadParameters()) model_.SetMeterValues(dispatcher_.Parameters());
}

// First the backup read; the rest follows once it has ended (AskAndWrite).
// A table that may not be written is refused here with the reason in the
// status bar, and nothing is sent.
void ParameterPage::Write() {
  if (operations_.PrepareWrite()) stage_ = WriteStage::Backup;
}

void ParameterPage::SetClock() {
  clock_pending_ = operations_.ClockSetRequest();
}

void ParameterPage::OperationEnded() {
  const WriteStage stage =
      dispatcher_.Kind() == OperationKind::WriteToDevice ? stage_ : WriteStage::None;
  stage_ = WriteStage::None;
  switch (dispatcher_.Kind()) {
    case OperationKind::ReadParameters:
    case OperationKind::TestRead:
      // Both refill the buffer from the meter, failed or not: no edit is left.
      model_.SetMeterValues(dispatcher_.Parameters());
      return;
    case OperationKind::WriteToDevice:
      if (std::exchange(clock_pending_, false)) {
        // The status says which time the meter now keeps, not only that
        // the write went well.
        if (dispatcher_.LastSucceeded() && operations_.ClockSent()) {
          ShowStatus(ClockSetText(*operations_.ClockSent()));
        }
        break;
      }
      if (stage == WriteStage::Backup && dispatcher_.LastSucceeded() && operations_.Prepared()) {
        // The dialog waits until the operation's end has been handled.
        QMetaObject::invokeMethod(this, &ParameterPage::AskAndWrite, Qt::QueuedConnection);
        return;
      }
      if (stage == WriteStage::Write) return WriteEnded();
      break;
    default:
      break;
  }
  model_.BufferReplaced();
}

void ParameterPage::AskAndWrite() {
  const std::optional<WritePlan>& plan = operations_.Prepared();
  if (!plan) return;
  ShowStatus("Резервная копия сохранена: " + plan->backup_path);
  if (!confirm_(*plan)) {
    ShowStatus("Запись отменена, прибор не изменён. Резервная копия: " + plan->backup_path);
    return;
  }
  if (operations_.WritePrepared()) stage_ = WriteStage::Write;
}

// The marks follow what the read-back found; a write that did not end well
// is worth a message box, as the meter may now hold another table.
void ParameterPage::WriteEnded() {
  const std::optional<WriteOutcome>& outcome = operations_.LastWrite();
  if (!outcome) return model_.BufferReplaced();
  switch (outcome->result) {
    case WriteOutcome::Result::Verified:
      model_.SetMeterValues(outcome->held);
      break;
    case WriteOutcome::Result::Differs:
      model_.SetMeterValues(outcome->held);
      model_.SetMismatches(outcome->mismatches);
      ShowError(QString::fromStdString(dispatcher_.LastStatusText()));
      break;
    case WriteOutcome::Result::Interrupted:
    case WriteOutcome::Result::Unverified:
      model_.SetUnverified(outcome->changes);
      ShowError(QString::fromStdString(dispatcher_.LastStatusText()));
      break;
    case WriteOutcome::Result::Declined:
      model_.BufferReplaced();
      break;
  }
  if (!outcome->log_error.empty()) {
    ShowError(QString::fromStdString("Журнал записи не дополнен: " + outcome->log_error));
  }
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
    operations_.LoadWorkbook(chosen.toStdString());
  } catch (const std::exception& error) {
    ShowError(QString::fromStdString(error.what()));  // the buffer is as it was
    return;
  }
  model_.BufferReplaced();
}

// Marks the cells that differ from a workbook (a backup, another meter's
// table); the grid and the buffer stay as they are.
void ParameterPage::Compare() {
  const QString chosen = choose_file_(QFileDialog::AcceptOpen);
  if (chosen.isEmpty()) return;
  WorkbookModel other_workbook = WorkbookModel::MakeParameterWorkbook();
  ParameterBuffer other = dispatcher_.Parameters();
  try {
    LoadParameterWorkbook(other_workbook, table_, other, chosen.toStdString());
  } catch (const std::exception& error) {
    ShowError(QString::fromStdString(error.what()));
    return;
  }
  const QString name = QFileInfo(chosen).fileName();
  model_.SetComparison(other, "файле «" + name + "»");
  const int differing = model_.ComparedCount();
  ShowStatus(differing == 0 ? "Таблица совпадает с файлом «" + name.toStdString() + "»"
                            : "Отличается от файла «" + name.toStdString() +
                                  "» значений: " + std::to_string(differing));
}

// A backup (or any parameter workbook) back into the meter: loaded, then
// written through the same backup, confirmation and read-back.
void ParameterPage::Restore() {
  open_folder_ =
      QString::fromStdString(dispatcher_.ProgramFolder()) + "/" + QString(kBackupFolderName);
  const QString chosen = choose_file_(QFileDialog::AcceptOpen);
  if (chosen.isEmpty()) return;
  try {
    operations_.LoadWorkbook(chosen.toStdString());
  } catch (const std::exception& error) {
    ShowError(QString::fromStdString(error.what()));
    return;
  }
  model_.SetComparison(std::nullopt);
  Write();
}

void ParameterPage::ShowStatus(const std::string& text) {
  dispatcher_.GetView().ShowStatus(text);
}

void ParameterPage::ShowError(const QString& text) {
  dispatcher_.GetView().ShowMessage(window_->window()->windowTitle().toStdString(),
                                    text.toStdString(), MessageIcon::Error);
}

}  // namespace flovir
