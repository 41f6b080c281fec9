#pragma once
// What the history shows of one meter and kind over a period: the interval
// times the period holds, the ranges of them the store lacks, and the
// stored entries laid out as a download's archive sheet, so that the
// archive table, the CSV and JSON exporters and the charts render them as
// they render a download.

#include <string>
#include <vector>

#include "operations/meter_records.h"
#include "store/history_store.h"
#include "workbook/workbook.h"

namespace flovir::history {

// The period of a kind between two calendar days, as entry times: hourly
// from 00:00 of the first day to 23:00 of the last, daily the days, monthly
// the first days of the months.
struct Period {
  ArchiveKind kind = ArchiveKind::Hourly;
  double first = 0;  // the first entry's time
  double last = 0;   // the last entry's time
};
Period PeriodOf(ArchiveKind kind, double first_day, double last_day);
// Every entry time of the period, in order.
std::vector<double> IntervalTimes(const Period& period);
// How many intervals of the kind lie from `first` to `last` (entry times),
// both counted; 0 when either is no time or they are the wrong way round.
int64_t IntervalsBetween(ArchiveKind kind, const std::string& first, const std::string& last);

// A run of entries the store lacks (or holds only as still growing).
struct Gap {
  std::string first, last;  // entry times, YYYY-MM-DDTHH:MM
  int64_t entries = 0;
};
// The gaps of the period, given the stored complete entry times in order.
std::vector<Gap> FindGaps(const Period& period, const std::vector<std::string>& stored);

// The stored entries and integrators as a download's values and as the
// kind's sheet of an archive workbook written from them (the layout a
// download writes), with the scales of the last entry for the totals. The
// header names the period and the meter's address.
struct StoredSheet {
  WorkbookModel workbook = WorkbookModel::MakeArchiveWorkbook();
  ArchiveData data;
};
StoredSheet BuildStoredSheet(const Period& period, const std::vector<StoredEntry>& entries,
                             const std::vector<StoredIntegrator>& integrators, int address,
                             double now);

}  // namespace flovir::history
