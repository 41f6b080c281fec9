#pragma once
// Report text files and the folders they go to.
//
// A report is written as its lines in Windows-1251, each ended by CR LF,
// without a byte-order mark, through a temporary file in the same folder
// that is renamed over the target: a failed write leaves the previous file
// as it was. Every failure throws ReportFileError, whose message names the
// file or folder and the system's reason; the caller decides what the user
// sees.
//
// Paths are UTF-8 texts; folders are returned without a trailing separator.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "reports/archive_layout.h"

namespace flovir {

class ReportFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Why path (a folder, or a file) could not be written, in the user's words
// from what is on the disk and the system's error, with the system's own
// text beside them: "папка «/proc/x» не существует (No such file or
// directory)". A missing error is judged from the disk alone.
// Without a known cause the reason is kUnknownWriteFailure with the text.
std::string WriteFailureReason(const std::string& path, bool folder, std::error_code error,
                               const std::string& system_text);
inline constexpr const char* kUnknownWriteFailure = "ошибка записи";
// The same, empty when the disk shows no cause.
std::optional<std::string> KnownWriteFailureReason(const std::string& path, bool folder,
                                                   std::error_code error,
                                                   const std::string& system_text);

// The auto-saved report files, each placed in the auto-save folder; the
// archives' come from their layout rows.
inline constexpr const char* kCurrentReportFile = "текущие.txt";
inline constexpr const char* kHourlyReportFile = LayoutOf(ArchiveKind::Hourly).report_file.data();
inline constexpr const char* kDailyReportFile = LayoutOf(ArchiveKind::Daily).report_file.data();
inline constexpr const char* kMonthlyReportFile = LayoutOf(ArchiveKind::Monthly).report_file.data();
inline constexpr const char* kDefaultAutoSaveName = "авто_";

// Writes the lines to path (see above). Throws ReportFileError.
void WriteReportFile(const std::string& path, const std::vector<std::string>& lines);

// The folder of the running program when it can be written to; otherwise
// (an installed program) $XDG_DATA_HOME/flovir or ~/.local/share/flovir,
// created when missing. A non-empty override (flovir-cli's --folder) is
// taken as it is.
std::string ProgramFolder(std::string_view override_folder = {});

// The auto-save folder: the program's folder followed directly by the text
// of the auto-save name field; an empty text is the program's folder itself.
std::string AutoSaveFolder(const std::string& program_folder, std::string_view name_field);
// The same, created (with missing parents) when it does not exist.
// Throws ReportFileError when it cannot be created or is not a folder.
std::string MakeAutoSaveFolder(const std::string& program_folder, std::string_view name_field);
// Writes a report into the auto-save folder as file_name ("текущие.txt" or
// "/текущие.txt"); returns the file's path. Throws ReportFileError.
std::string AutoSaveReport(const std::string& program_folder, std::string_view name_field,
                           std::string_view file_name, const std::vector<std::string>& lines);

// The save buttons' rule: the file name's extension replaced by extension
// (".txt" or ".xls"), or extension appended when it has none: "архив" gives
// "архив.txt", "отчёт.doc" gives "отчёт.txt". Folders in the path are kept.
std::string WithExtension(std::string_view path, std::string_view extension);

}  // namespace flovir
