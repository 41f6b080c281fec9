#include "ui/parameters/parameter_grid.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

namespace flovir {
namespace {

const QColor kSelectionGreen{204, 255, 204};

// What a cell looks like, from the model's roles of a cell or of a header
// section.
template <typename RoleData>
void PaintCell(QPainter& painter, const QRect& rect, const QPalette& palette, bool selected,
               RoleData role) {
  const bool empty = role(ParameterModel::KindRole).toInt() == static_cast<int>(CellKind::Empty);
  painter.save();
  painter.fillRect(rect, selected && !empty ? kSelectionGreen
                                            : role(Qt::BackgroundRole).template value<QColor>());
  const QVariant colour = role(Qt::ForegroundRole);
  // The active colours: names are not selectable, yet they are no disabled text.
  painter.setPen(colour.isValid() ? colour.template value<QColor>()
                                  : palette.color(QPalette::Active, QPalette::WindowText));
  painter.setFont(role(Qt::FontRole).template value<QFont>());
  const int margin = role(ParameterModel::MarginRole).toInt();
  painter.setClipRect(rect);
  // Plain drawText: "&" is an ordinary character here, never a mnemonic.
  painter.drawText(rect.adjusted(margin, 0, -margin, 0),
                   role(Qt::TextAlignmentRole).toInt() | Qt::TextSingleLine,
                   role(Qt::DisplayRole).toString());
  painter.restore();
}

// Row 0 of the table: fixed above the scrolling rows, never selected, and
// without lines between its cells.
class ParameterHeader : public QHeaderView {
 public:
  explicit ParameterHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(false);
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setDefaultSectionSize(GridColumnWidth(1));
    setMinimumSectionSize(8);
  }

  QSize sizeHint() const override { return {QHeaderView::sizeHint().width(), kGridRowHeight}; }

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int section) const override {
    PaintCell(*painter, rect, palette(), false,
              [&](int role) { return model()->headerData(section, Qt::Horizontal, role); });
  }
};

// RzEdit1: characters other than digits, "-" and "," never reach it; keys
// that type nothing (cursor keys, Backspace, Delete) and control characters
// work as usual. A point is the decimal comma the user means (the keypad's
// on most layouts): dropping it would make 152.5 into 1525.
class ParameterEditor : public QLineEdit {
 public:
  explicit ParameterEditor(QWidget* parent) : QLineEdit(parent) {
    setObjectName("RzEdit1");
    setAccessibleDescription("RzEdit1");
    setFrame(false);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, kSelectionGreen);
    colours.setColor(QPalette::Text, colours.color(QPalette::WindowText));
    setPalette(colours);
    setAutoFillBackground(true);
    QFont font = QGuiApplication::font();
    font.setPointSize(kDefaultFontSize);
    setFont(font);
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    const QString text = event->text();
    if (text == ".") {
      insert(",");
      event->accept();
      return;
    }
    if (!text.isEmpty() && text.front().isPrint() && !Accepted(text.front())) {
      event->accept();  // discarded
      return;
    }
    QLineEdit::keyPressEvent(event);
  }

 private:
  static bool Accepted(QChar c) { return (c >= '0' && c <= '9') || c == '-' || c == ','; }
};

class ParameterDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    PaintCell(*painter, option.rect, option.palette, option.state & QStyle::State_Selected,
              [&](int role) { return index.data(role); });
  }

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                        const QModelIndex& index) const override {
    auto* editor = new ParameterEditor(parent);
    editor->setAlignment(Qt::Alignment(index.data(Qt::TextAlignmentRole).toInt()));
    return editor;
  }

  // The editor is filled when it opens, never again: a repaint after a read
  // must not replace what the user is typing.
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    if (editor->property("filled").toBool()) return;
    static_cast<QLineEdit*>(editor)->setText(index.data(Qt::EditRole).toString());
    editor->setProperty("filled", true);
  }

  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override {
    model->setData(index, static_cast<QLineEdit*>(editor)->text(), Qt::EditRole);
  }

  void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                            const QModelIndex&) const override {
    editor->setGeometry(option.rect);
  }
};

// The width the widest text of a column needs in its own font, margins
// included: the row names are read whole, never clipped.
int TextWidth(const ParameterModel& model, int column) {
  int widest = 0;
  for (int row = 0; row < model.rowCount(); ++row) {
    const QModelIndex index = model.index(row, column);
    const QFontMetrics metrics(index.data(Qt::FontRole).value<QFont>());
    const int margin = index.data(ParameterModel::MarginRole).toInt();
    widest = std::max(
        widest, metrics.horizontalAdvance(index.data(Qt::DisplayRole).toString()) + 2 * margin);
  }
  constexpr int kSpare = 10;  // the grid lines and a little air on either side
  return widest + kSpare;
}

}  // namespace

ParameterGrid::ParameterGrid(ParameterModel& model, QWidget* parent)
    : QTableView(parent), model_(model) {
  setObjectName("RzStringGrid1");
  setAccessibleDescription("RzStringGrid1");
  setHorizontalHeader(new ParameterHeader(this));
  setModel(&model);
  setItemDelegate(new ParameterDelegate(this));
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(kGridRowHeight);
  for (int column = 0; column < kParameterColumns; ++column) {
    setColumnWidth(column, std::max(GridColumnWidth(column), TextWidth(model, column)));
  }
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setEditTriggers(QAbstractItemView::DoubleClicked);
  setTabKeyNavigation(false);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  setCurrentIndex(model.CellIndex(1, 1));
}

void ParameterGrid::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && state() != EditingState) {
    // Opens nothing on a read-only cell: the model does not call it editable.
    if (currentIndex().flags() & Qt::ItemIsEditable) edit(currentIndex());
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

}  // namespace flovir
