#include "workbook/text_measure.h"

#include <array>
#include <cmath>
#include <cstdint>

#include "workbook/cp1251.h"

namespace flovir {

namespace {

constexpr int kUnitsPerEm = 2048;

// Advance widths of Liberation Sans Regular (the metrics of Arial) in font
// units, by Windows-1251 byte; control characters and the unassigned 0x98
// are 0. Taken from the font's hmtx table.
constexpr std::array<uint16_t, 256> kAdvance = {
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    569,  569,  727,  1139, 1139, 1821, 1366, 391,  682,  682,  797,  1196, 569,  682,  569,  569,
    1139, 1139, 1139, 1139, 1139, 1139, 1139, 1139, 1139, 1139, 569,  569,  1196, 1196, 1196, 1139,
    2079, 1366, 1366, 1479, 1479, 1366, 1251, 1593, 1479, 569,  1024, 1366, 1139, 1706, 1479, 1593,
    1366, 1593, 1479, 1366, 1251, 1479, 1366, 1933, 1366, 1366, 1251, 569,  569,  569,  961,  1139,
    682,  1139, 1139, 1024, 1139, 1139, 569,  1139, 1139, 455,  455,  1024, 455,  1706, 1139, 1139,
    1139, 1139, 682,  1024, 569,  1139, 1024, 1479, 1024, 1024, 1024, 684,  532,  684,  1196, 748,
    1771, 1109, 455,  747,  682,  2048, 1139, 1139, 1139, 2048, 2165, 682,  2069, 1193, 1749, 1472,
    1139, 455,  455,  682,  682,  717,  1139, 2048, 0,    2048, 1856, 682,  1664, 896,  1139, 1131,
    569,  1301, 1024, 1024, 1139, 1001, 532,  1139, 1367, 1509, 1472, 1139, 1196, 682,  1509, 569,
    819,  1124, 569,  455,  842,  1180, 1100, 569,  1139, 2197, 1045, 1139, 455,  1366, 1024, 569,
    1366, 1344, 1366, 1109, 1387, 1366, 1891, 1237, 1472, 1472, 1193, 1344, 1706, 1479, 1593, 1472,
    1366, 1479, 1251, 1301, 1557, 1366, 1515, 1365, 1877, 1920, 1621, 1813, 1344, 1472, 2069, 1479,
    1139, 1173, 1088, 747,  1195, 1139, 1370, 939,  1144, 1144, 896,  1195, 1408, 1131, 1139, 1109,
    1139, 1024, 938,  1024, 1685, 1024, 1173, 1067, 1643, 1685, 1280, 1472, 1067, 1045, 1536, 1109,
};

}  // namespace

int ArialMetrics::Width(const WorkbookFont& font, std::string_view text) const {
  // Pixels per em at 96 dpi: points x 96 / 72, points being twips / 20.
  const int ppem = static_cast<int>(std::lround(font.height_twips / 15.0));
  int width = 0;
  for (char c : Utf8ToCp1251(text)) {
    const int advance = kAdvance[static_cast<unsigned char>(c)];
    width += (advance * ppem + kUnitsPerEm / 2) / kUnitsPerEm;
  }
  return width;
}

const TextMeasurer& DefaultTextMeasurer() {
  static const ArialMetrics metrics;
  return metrics;
}

}  // namespace flovir
