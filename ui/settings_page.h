#pragma once
// "1. Параметры программы": the three pages of settings ("Основные",
// "Дополнительные", "GSM") with the port list, the archive calendars, Start
// and Stop and the remote modem button. Its fields go in and out as the
// core's SettingsFields; the core parses them.

#include <QStringList>
#include <QTabWidget>
#include <array>

#include "operations/settings.h"
#include "operations/words.h"

class QCalendarWidget;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace flovir::ui {

// The window's captions of a word table of the core ("нет", "нечет", ...),
// item by item as the lists show them and the settings store keeps them.
template <typename T, size_t N>
QStringList Captions(const std::array<Word<T>, N>& table) {
  QStringList captions;
  for (const Word<T>& row : table) {
    captions << QString::fromUtf8(row.caption.data(), qsizetype(row.caption.size()));
  }
  return captions;
}

class SettingsPage : public QTabWidget {
  Q_OBJECT
 public:
  explicit SettingsPage(QWidget* parent = nullptr);

  // The port list: the entry shown and the port's name or path.
  void AddPort(const QString& text, const QString& name);
  int PortCount() const;
  QString PortName(int index) const;

  SettingsFields Fields() const;
  // Shows the fields; the line's own ones (port, type, format, timeout,
  // network address) only when `line_too`, as they stay frozen while
  // connected.
  void SetFields(const SettingsFields& fields, bool line_too = true);
  // Brings the first field Start cannot use forward and focuses it; false
  // when every field can be used.
  bool FocusBadField();

  // The calendars' dates as day values (days since 30 December 1899).
  double FirstDay() const;
  double LastDay() const;

  // Start freezes the line's settings and enables Stop; Stop the reverse.
  void SetConnected(bool connected);
  // While the meter is searched for, "Найти прибор" stops the search and
  // Start waits.
  void SetSearching(bool searching);
  // "Подобрать тайм-аут" measures a connected line with no operation running.
  void SetTuneEnabled(bool enabled);

  // "Найти прибор", and while it searches "Остановить поиск", on Alt+Н.
  static constexpr const char* kSearchCaption = "&Найти прибор";
  static constexpr const char* kStopSearchCaption = "Оста&новить поиск";

 signals:
  void startRequested();
  void stopRequested();
  void remoteModemRequested();
  void searchRequested();
  void searchCancelled();
  void tuneRequested();

 private:
  QWidget* BuildMainPage();
  QWidget* BuildLinePage();
  QWidget* BuildModemPage();
  // Which fields the connection type needs: the modem's, the dial mode's,
  // the network's.
  void UpdateTypeFields();
  ConnectionType Type() const;
  QRadioButton* TypeRadio(ConnectionType type) const;

  bool connected_ = false;
  QComboBox* port_;            // ComboBox1
  QComboBox* speed_;           // ComboBox3
  QComboBox* parity_;          // ComboBox5
  QComboBox* stop_bits_;       // ComboBox4
  QComboBox* framing_;         // ComboBox2
  QLineEdit* address_;         // Edit5
  QLineEdit* auto_save_;       // Edit7
  QLineEdit* meter_name_;      // "Имя прибора": the meter's name in the history
  QLineEdit* timeout_;         // Edit4
  QLineEdit* attempts_;        // Edit3
  QLineEdit* chunk_;           // Edit6
  QLineEdit* number_;          // Edit1
  QLineEdit* init_string_;     // Edit2
  QLineEdit* host_;            // Edit8
  QCalendarWidget* first_;     // MonthCalendar1
  QCalendarWidget* last_;      // MonthCalendar2
  QRadioButton* types_[4];     // RadioButton1, 2, 3, 6 by ConnectionType
  QRadioButton* tone_;         // RadioButton4
  QRadioButton* pulse_;        // RadioButton5
  QGroupBox* dial_mode_;       // GroupBox2
  QPushButton* start_;         // Button1
  QPushButton* stop_;          // Button2
  QPushButton* remote_modem_;  // Button3
  QPushButton* search_;        // "Найти прибор"
  QPushButton* tune_;          // "Подобрать тайм-аут"
  bool searching_ = false;
  QList<QWidget*> line_fields_;     // frozen while connected
  QList<QWidget*> modem_fields_;    // GSM and Dial-Up
  QList<QWidget*> network_fields_;  // TCP/IP, frozen while connected
};

}  // namespace flovir::ui
