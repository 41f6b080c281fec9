#pragma once
// What a parameter write leaves behind for the user: the backup of the
// meter's table as it was right before the write, and a line in the change
// log. Both live in the program's folder, beside the auto-save folder, so a
// service engineer finds them with the reports:
//   резервные копии/адрес 1 2026-12-09 04-16-09.xls
//   журнал записи параметров.txt
// The log is plain text in Windows-1251 with CR LF, like the reports, so
// Notepad on a Russian Windows opens it and it can go with a service report.

#include <cstdint>
#include <string>
#include <vector>

namespace flovir {

inline constexpr const char* kBackupFolderName = "резервные копии";
inline constexpr const char* kWriteLogName = "журнал записи параметров.txt";

// A path for a new backup of the meter at this address, at this moment
// (days since 30.12.1899), in the backup folder, which is created. When a
// backup of that second exists, " (2)", " (3)", ... follow the time. Throws
// ReportFileError when the folder cannot be made.
std::string NewBackupPath(const std::string& program_folder, uint8_t address, double now);

// "09.12.2026 04:16:09".
std::string LogTime(double now);

// Appends the lines to the change log, through a new file renamed over the
// old one, so a failed append leaves the log as it was. Throws
// ReportFileError naming the file and the reason.
void AppendWriteLog(const std::string& program_folder, const std::vector<std::string>& lines);

}  // namespace flovir
