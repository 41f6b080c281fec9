#include "link/line_statistics.h"

#include "link/trace.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace flovir {

namespace {

constexpr size_t kExceptionLength = 5;

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Nearest rank: the smallest sample with at least p of them at or below it.
double Percentile(const std::vector<double>& sorted, double p) {
  const size_t rank = static_cast<size_t>(std::ceil(p * static_cast<double>(sorted.size())));
  return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}

std::string Ms(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, ms < 10 ? "%.1f" : "%.0f", ms);
  return text;
}

std::string Uint(uint64_t n) {
  return std::to_string(n);
}

}  // namespace

ReplyTimes SummariseReplyTimes(std::vector<double> samples_ms) {
  ReplyTimes r;
  r.count = samples_ms.size();
  if (samples_ms.empty()) return r;
  std::sort(samples_ms.begin(), samples_ms.end());
  r.min_ms = samples_ms.front();
  r.max_ms = samples_ms.back();
  r.median_ms = Percentile(samples_ms, 0.5);
  r.p95_ms = Percentile(samples_ms, 0.95);
  return r;
}

void LineStatistics::RequestStarted() {
  std::lock_guard lock(mutex_);
  ++counts_.requests;
}

void LineStatistics::FrameStarted() {
  std::lock_guard lock(mutex_);
  ++counts_.frames;
}

void LineStatistics::TryEnded(ExchangeStatus status, const uint8_t* reply, size_t length,
                              std::chrono::steady_clock::duration reply_time) {
  std::lock_guard lock(mutex_);
  LineCounts& c = counts_;
  ++c.tries;
  if (c.tries > c.frames) c.repeats = c.tries - c.frames;
  const bool exception = length == kExceptionLength && (reply[1] & 0x80) != 0;
  switch (status) {
    case ExchangeStatus::Success: {
      const double ms = Milliseconds(reply_time);
      min_ms_ = sample_count_ == 0 ? ms : std::min(min_ms_, ms);
      max_ms_ = sample_count_ == 0 ? ms : std::max(max_ms_, ms);
      ++sample_count_;
      if (samples_ms_.size() < kMaxSamples) samples_ms_.push_back(ms);
      return;
    }
    case ExchangeStatus::Timeout:
      ++c.timeouts;
      return;
    case ExchangeStatus::BadCrc:
      ++c.bad_crc;
      return;
    case ExchangeStatus::WrongAddress:
      ++c.other_address;
      return;
    case ExchangeStatus::PortLost:
      ++c.lost_port;
      return;
    default:
      if (exception) {
        ++c.exceptions[reply[2]];
      } else {
        ++c.bad_length;
      }
  }
}

void LineStatistics::Discarded() {
  std::lock_guard lock(mutex_);
  ++counts_.discarded;
}

LineStatisticsSnapshot LineStatistics::Snapshot() const {
  std::lock_guard lock(mutex_);
  LineStatisticsSnapshot s;
  s.counts = counts_;
  s.replies = SummariseReplyTimes(samples_ms_);
  // The extremes stay exact past the kept samples.
  s.replies.count = sample_count_;
  s.replies.min_ms = min_ms_;
  s.replies.max_ms = max_ms_;
  return s;
}

ReplyTimes LineStatistics::RepliesSince(size_t from) const {
  std::lock_guard lock(mutex_);
  if (from >= samples_ms_.size()) return {};
  return SummariseReplyTimes(std::vector<double>(samples_ms_.begin() + from, samples_ms_.end()));
}

void LineStatistics::Reset() {
  std::lock_guard lock(mutex_);
  counts_ = {};
  samples_ms_.clear();
  min_ms_ = max_ms_ = 0;
  sample_count_ = 0;
}

