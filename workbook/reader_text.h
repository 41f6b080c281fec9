#pragma once
// Text decoding for the workbook reader: the single-byte code pages that
// Excel files declare in their CODEPAGE record, and UTF-16 as Excel 97 and
// the compound-file directory store it. Everything decodes to UTF-8.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace flovir {

// Appends one code point as UTF-8; unpaired surrogates become U+FFFD.
void AppendUtf8(std::string& out, char32_t code_point);

// UTF-16LE bytes (an even count is expected; a trailing odd byte is dropped).
std::string Utf16LeToUtf8(std::string_view bytes);

// Decodes single-byte strings by the code page a file declares.
class CodePageDecoder {
 public:
  // Windows-1251 until the file says otherwise: the meter's own files.
  CodePageDecoder();
  // Takes the CODEPAGE record's value. 1200 (UTF-16) cannot describe the
  // single-byte strings of an Excel 5.0 file; such files exist and hold
  // Windows-1251 texts, so 1200 reads as 1251. Unknown pages read as 1251.
  void SetCodePage(uint16_t code_page);
  std::string Decode(std::string_view bytes) const;

 private:
  // The UTF-8 form of every byte of the page, built once per page: cell
  // texts are decoded by the hundred thousand.
  struct Sequence {
    std::array<char, 4> bytes;
    uint8_t length;
  };
  void BuildTable(bool cp1252);
  std::array<Sequence, 256> table_;
};

}  // namespace flovir
