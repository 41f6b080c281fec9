#include "parameters/parameter_operations.h"

#include "operations/register_map.h"
#include "operations/report_files.h"
#include "parameters/parameter_workbook.h"
#include "workbook/serial_date.h"

namespace flovir {

ParameterOperations::ParameterOperations(Dispatcher& dispatcher, const ParameterTable& table,
                                         WorkbookModel& xls0)
    : dispatcher_(dispatcher), table_(table), xls0_(xls0) {
  dispatcher_.SetCompletion(OperationKind::ReadParameters,
                            [this](OperationContext& context) { CompleteRead(context); });
  // The write and the clock setting end well when the meter acknowledged
  // every frame; nothing is read back.
  dispatcher_.SetCompletion(OperationKind::WriteToDevice, [this](OperationContext& context) {
    if (!context.Succeeded()) return;
    // The parameter write (not the clock's) goes into the meter's history.
    HistoryFeed* history = dispatcher_.History();
    if (history != nullptr && writing_table_) {
      history->ParameterTableSeen(ParameterSource::Written, staging_.bytes);
    }
    context.Finish();
  });
}

bool ParameterOperations::ReadParameters() {
  OperationStart start;
  start.kind = OperationKind::ReadParameters;
  start.start_text = "Запрос параметров...";
  start.first_request = [this](const Settings&) {
    // A read never leaves values of an earlier read in place.
    dispatcher_.Parameters().Clear();
    staging_.Clear();
    return RequestPlan{3, kParameterFirstRegister, kParameterRegisterCount, staging_.bytes.data()};
  };
  return dispatcher_.Start(start);
}

void ParameterOperations::CompleteRead(OperationContext& context) {
  dispatcher_.Parameters() = staging_;
  if (!context.Succeeded()) return;
  if (HistoryFeed* history = dispatcher_.History()) {
    history->ParameterTableSeen(ParameterSource::Read, dispatcher_.Parameters().bytes);
  }
  if (on_read_) on_read_();
  const std::string& program_folder = dispatcher_.ProgramFolder();
  const std::string& name_field = context.Settings().auto_save_name;
  const std::string path =
      AutoSaveFolder(program_folder, name_field) + "/" + kParameterAutoSaveName;
  try {
    MakeAutoSaveFolder(program_folder, name_field);
    SaveParameterWorkbook(xls0_, table_, dispatcher_.Parameters(), path);
  } catch (const std::exception& error) {
    context.Fail("Не удалось сохранить параметры в файл " + path + ": " + error.what());
    return;
  }
  context.Finish();
}

bool ParameterOperations::WriteToDevice() {
  OperationStart start;
  start.kind = OperationKind::WriteToDevice;
  start.start_text = "Запись параметров...";
  start.first_request = [this](const Settings&) {
    writing_table_ = true;
    staging_ = dispatcher_.Parameters();
    return RequestPlan{16, kParameterFirstRegister, kParameterRegisterCount, staging_.bytes.data()};
  };
  return dispatcher_.Start(start);
}

bool ParameterOperations::ClockSetRequest() {
  OperationStart start;
  start.kind = OperationKind::WriteToDevice;
  start.start_text = "Синхронизация времени...";
  start.first_request = [this](const Settings&) {
    writing_table_ = false;
    const SelectorBytes bytes = EncodeClockSetRequest(DecodeDateTime(dispatcher_.GetClock().Now()));
    std::copy(bytes.begin(), bytes.end(), dispatcher_.Selector().begin());
    return RequestPlan{16, kSelectorFirstRegister, kSelectorRegisterCount,
                       dispatcher_.Selector().data()};
  };
  return dispatcher_.Start(start);
}

}  // namespace flovir