std::vector<std::string> StatisticsLines(const LineStatisticsSnapshot& s) {
  const LineCounts& c = s.counts;
  std::vector<std::string> lines;
  lines.push_back("запросов " + Uint(c.requests) + ", кадров " + Uint(c.frames) + ", попыток " +
                  Uint(c.tries) + ", повторов " + Uint(c.repeats));
  lines.push_back("без ответа " + Uint(c.timeouts) + ", ошибок CRC " + Uint(c.bad_crc) +
                  ", ответов другого адреса " + Uint(c.other_address) + ", неверной длины " +
                  Uint(c.bad_length));
  std::string exceptions = "исключений " + Uint([&] {
                             uint64_t n = 0;
                             for (const auto& [code, count] : c.exceptions) n += count;
                             return n;
                           }());
  for (const auto& [code, count] : c.exceptions) {
    exceptions += (code == c.exceptions.begin()->first ? " (" : ", ") + std::string("код ") +
                  Uint(code) + ": " + Uint(count);
  }
  if (!c.exceptions.empty()) exceptions += ")";
  lines.push_back(exceptions + ", отброшено поздних и чужих ответов " + Uint(c.discarded));
  const ReplyTimes& r = s.replies;
  if (r.count == 0) {
    lines.push_back("время ответа: ответов не было");
  } else {
    lines.push_back("время ответа, мс: мин. " + Ms(r.min_ms) + ", медиана " + Ms(r.median_ms) +
                    ", 95% " + Ms(r.p95_ms) + ", макс. " + Ms(r.max_ms) + " (" + Uint(r.count) +
                    " ответов)");
  }
  return lines;
}

std::string StatisticsSummary(const LineStatisticsSnapshot& s) {
  const LineCounts& c = s.counts;
  uint64_t exceptions = 0;
  for (const auto& [code, count] : c.exceptions) exceptions += count;
  std::string text = "попыток " + Uint(c.tries) + " (повторов " + Uint(c.repeats) +
                     "), без ответа " + Uint(c.timeouts) + ", CRC " + Uint(c.bad_crc) +
                     ", чужой адрес " + Uint(c.other_address) + ", исключений " + Uint(exceptions) +
                     ", отброшено " + Uint(c.discarded);
  const ReplyTimes& r = s.replies;
  if (r.count > 0) {
    text += ", ответ " + Ms(r.min_ms) + "/" + Ms(r.median_ms) + "/" + Ms(r.p95_ms) + "/" +
            Ms(r.max_ms) + " мс";
  }
  return text;
}

std::vector<std::string> StatisticsAdvice(const LineStatisticsSnapshot& s,
                                          uint32_t answer_timeout_ms) {
  const LineCounts& c = s.counts;
  std::vector<std::string> advice;
  if (c.tries == 0) return advice;
  // One fault in fifty tries is what a long GSM call shows now and then.
  const auto often = [&](uint64_t n) { return n > 0 && n * 50 >= c.tries; };
  if (c.lost_port > 0) advice.push_back("Порт пропадал: проверьте адаптер и кабель.");
  if (often(c.bad_crc) || often(c.bad_length)) {
    advice.push_back(
        "Ошибки контрольной суммы и искажённые ответы: проверьте проводку и формат линии "
        "(скорость, паритет, стоп-биты).");
  }
  if (c.other_address > 0) {
    advice.push_back("Отвечает прибор с другим адресом: проверьте адрес или найдите прибор.");
  }
  if (c.timeouts > 0 && s.replies.count == 0) {
    advice.push_back(
        "Прибор не ответил ни разу: проверьте адрес, скорость и подключение (\"Найти прибор\").");
  } else if (often(c.timeouts) || often(c.discarded)) {
    advice.push_back(
        "Ответы теряются или опаздывают: увеличьте тайм-аут (\"Подобрать тайм-аут\").");
  }
  if (s.replies.count > 0 && s.replies.max_ms > 0.7 * answer_timeout_ms) {
    advice.push_back("Ответы приходят близко к тайм-ауту: увеличьте его.");
  }
  return advice;
}

std::string TimedTraceLine(const std::string& line, const FrameTime& time) {
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%9.1f мс %+8.1f  ", time.since_start_ms,
                time.since_previous_ms);
  return stamp + line;
}

uint32_t SuggestedTimeoutMs(const ReplyTimes& replies) {
  const double wanted = 2 * replies.max_ms + 100;
  const uint32_t rounded = static_cast<uint32_t>(std::ceil(wanted / 100.0)) * 100;
  return std::max<uint32_t>(rounded, 200);
}

std::string TuningText(const ReplyTimes& replies, uint32_t suggested_ms) {
  return "ответ " + Ms(replies.min_ms) + "–" + Ms(replies.max_ms) + " мс, предлагаю " +
         Uint(suggested_ms) + " мс";
}

}  // namespace flovir
