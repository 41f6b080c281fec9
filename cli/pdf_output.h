#pragma once
// PDF files from flovir-cli (report --pdf, service-report). They are laid
// out by Qt; a build without Qt (FLOVIR_BUILD_PDF=OFF) says so instead.

#include <functional>
#include <string>

#ifdef FLOVIR_PDF
#include "print/print_document.h"
#endif

namespace flovir::cli {

// The message of a build without PDF output.
inline constexpr const char* kNoPdfText =
    "PDF недоступен: эта сборка flovir-cli собрана без Qt (FLOVIR_BUILD_PDF=OFF)";

// Prints kNoPdfText when this build writes no PDFs; false then.
bool CheckPdfAvailable();

#ifdef FLOVIR_PDF
// Starts Qt on the offscreen platform for the call, builds the document and writes
// it to path. On failure prints "flovir-cli: <why>" on standard error and
// returns false.
bool WritePdfFile(const std::function<print::PrintDocument()>& make, const std::string& path);
#endif

// The header's meter when no line names it: --meter, else the file.
std::string MeterOfFile(const std::string& meter_option, const std::string& file);

}  // namespace flovir::cli
