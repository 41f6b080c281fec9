#pragma once
// The window's reports as printable documents, each from the values the
// core built it from: the current-values report's lines, the archive
// table's values, the test page's lines, the parameter buffer under the
// parameter table. Every number is written as the text report or the
// parameter grid writes it.

#include <QImage>
#include <string>
#include <vector>

#include "operations/parameter_buffer.h"
#include "parameters/parameter_table.h"
#include "print/print_document.h"
#include "reports/archive_table.h"
#include "reports/report_kind.h"

namespace flovir::print {

// The 14 lines of the current-values report as a table of names and values.
PrintDocument CurrentValuesDocument(const std::vector<std::string>& report_lines,
                                    const PageHeader& header);

// An archive table (hourly, daily or monthly) with its title lines, one
// row per interval, the totals and the integrator readings; landscape.
PrintDocument ArchiveDocument(ReportKind kind, const ArchiveTableData& archive,
                              const PageHeader& header);

// The test page's lines, in a fixed font.
PrintDocument TestDocument(const std::vector<std::string>& lines, const PageHeader& header);

// The parameter grid: the channels and the general parameters as columns.
PrintDocument ParameterDocument(const ParameterTable& table, const ParameterBuffer& buffer,
                                const PageHeader& header);

// A chart as drawn on screen, under its title, on a landscape page.
PrintDocument ChartDocument(const std::string& title, const QImage& image,
                            const PageHeader& header);

// The document of a report kind's page, its title as the window names it:
// "Текущие значения", "Часовой архив", ...
std::string DocumentTitle(ReportKind kind);

// --- Pieces the service report shares ----------------------------------------
// Report lines "name = value" (or "name: value") as two columns.
TableSpec NameValueTable(const std::vector<std::string>& lines);
TableSpec ParameterTableSpec(const ParameterTable& table, const ParameterBuffer& buffer);
TableSpec ArchiveTotalsSpec(ReportKind kind, const ArchiveTableData& archive);

}  // namespace flovir::print
