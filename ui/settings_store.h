#pragma once
// What the user set last time, kept with QSettings under the keys and texts
// the window has always written. A key that is missing, or holds a text no
// list offers, takes the core's default from SettingsFields.

#include <QByteArray>
#include <QSize>
#include <QString>
#include <memory>
#include <optional>

#include "operations/settings.h"

class QSettings;

namespace flovir::ui {

class SettingsStore {
 public:
  // An empty file: the user's own QSettings ("flovir", "flovir").
  explicit SettingsStore(QString file = {});

  SettingsFields Load() const;
  void Save(const SettingsFields& fields) const;
  std::optional<QSize> WindowSize() const;
  void SaveWindowSize(const QSize& size) const;
  // Where the user left a page's splitter (QSplitter::saveState), by the
  // page's caption; empty when never moved.
  QByteArray SplitterState(const QString& page) const;
  void SaveSplitterState(const QString& page, const QByteArray& state) const;

 private:
  std::unique_ptr<QSettings> Open() const;

  QString file_;
};

}  // namespace flovir::ui
