#include "parameters/parameter_table.h"

#include "reports/number_format.h"

namespace flovir {
namespace {

struct ChannelRow {
  const char* name;
  uint16_t index[4];  // value index of channels 1-4
  uint8_t integer_digits;
  uint8_t decimals;
};

// Rows 1-37 of the channel columns. Rows 1-5 are the measured values.
constexpr ChannelRow kChannelRows[37] = {
    {"Уровень сигнала [УС]", {0, 50, 90, 130}, 7, 3},
    {"Время по, мкс [Tпо]", {1, 51, 91, 131}, 8, 3},
    {"Время против, мкс [Tпр]", {2, 52, 92, 132}, 8, 3},
    {"Разность времени, мкс [dT]", {3, 53, 93, 133}, 8, 5},
    {"Имитатор расхода [dTи]", {4, 54, 94, 134}, 6, 3},
    {"Максимум, м3/час", {5, 55, 95, 135}, 7, 1},
    {"Минимум, м3/час", {6, 56, 96, 136}, 6, 2},
    {"Диаметр, мм [D]", {7, 57, 97, 137}, 7, 2},
    {"База датчиков, мм [Ld]", {8, 58, 98, 138}, 7, 2},
    {"Осевая база, мм [Lос]", {9, 59, 99, 139}, 7, 2},
    {"Смещение луча [X]", {10, 60, 100, 140}, 6, 4},
    {"Смещение нуля, нс [dt]", {11, 61, 101, 141}, 8, 2},
    {"Длина кабеля, м [Lk]", {12, 62, 102, 142}, 6, 2},
    {"Коэффициент Kк", {13, 63, 103, 143}, 7, 5},
    {"Эквив.шероховатость", {14, 64, 104, 144}, 5, 2},
    {"Точка N1(Q) F т1", {15, 65, 105, 145}, 7, 1},
    {"Точка N1(K) K т1", {16, 66, 106, 146}, 7, 5},
    {"Точка N2(Q) F т2", {17, 67, 107, 147}, 7, 1},
    {"Точка N2(K) K т2", {18, 68, 108, 148}, 7, 5},
    {"Точка N3(Q) F т3", {19, 69, 109, 149}, 7, 1},
    {"Точка N3(K) K т3", {20, 70, 110, 150}, 7, 5},
    {"Точка N4(Q) F т4", {21, 71, 111, 151}, 7, 1},
    {"Точка N4(K) K т4", {22, 72, 112, 152}, 7, 5},
    {"Точка N5(Q) F т5", {23, 73, 113, 153}, 7, 1},
    {"Точка N5(K) K т5", {24, 74, 114, 154}, 7, 5},
    {"К проливки [Кп]", {25, 75, 115, 155}, 7, 5},
    {"К гидродинам. [Кгд]", {26, 76, 116, 156}, 7, 5},
    {"С, м/с", {27, 77, 117, 157}, 7, 2},
    {"Txb, грС", {28, 78, 118, 158}, 6, 2},
    {"Авторасчет [Кгд]", {29, 79, 119, 159}, 2, 0},
    {"", {30, 80, 120, 160}, 7, 4},
    {"Имитатор расходаd [Tи1]", {185, 186, 187, 188}, 6, 3},
    {"Вес импульса, л/имп", {194, 195, 196, 197}, 8, 2},
    {"Время усреднения, с [Tу]  ", {198, 199, 200, 201}, 4, 0},
    {"Тип датчика", {202, 203, 204, 205}, 2, 0},
    {"Окно УЗИ, мкс", {206, 207, 208, 209}, 6, 0},
    {"Задержка ПЭП, мкс [zT]", {210, 211, 212, 213}, 6, 4},
};
constexpr int kMeasuredRows = 5;

struct GeneralRow {
  const char* name;
  uint16_t index;
  uint8_t integer_digits;
  uint8_t decimals;
};

// Rows 1-13 of the general columns 5 (name) and 6 (value).
constexpr GeneralRow kGeneralRows[13] = {
    {"Контроль вых.", 189, 9, 4},   {"Колич. УЗ каналов [N]", 191, 2, 0},
    {"Тип УПР 1(234)N", 192, 2, 0}, {"Каналы QVHC", 193, 5, 0},
    {"Ток 1, мА", 214, 6, 4},       {"Ток 2, мА", 215, 6, 3},
    {"Отчетный день", 216, 3, 0},   {"Учет реверса", 217, 2, 0},
    {"Адрес RS232", 218, 4, 0},     {"Скорость RS232", 219, 3, 0},
    {"Адрес RS485", 220, 4, 0},     {"Скорость RS485", 221, 3, 0},
    {"Modbus байты", 222, 4, 0},
};

constexpr const char* kHeaderTexts[kParameterColumns] = {"",       "КАНАЛ1", "КАНАЛ2", "КАНАЛ3",
                                                         "КАНАЛ4", "",       "ОБЩИЕ"};

ParameterCell HeaderCell(const char* text) {
  ParameterCell cell;
  cell.Kind = CellKind::Text;
  cell.Text = text;
  cell.FontStyle = kFontBold;
  cell.FontColour = kHeaderTextColour;
  cell.Background = kGreyColour;
  cell.Alignment = CellAlignment::Centre;
  return cell;
}

ParameterCell NameCell(const char* text) {
  ParameterCell cell;
  cell.Kind = CellKind::Text;
  cell.Text = text;
  cell.Background = kGreyColour;
  cell.Alignment = CellAlignment::Centre;
  return cell;
}

ParameterCell ValueCell(uint16_t index, uint8_t integer_digits, uint8_t decimals, bool editable,
                        uint32_t background) {
  ParameterCell cell;
  cell.Kind = CellKind::Value;
  cell.ValueIndex = index;
  cell.Precision = static_cast<uint8_t>(integer_digits + decimals);
  cell.Decimals = decimals;
  cell.Editable = editable;
  cell.Background = background;
  cell.Alignment = CellAlignment::Right;
  cell.Margin = 2;
  return cell;
}

}  // namespace

ParameterTable::ParameterTable() {
  for (int column = 0; column < kParameterColumns; ++column) {
    if (*kHeaderTexts[column] != '\0') cells_[0][column] = HeaderCell(kHeaderTexts[column]);
  }
  for (int row = 1; row < kParameterRows; ++row) {
    const ChannelRow& channel = kChannelRows[row - 1];
    const bool measured = row <= kMeasuredRows;
    cells_[row][0] = NameCell(channel.name);
    for (int c = 1; c <= 4; ++c) {
      cells_[row][c] = ValueCell(channel.index[c - 1], channel.integer_digits, channel.decimals,
                                 !measured, measured ? kReadOnlyPinkColour : kWhiteColour);
    }
  }
  for (int row = 1; row <= 13; ++row) {
    const GeneralRow& general = kGeneralRows[row - 1];
    cells_[row][5] = NameCell(general.name);
    cells_[row][6] =
        ValueCell(general.index, general.integer_digits, general.decimals, true, kWhiteColour);
  }
}

std::string CellText(const ParameterCell& cell, const ParameterBuffer& buffer) {
  switch (cell.Kind) {
    case CellKind::Text:
      return cell.Text;
    case CellKind::Value:
      return FormatFixed(buffer.ParameterValue(cell.ValueIndex), cell.Precision, cell.Decimals);
    case CellKind::Empty:
      break;
  }
  return {};
}

int GridColumnWidth(int column) {
  if (column == 0) return 150;
  if (column == 5) return 120;
  return 64;
}

}  // namespace flovir
