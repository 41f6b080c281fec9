#pragma once
// The parameter grid's model: the parameter table's cells over the parameter
// buffer. Row 0 of the table, the header, is the model's horizontal header;
// model row i is table row i + 1, and the columns are the table's.
//
// The model answers with Qt's roles what a cell shows and how: the text,
// font, text colour, background, alignment, and in MarginRole the pixels
// kept free left and right of the text. The delegate only paints them.
//
// Values that differ from what the meter is known to hold (the buffer after
// the last successful read or write) are marked: bold on light yellow, with
// a tooltip. More marks, each with the other value in its tooltip: a value
// the meter holds other than written (a write's read-back found it), or one
// a broken-off write may or may not have changed, light red; a value that differs from a workbook
// the user compares the grid with, light blue. Only cells of the channel and general columns can be
// selected; the measured rows can be selected but not edited. Name cells carry their whole text as
// a tooltip.

#include <QAbstractTableModel>
#include <QColor>
#include <map>
#include <optional>
#include <vector>

#include "operations/parameter_buffer.h"
#include "parameters/parameter_changes.h"
#include "parameters/parameter_table.h"

namespace flovir {

inline const QColor kChangedColour{255, 255, 192};
inline const QColor kMismatchColour{255, 190, 190};
inline const QColor kComparedColour{200, 225, 255};
inline const char* const kChangedToolTip = "изменено, не записано в прибор";
inline const char* const kMismatchToolTip = "прибор хранит другое значение: ";
inline const char* const kUnverifiedToolTip = "запись не проверена; до записи в приборе: ";

class ParameterModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Role { MarginRole = Qt::UserRole + 1, KindRole };

  // table and buffer must outlive the model; the buffer is the one the
  // operations read into and write from.
  ParameterModel(const ParameterTable& table, ParameterBuffer& buffer, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Stores the typed text of an editable value cell as float32. Text that is
  // not a number stores nothing and emits EditRefused with the message.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  QModelIndex CellIndex(int table_row, int column) const { return index(table_row - 1, column); }
  static int TableRow(const QModelIndex& index) { return index.row() + 1; }
  const ParameterCell& Cell(const QModelIndex& index) const;

  // The buffer was replaced behind the model (a read, a test poll, a
  // workbook load): every cell is repainted.
  void BufferReplaced();
  // The meter now holds what the buffer holds (a read succeeded) or what
  // was sent (a write succeeded): the marks follow.
  void SetMeterValues(const ParameterBuffer& meter_values);
  // How many of the 256 values differ from what the meter holds.
  int ChangedCount() const;
  // The values a write's read-back found other than sent (after: what the
  // meter holds); an empty list clears the marks.
  void SetMismatches(const std::vector<ParameterChange>& mismatches);
  // The values a write meant to change when it broke off or could not be
  // read back: the meter may hold them or not (before: what it held).
  void SetUnverified(const std::vector<ParameterChange>& changes);
  // A table to compare the grid with, named in the tooltips ("в файле
  // копия.xls: 100,00"); nothing ends the comparison.
  void SetComparison(std::optional<ParameterBuffer> other, QString name = {});
  // The grid cells that differ from the compared table.
  int ComparedCount() const;

 signals:
  void EditRefused(const QString& message);

 private:
  bool Changed(const ParameterCell& cell) const;
  bool Compared(const ParameterCell& cell) const;
  QString MarkToolTip(const ParameterCell& cell) const;
  QVariant CellData(const ParameterCell& cell, int role) const;

  const ParameterTable& table_;
  ParameterBuffer& buffer_;
  ParameterBuffer meter_;                 // zeros, as the buffer, until a read or write succeeds
  std::map<uint16_t, float> mismatches_;  // value index -> what the meter holds
  std::map<uint16_t, float> unverified_;  // value index -> what it held before
  std::optional<ParameterBuffer> compared_;
  QString compared_name_;
};

}  // namespace flovir
