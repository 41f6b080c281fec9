#include "ui/parameters/write_confirmation.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "parameters/parameter_changes.h"

namespace flovir {
namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// Row name and channel apart, as the grid shows them.
QStringList Columns(const ParameterTable& table, const ParameterChange& change) {
  const ChangeTexts values = ValueTexts(table, change);
  QString name, channel;
  if (change.row < 0) {
    name = Q(ChangeName(table, change));
  } else if (change.column == 6) {
    name = Q(table.Cell(change.row, 5).Text).trimmed();
    channel = "общий";
  } else {
    name = Q(table.Cell(change.row, 0).Text).trimmed();
    if (name.isEmpty()) name = "строка " + QString::number(change.row);
    channel = QString::number(change.column);
  }
  return {name, channel, Q(values.before), Q(values.after)};
}

}  // namespace

QString WriteConfirmation::Summary(const WritePlan& plan) {
  if (plan.changes.empty()) {
    return "Значения в таблице совпадают с теми, что хранит прибор: записывать нечего.";
  }
  return "Изменится значений: " + QString::number(plan.changes.size());
}

WriteConfirmation::WriteConfirmation(const ParameterTable& table, const WritePlan& plan,
                                     QWidget* parent)
    : QDialog(parent) {
  setObjectName("WriteConfirmation");
  setAccessibleDescription("WriteConfirmation");
  setWindowTitle("Запись параметров в прибор");
  auto* layout = new QVBoxLayout(this);
  auto* summary = new QLabel(Summary(plan), this);
  summary->setObjectName("WriteSummary");
  summary->setAccessibleDescription("WriteSummary");
  layout->addWidget(summary);
  if (!plan.changes.empty()) {
    auto* list = new QTableWidget(static_cast<int>(plan.changes.size()), 4, this);
    list->setObjectName("WriteChanges");
    list->setAccessibleDescription("WriteChanges");
    list->setHorizontalHeaderLabels({"Параметр", "Канал", "В приборе", "Будет записано"});
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->verticalHeader()->hide();
    for (int row = 0; row < static_cast<int>(plan.changes.size()); ++row) {
      const QStringList texts = Columns(table, plan.changes[static_cast<size_t>(row)]);
      for (int column = 0; column < texts.size(); ++column) {
        auto* item = new QTableWidgetItem(texts[column]);
        if (column >= 2) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        list->setItem(row, column, item);
      }
    }
    list->resizeColumnsToContents();
    list->setMinimumWidth(list->horizontalHeader()->length() + 30);
    layout->addWidget(list);
  }
  auto* backup = new QLabel("Резервная копия таблицы прибора: " + Q(plan.backup_path), this);
  backup->setObjectName("WriteBackup");
  backup->setAccessibleDescription("WriteBackup");
  backup->setWordWrap(true);
  backup->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(backup);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* write = buttons->addButton(
      plan.changes.empty() ? "&Записать всё равно" : "&Записать", QDialogButtonBox::AcceptRole);
  write->setObjectName("WriteConfirm");
  write->setAccessibleDescription("WriteConfirm");
  QPushButton* cancel = buttons->addButton("Отмена", QDialogButtonBox::RejectRole);
  cancel->setObjectName("WriteCancel");
  cancel->setAccessibleDescription("WriteCancel");
  // Nothing to change: Enter keeps the meter as it is.
  (plan.changes.empty() ? cancel : write)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

bool WriteConfirmation::Ask(const ParameterTable& table, const WritePlan& plan, QWidget* parent) {
  WriteConfirmation dialog(table, plan, parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace flovir
