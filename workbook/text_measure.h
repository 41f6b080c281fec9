#pragma once
// Text measurement for column fitting. The window may measure with the
// screen's real fonts; everything else uses the built-in metrics, which need
// no display and give the same widths on every machine.

#include <string_view>

#include "workbook/model.h"

namespace flovir {

class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  // Width in pixels of a UTF-8 text drawn in font.
  virtual int Width(const WorkbookFont& font, std::string_view text) const = 0;
};

// Advance widths of Arial (Liberation Sans has the same metrics) at 96 dpi,
// at the font's height, for every character of Windows-1251 (Latin, digits,
// punctuation, Cyrillic); other characters are measured as the "?" they
// become on disk. Each character's advance is rounded to whole pixels as the
// screen draws it. Bold, italic and the font's name are ignored.
class ArialMetrics : public TextMeasurer {
 public:
  int Width(const WorkbookFont& font, std::string_view text) const override;
};

const TextMeasurer& DefaultTextMeasurer();

}  // namespace flovir
