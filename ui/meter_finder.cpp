#include "ui/meter_finder.h"

#include <QMetaObject>

namespace flovir::ui {

MeterFinder::MeterFinder(QObject* parent) : QObject(parent) {}

MeterFinder::~MeterFinder() {
  cancelled_ = true;
  if (thread_.joinable()) thread_.join();
}

bool MeterFinder::Start(const Settings& settings) {
  if (thread_.joinable()) return false;
  cancelled_ = false;
  thread_ = std::thread([this, settings] {
    SearchCallbacks callbacks;
    callbacks.progress = [this](const std::string& text, int percent) {
      emit progress(QString::fromStdString(text), percent);  // queued to the window's thread
    };
    callbacks.cancelled = [this] { return cancelled_.load(); };
    SerialPortProvider ports;
    const SearchResult result =
        SearchForMeter(ports, settings, SearchOrder(settings, {}), callbacks);
    const bool network = settings.type == ConnectionType::TcpIp;
    // The thread is joined on the window's thread, once it is done.
    QMetaObject::invokeMethod(
        this,
        [this, result, network] {
          if (thread_.joinable()) thread_.join();
          Finish(result, network);
        },
        Qt::QueuedConnection);
  });
  return true;
}

void MeterFinder::Finish(const SearchResult& result, bool network) {
  if (!result.found.empty()) {
    const SearchStep& step = result.found.front().step;
    emit finished(true, step,
                  QString::fromStdString("Прибор найден: " + SearchStepText(step, network)), {});
    return;
  }
  if (!result.open_error.empty()) {
    const QString text = QString::fromStdString(result.open_error);
    emit finished(false, {}, text.section('\n', 0, 0), text.section('\n', 1));
    return;
  }
  emit finished(false, {}, result.cancelled ? "Прервано пользователем" : "Прибор не найден", {});
}

}  // namespace flovir::ui
