#include "cli/pdf_output.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>

#ifdef FLOVIR_PDF
#include <QGuiApplication>
#endif

#include "workbook/platform_files.h"

namespace flovir::cli {

bool CheckPdfAvailable() {
#ifdef FLOVIR_PDF
  return true;
#else
  std::fprintf(stderr, "flovir-cli: %s\n", kNoPdfText);
  return false;
#endif
}

#ifdef FLOVIR_PDF
bool WritePdfFile(const std::function<print::PrintDocument()>& make, const std::string& path) {
  // Fonts and the text layout need a Qt application; no display is needed.
  // On Windows the windows platform opens no window and finds the system's
  // fonts (the offscreen one finds none there).
  static char program[] = "flovir-cli";
#ifdef _WIN32
  static int argc = 1;
  static char* argv[] = {program, nullptr};
#else
  static int argc = 3;
  static char platform_option[] = "-platform";
  static char platform[] = "offscreen";
  static char* argv[] = {program, platform_option, platform, nullptr};
#endif
  std::unique_ptr<QGuiApplication> application;
  if (QGuiApplication::instance() == nullptr) {
    application = std::make_unique<QGuiApplication>(argc, argv);
  }
  try {
    print::WritePdf(make(), path);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "flovir-cli: %s\n", error.what());
    return false;
  }
  return true;
}
#endif

std::string MeterOfFile(const std::string& meter_option, const std::string& file) {
  if (!meter_option.empty()) return meter_option;
  return "файл " + Utf8FromPath(PathFromUtf8(file).filename());
}

}  // namespace flovir::cli
