#pragma once
// Writes an OLE2 compound file (version 3, 512-byte sectors) whose root
// storage holds one stream. A stream shorter than 4096 bytes lives in the
// mini stream, as the format requires; readers would otherwise take its
// bytes from the wrong place.

#include <string>
#include <string_view>

namespace flovir {

// The whole file as bytes.
std::string BuildCompoundFile(std::string_view stream_name, std::string_view stream);

// Writes bytes to path through a temporary file in the same folder that is
// renamed over path at the end, so a failed write leaves any previous file
// as it was. Throws WorkbookError with the system's message.
void WriteFileReplacing(const std::string& path, std::string_view bytes);

}  // namespace flovir
