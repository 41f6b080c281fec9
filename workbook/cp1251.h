#pragma once
// Windows-1251, the code page of the meter's texts on disk (report files and
// workbook cells). Texts are UTF-8 in memory; convert only at those edges.

#include <string>
#include <string_view>

namespace flovir {

// Characters that Windows-1251 lacks become '?'.
std::string Utf8ToCp1251(std::string_view utf8);
std::string Cp1251ToUtf8(std::string_view cp1251);
// Number of characters (code points) of a UTF-8 text.
size_t Utf8Length(std::string_view utf8);

}  // namespace flovir
