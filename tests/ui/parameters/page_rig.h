#pragma once
// The window's side of the parameter page for the tests: a connection to the
// simulated meter through the window's executor, and the page in a shown
// window, which hears of the end of every operation.

#include <QVBoxLayout>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "link/exchange_thread.h"
#include "operations/clock.h"
#include "tests/support/files.h"
#include "tests/support/meter_port.h"
#include "tests/support/recording_view.h"
#include "ui/parameters/parameter_page.h"
#include "ui/qt_executor.h"

namespace flovir::testing {

// The window's side: a connection to the simulated meter and the page, which
// hears of the end of every operation.
struct Rig {
  Rig() {
    dispatcher.SetProgramFolder(folder.Path() + "/");
    thread = std::make_unique<ExchangeThread>(port, dispatcher.Request(), executor, [this] {
      dispatcher.ExchangeCompleted();
      if (!dispatcher.Busy()) page.OperationEnded();
    });
    dispatcher.SetThread(thread.get());
    (new QVBoxLayout(&window))->addWidget(&page.Grid());
    window.resize(900, 1000);
    window.show();
    window.activateWindow();
  }
  ~Rig() {
    dispatcher.SetThread(nullptr);
    thread.reset();
  }
  QString Text(int row, int column) {
    return page.Model().CellIndex(row, column).data().toString();
  }

  ScratchFolder folder{"flovir-ui-par"};
  sim::SimulatedMeter meter;
  MeterPort port{meter};
  RecordingView view;
  FixedClock clock{45358.5};
  ui::QtExecutor executor;  // the window's hand-over
  Dispatcher dispatcher{view, clock};
  QWidget window;
  ParameterTable table;
  WorkbookModel xls0 = WorkbookModel::MakeParameterWorkbook();
  ParameterOperations operations{dispatcher, table, xls0};
  ParameterPage page{dispatcher, operations, table, xls0, &window};
  std::unique_ptr<ExchangeThread> thread;
};

}  // namespace flovir::testing
