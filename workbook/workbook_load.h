#pragma once
// The workbook reader's entry for bytes already in memory: what
// WorkbookModel::LoadWorkbook does after reading the file, and what the fuzz
// target drives directly.

#include <cstdint>
#include <span>

#include "workbook/model.h"

namespace flovir {

// Replaces data's contents with the workbook in file (a compound file with a
// "Workbook" or "Book" stream, or a plain Excel 2.1-4.0 record stream).
// Throws WorkbookError with the reader's messages.
void LoadWorkbookBytes(WorkbookData& data, std::span<const uint8_t> file,
                       const LoadProgress& progress = {});

}  // namespace flovir
