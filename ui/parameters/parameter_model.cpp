#include "ui/parameters/parameter_model.h"

#include <QFont>
#include <QGuiApplication>
#include <cstring>

#include "parameters/value_conversion.h"
#include "reports/number_format.h"

namespace flovir {
namespace {

// The names of the rows, column 0 and column 5, and column 6 below the
// general parameters never take the selection; every other cell shows a
// value and does.
bool Selectable(int table_row, int column) {
  if (column == 0 || column == 5) return false;
  return !(column == 6 && table_row > 13);
}

QColor Colour(uint32_t rgb) {
  return QColor((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff);
}

// "MS Sans Serif" is not on our platforms: a cell that names it, or no font
// at all, gets the family of the window's font.
QFont CellFont(const ParameterCell& cell) {
  QFont font = QGuiApplication::font();
  if (!cell.FontName.empty() && cell.FontName != kDefaultFontName) {
    font.setFamily(QString::fromStdString(cell.FontName));
  }
  font.setPointSize(cell.FontSize != 0 ? cell.FontSize : kDefaultFontSize);
  font.setBold(cell.FontStyle & kFontBold);
  font.setItalic(cell.FontStyle & kFontItalic);
  font.setUnderline(cell.FontStyle & kFontUnderline);
  font.setStrikeOut(cell.FontStyle & kFontStrikeOut);
  return font;
}

Qt::Alignment Alignment(CellAlignment alignment) {
  switch (alignment) {
    case CellAlignment::Centre:
      return Qt::AlignHCenter | Qt::AlignVCenter;
    case CellAlignment::Right:
      return Qt::AlignRight | Qt::AlignVCenter;
    case CellAlignment::Left:
      break;
  }
  return Qt::AlignLeft | Qt::AlignVCenter;
}

}  // namespace

ParameterModel::ParameterModel(const ParameterTable& table, ParameterBuffer& buffer,
                               QObject* parent)
    : QAbstractTableModel(parent), table_(table), buffer_(buffer), meter_(buffer) {}

int ParameterModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kParameterRows - 1;
}

int ParameterModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kParameterColumns;
}

const ParameterCell& ParameterModel::Cell(const QModelIndex& index) const {
  return table_.Cell(TableRow(index), index.column());
}

bool ParameterModel::Changed(const ParameterCell& cell) const {
  if (cell.Kind != CellKind::Value) return false;
  const size_t offset = 4 * size_t{cell.ValueIndex};
  return std::memcmp(buffer_.bytes.data() + offset, meter_.bytes.data() + offset, 4) != 0;
}

bool ParameterModel::Compared(const ParameterCell& cell) const {
  if (cell.Kind != CellKind::Value || !compared_) return false;
  const size_t offset = 4 * size_t{cell.ValueIndex};
  return std::memcmp(buffer_.bytes.data() + offset, compared_->bytes.data() + offset, 4) != 0;
}

QString ParameterModel::MarkToolTip(const ParameterCell& cell) const {
  const auto other_value = [&](float value) {
    return QString::fromStdString(FormatFixed(value, cell.Precision, cell.Decimals));
  };
  if (cell.Kind == CellKind::Value) {
    if (const auto held = mismatches_.find(cell.ValueIndex); held != mismatches_.end()) {
      return kMismatchToolTip + other_value(held->second);
    }
    if (const auto before = unverified_.find(cell.ValueIndex); before != unverified_.end()) {
      return kUnverifiedToolTip + other_value(before->second);
    }
    if (Compared(cell)) {
      return "в " + compared_name_ + ": " + other_value(compared_->ParameterValue(cell.ValueIndex));
    }
  }
  return Changed(cell) ? QString(kChangedToolTip) : QString();
}

QVariant ParameterModel::CellData(const ParameterCell& cell, int role) const {
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromStdString(CellText(cell, buffer_));
    case Qt::FontRole: {
      QFont font = CellFont(cell);
      if (Changed(cell) || Compared(cell) || mismatches_.count(cell.ValueIndex) != 0 ||
          unverified_.count(cell.ValueIndex) != 0) {
        if (cell.Kind == CellKind::Value) font.setBold(true);
      }
      return font;
    }
    case Qt::ForegroundRole:
      // Zero stands for the palette's window-text colour.
      return cell.FontColour != 0 ? QVariant(Colour(cell.FontColour)) : QVariant();
    case Qt::BackgroundRole:
      if (cell.Kind == CellKind::Value &&
          (mismatches_.count(cell.ValueIndex) != 0 || unverified_.count(cell.ValueIndex) != 0)) {
        return kMismatchColour;
      }
      if (Compared(cell)) return kComparedColour;
      if (Changed(cell)) return kChangedColour;
      return cell.Background != 0 ? Colour(cell.Background) : QColor(Qt::white);
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Alignment(cell.Alignment));
    case Qt::ToolTipRole:
      // A name too long for its column is read whole here.
      if (cell.Kind == CellKind::Text) return QString::fromStdString(cell.Text).trimmed();
      [[fallthrough]];
    case Qt::AccessibleDescriptionRole: {  // what a screen reader says of the mark
      const QString mark = MarkToolTip(cell);
      return mark.isEmpty() ? QVariant() : QVariant(mark);
    }
    case MarginRole:
      return int{cell.Margin};
    case KindRole:
      return static_cast<int>(cell.Kind);
    default:
      return {};
  }
}

QVariant ParameterModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
  if (role == Qt::EditRole) role = Qt::DisplayRole;
  return CellData(Cell(index), role);
}

QVariant ParameterModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kParameterColumns) return {};
  return CellData(table_.Cell(0, section), role);
}

Qt::ItemFlags ParameterModel::flags(const QModelIndex& index) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return Qt::NoItemFlags;
  if (!Selectable(TableRow(index), index.column())) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  const ParameterCell& cell = Cell(index);
  if (cell.Kind == CellKind::Value && cell.Editable) flags |= Qt::ItemIsEditable;
  return flags;
}

bool ParameterModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable)) return false;
  const std::string error = StoreEditedText(Cell(index), value.toString().toStdString(), buffer_);
  if (!error.empty()) {
    emit EditRefused(QString::fromStdString(error));
    return false;
  }
  emit dataChanged(index, index);
  return true;
}

void ParameterModel::BufferReplaced() {
  emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void ParameterModel::SetMeterValues(const ParameterBuffer& meter_values) {
  meter_ = meter_values;
  mismatches_.clear();
  unverified_.clear();
  BufferReplaced();
}

void ParameterModel::SetUnverified(const std::vector<ParameterChange>& changes) {
  unverified_.clear();
  for (const ParameterChange& change : changes) unverified_[change.value_index] = change.before;
  BufferReplaced();
}

void ParameterModel::SetMismatches(const std::vector<ParameterChange>& mismatches) {
  mismatches_.clear();
  for (const ParameterChange& cell : mismatches) mismatches_[cell.value_index] = cell.after;
  BufferReplaced();
}

void ParameterModel::SetComparison(std::optional<ParameterBuffer> other, QString name) {
  compared_ = std::move(other);
  compared_name_ = std::move(name);
  BufferReplaced();
}

int ParameterModel::ComparedCount() const {
  if (!compared_) return 0;
  return static_cast<int>(CompareTables(table_, *compared_, buffer_, ValueScope::Shown).size());
}

int ParameterModel::ChangedCount() const {
  int changed = 0;
  for (size_t offset = 0; offset < kParameterBytes; offset += 4) {
    if (std::memcmp(buffer_.bytes.data() + offset, meter_.bytes.data() + offset, 4) != 0) {
      ++changed;
    }
  }
  return changed;
}

}  // namespace flovir
