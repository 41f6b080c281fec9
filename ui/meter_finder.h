#pragma once
// "Найти прибор" in the window: the search for the meter (connection/
// meter_search.h) on a thread of its own, so the window stays live; its
// progress and its end come back as signals on the window's thread.
// Cancelling takes effect before the next probe, a fraction of a second.

#include <QObject>
#include <QString>
#include <atomic>
#include <thread>

#include "connection/meter_search.h"

namespace flovir::ui {

class MeterFinder : public QObject {
  Q_OBJECT
 public:
  explicit MeterFinder(QObject* parent = nullptr);
  // Cancels a search and waits for its thread.
  ~MeterFinder() override;

  // Starts the search of the settings' line; false while one runs.
  bool Start(const Settings& settings);
  void Cancel() { cancelled_ = true; }
  bool Running() const { return thread_.joinable(); }

 signals:
  void progress(const QString& text, int percent);
  // On the window's thread. `found` false: nothing answered (or the search
  // was cancelled, or the port did not open: `reason` says why, beside the
  // status text).
  void finished(bool found, const flovir::SearchStep& step, const QString& status,
                const QString& reason);

 private:
  void Finish(const SearchResult& result, bool network);

  std::thread thread_;
  std::atomic<bool> cancelled_{false};
};

}  // namespace flovir::ui
