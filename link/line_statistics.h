#pragma once
// What the line did while a connection ran: the exchange thread counts every
// request, frame and try, how each try ended, the replies it threw away, and
// how long each reply took. The main thread (the window's statistics dock,
// flovir-cli --stats, the fleet summary) reads a consistent copy at any
// time; both sides take one short lock.

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "link/exchange_request.h"

namespace flovir {

// Reply times in milliseconds of the tries that got a valid reply.
struct ReplyTimes {
  size_t count = 0;
  double min_ms = 0, median_ms = 0, p95_ms = 0, max_ms = 0;
};

// The 95th percentile and the rest of the samples (nearest rank).
ReplyTimes SummariseReplyTimes(std::vector<double> samples_ms);

struct LineCounts {
  uint64_t requests = 0;       // requests the thread ran
  uint64_t frames = 0;         // frames sent (a request splits into frames)
  uint64_t tries = 0;          // every sending of a frame
  uint64_t repeats = 0;        // tries beyond the first of a frame
  uint64_t timeouts = 0;       // tries that heard nothing
  uint64_t bad_crc = 0;        // replies whose CRC did not match
  uint64_t other_address = 0;  // replies of another slave
  uint64_t bad_length = 0;     // replies cut short, too long, or answering something else
  std::map<uint8_t, uint64_t> exceptions;  // exception replies by the meter's code
  uint64_t discarded = 0;                  // late or stray replies taken off the line unread
  uint64_t lost_port = 0;                  // tries that found the port gone
};

struct LineStatisticsSnapshot {
  LineCounts counts;
  ReplyTimes replies;
};

class LineStatistics {
 public:
  // Exchange thread.
  void RequestStarted();
  void FrameStarted();
  // A try ended with the status, the reply (stripped) of that length, after
  // `reply_time` since the frame left.
  void TryEnded(ExchangeStatus status, const uint8_t* reply, size_t length,
                std::chrono::steady_clock::duration reply_time);
  // Bytes that settling or the wait for owed replies took off the line.
  void Discarded();

  // Any thread.
  LineStatisticsSnapshot Snapshot() const;
  // The reply times of the valid replies from sample `from` on (the count of
  // samples is Snapshot().replies.count).
  ReplyTimes RepliesSince(size_t from) const;
  void Reset();

 private:
  // Keeps the samples of a long download (a year of hourly entries is
  // about 20 000 frames) and no more.
  static constexpr size_t kMaxSamples = 1 << 17;

  mutable std::mutex mutex_;
  LineCounts counts_;
  std::vector<double> samples_ms_;
  double min_ms_ = 0, max_ms_ = 0;
  size_t sample_count_ = 0;
};

// The counts as lines of text, one reading a line ("запросов 12, кадров
// 40, попыток 43, повторов 3"); the same on standard error, in the fleet
// summary and in the window.
std::vector<std::string> StatisticsLines(const LineStatisticsSnapshot& s);

// The counts on one line, for a table of meters: "попыток 120 (повторов
// 3), без ответа 2, CRC 1, чужой адрес 0, исключений 0, отброшено 0, ответ
// 10/12/15/30 мс" (minimum, median, 95%, maximum).
std::string StatisticsSummary(const LineStatisticsSnapshot& s);

// A short plain-language reading of the counts for the user; empty when the
// line looks healthy (or nothing ran).
std::vector<std::string> StatisticsAdvice(const LineStatisticsSnapshot& s,
                                          uint32_t answer_timeout_ms);

// An answer timeout from measured replies: twice the slowest plus 100 ms,
// rounded up to whole hundreds of milliseconds; never below 200 ms.
uint32_t SuggestedTimeoutMs(const ReplyTimes& replies);
// "ответ 180–420 мс, предлагаю 1000 мс"
std::string TuningText(const ReplyTimes& replies, uint32_t suggested_ms);

}  // namespace flovir
