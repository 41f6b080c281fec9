#pragma once
// Status texts on standard error. On a terminal each one replaces the last
// on one line, so a download's percentage counts up in place; when standard
// error is a file or a pipe each text is a line of its own.

#include <unistd.h>

#include <cstdio>
#include <string>

namespace flovir::cli {

class StatusLine {
 public:
  ~StatusLine() { End(); }

  void Show(const std::string& text) {
    if (text.empty()) return;
    if (!in_place_) {
      std::fprintf(stderr, "%s\n", text.c_str());
      return;
    }
    std::fprintf(stderr, "\r%s\033[K", text.c_str());  // then clear what is left of a longer one
    std::fflush(stderr);
    open_ = true;
  }
  // A step that counts up: on a terminal the text and a bar of the percent,
  // elsewhere the text alone.
  void Show(const std::string& text, int percent) {
    if (!in_place_ || percent < 0 || percent > 100) return Show(text);
    constexpr int kWidth = 20;
    const int filled = percent * kWidth / 100;
    Show(text + " [" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "]");
  }
  // Ends the line in place, before anything else is printed.
  void End() {
    if (!open_) return;
    std::fputc('\n', stderr);
    open_ = false;
  }

 private:
  bool in_place_ = isatty(STDERR_FILENO) == 1;
  bool open_ = false;
};

}  // namespace flovir::cli
