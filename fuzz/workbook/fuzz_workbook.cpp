// libFuzzer target: any bytes as a workbook file, through the compound-file
// parser and the record reader. A load may fail only with WorkbookError; any
// other exception, a crash, a hang or an oversized allocation is a finding.

#include <cstddef>
#include <cstdint>

#include "workbook/workbook_load.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  flovir::WorkbookData workbook;
  int last_percent = 0;
  try {
    flovir::LoadWorkbookBytes(workbook, {data, size}, [&](int percent) { last_percent = percent; });
  } catch (const flovir::WorkbookError&) {
  }
  return last_percent < 0 ? 1 : 0;
}
