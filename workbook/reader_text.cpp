#include "workbook/reader_text.h"

#include <algorithm>
#include <array>

#include "workbook/cp1251.h"

namespace flovir {

namespace {

// Windows-1252 bytes 0x80 to 0x9F; 0 marks the unassigned ones. The rest of
// the page is ISO 8859-1.
constexpr std::array<uint16_t, 32> kCp1252Controls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    char32_t cp = byte;
    if (byte >= 0x80 && byte < 0xA0)
      cp = kCp1252Controls[byte - 0x80] ? kCp1252Controls[byte - 0x80] : 0xFFFD;
    AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
  if (cp > 0x10FFFF) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const size_t units = bytes.size() / 2;
  const auto unit = [&](size_t k) {
    return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                 static_cast<unsigned char>(bytes[2 * k + 1]) << 8);
  };
  for (size_t k = 0; k < units; ++k) {
    const char16_t u = unit(k);
    if (u >= 0xD800 && u < 0xDC00 && k + 1 < units && unit(k + 1) >= 0xDC00 &&
        unit(k + 1) < 0xE000) {
      AppendUtf8(out, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (unit(k + 1) - 0xDC00));
      ++k;
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

CodePageDecoder::CodePageDecoder() {
  BuildTable(false);
}

void CodePageDecoder::SetCodePage(uint16_t code_page) {
  // 367 is US-ASCII, 0x8001 the Windows Latin page of the oldest files.
  BuildTable(code_page == 1252 || code_page == 367 || code_page == 0x8001);
}

void CodePageDecoder::BuildTable(bool cp1252) {
  for (unsigned byte = 0; byte < 256; ++byte) {
    const std::string one(1, static_cast<char>(byte));
    const std::string utf8 = cp1252 ? Cp1252ToUtf8(one) : Cp1251ToUtf8(one);
    Sequence& s = table_[byte];
    s.length = static_cast<uint8_t>(std::min<size_t>(utf8.size(), s.bytes.size()));
    std::copy_n(utf8.begin(), s.length, s.bytes.begin());
  }
}

std::string CodePageDecoder::Decode(std::string_view bytes) const {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const Sequence& s = table_[static_cast<unsigned char>(c)];
    out.append(s.bytes.data(), s.length);
  }
  return out;
}

}  // namespace flovir
