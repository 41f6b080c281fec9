#pragma once
// The small chart of the service report: the volumes V1-V4 of each interval
// of an archive, one line each, drawn with QPainter into an image.

#include <QImage>

#include "reports/archive_table.h"

namespace flovir::print {

// The chart at `width` x `height` pixels; a null image when the archive
// has no interval rows.
QImage ArchiveVolumeChart(ReportKind kind, const ArchiveTableData& archive, int width, int height);

}  // namespace flovir::print
