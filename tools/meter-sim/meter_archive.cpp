#include "tools/meter-sim/meter_archive.h"

#include <chrono>
#include <cmath>

namespace flovir::sim {
namespace {

using std::chrono::day;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// splitmix64: a well-mixed 32-bit number for every input, so that each hour
// and channel gets its own stable variation.
uint32_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return static_cast<uint32_t>((x ^ (x >> 31)) >> 32);
}

// Counts per hour at full flow, in each channel's own volume unit.
constexpr std::array<uint32_t, 4> kBaseCounts{1250, 800, 400, 150};
// Share of the full flow by hour of day, in percent: quiet nights, a
// morning and an evening peak.
constexpr std::array<uint32_t, 24> kDailyProfile{55,  50,  48,  47,  50,  60,  80,  105,
                                                 120, 125, 120, 115, 110, 112, 115, 118,
                                                 122, 128, 130, 120, 100, 85,  70,  60};
constexpr uint32_t kFullHour = 10000;  // 1 h in 1/10000 h

// Bits of a channel's three marks (channel 0-3).
constexpr uint32_t BelowMinimumBit(int c) {
  return 1u << (3 * c);
}
constexpr uint32_t AboveMaximumBit(int c) {
  return 1u << (3 * c + 1);
}
constexpr uint32_t FailureBit(int c) {
  return 1u << (3 * c + 2);
}

}  // namespace

int64_t DayNumber(int y, int m, int d) {
  const sys_days days{year{y} / month{static_cast<unsigned>(m)} / day{static_cast<unsigned>(d)}};
  return days.time_since_epoch().count();
}

bool IsValidDate(int y, int m, int d) {
  if (m < 1 || m > 12 || d < 1 || d > 31) return false;
  return year_month_day{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}}
      .ok();
}

int DaysInMonth(int y, int m) {
  const int next_year = m == 12 ? y + 1 : y;
  const int next_month = m == 12 ? 1 : m + 1;
  return static_cast<int>(DayNumber(next_year, next_month, 1) - DayNumber(y, m, 1));
}

int64_t ToSeconds(const MeterDateTime& t) {
  return DayNumber(t.year, t.month, t.day) * kSecondsPerDay + t.hour * 3600 + t.minute * 60 +
         t.second;
}

MeterDateTime FromSeconds(int64_t seconds) {
  const int64_t days = FloorDiv(seconds, kSecondsPerDay);
  const int64_t rest = seconds - days * kSecondsPerDay;
  const year_month_day date{sys_days{std::chrono::days{days}}};
  return {static_cast<int>(date.year()),
          static_cast<int>(static_cast<unsigned>(date.month())),
          static_cast<int>(static_cast<unsigned>(date.day())),
          static_cast<int>(rest / 3600),
          static_cast<int>(rest / 60 % 60),
          static_cast<int>(rest % 60)};
}

void Totals::Add(const Totals& other) {
  for (int c = 0; c < 4; ++c) {
    volume[c] += other.volume[c];
    operating[c] += other.operating[c];
  }
  mains += other.mains;
  marks |= other.marks;
}

ArchiveEntry Totals::ToEntry(ArchiveKind kind) const {
  ArchiveEntry entry;
  for (int c = 0; c < 4; ++c) {
    entry.volume[c] = static_cast<uint32_t>(volume[c]);
    entry.operating[c] = static_cast<uint32_t>(operating[c]);
  }
  entry.mains = static_cast<uint32_t>(mains);
  if (kind == ArchiveKind::kDaily) {
    // The daily archive keeps the marks of all four channels in both words.
    entry.event_a = entry.event_b = marks;
  } else {
    entry.event_a = marks & 0x03F;
    entry.event_b = marks & 0xFC0;
  }
  return entry;
}

Totals HourlyAmounts(int64_t hour) {
  const uint64_t seed = static_cast<uint64_t>(hour) * 16;
  const uint32_t percent = kDailyProfile[static_cast<size_t>(hour - FloorDiv(hour, 24) * 24)];
  Totals t;
  t.mains = kFullHour;
  uint32_t powered = kFullHour;
  const uint32_t outage = Mix(seed + 15);
  if (outage % 173 == 0) {
    // A power cut of 6 to 53 minutes: the meter counts nothing meanwhile.
    const uint32_t minutes = 6 + outage / 173 % 48;
    powered = kFullHour - minutes * kFullHour / 60;
    t.mains = powered;
  }
  for (int c = 0; c < 4; ++c) {
    const uint32_t base = kBaseCounts[c] * percent / 100;
    uint64_t count = base + Mix(seed + c) % (base / 8 + 1);
    uint64_t operating = powered;
    const uint32_t event = Mix(seed + 4 + c);
    if (event % 61 == 0) {
      switch (event / 61 % 3) {
        case 0:  // a quarter of an hour without a valid measurement
          t.marks |= FailureBit(c);
          operating -= kFullHour / 4;
          break;
        case 1:
          t.marks |= BelowMinimumBit(c);
          count /= 4;
          break;
        default:
          t.marks |= AboveMaximumBit(c);
          count = count * 3 / 2;
          break;
      }
    }
    t.volume[c] = count * operating / kFullHour;
    t.operating[c] = operating;
  }
  return t;
}

Totals SumHours(int64_t first, int64_t last) {
  Totals sum;
  for (int64_t h = first; h < last; ++h) sum.Add(HourlyAmounts(h));
  return sum;
}

float VolumeScale(float code) {
  const long rounded = std::lrint(code);  // to nearest, a half to the even neighbour
  switch (rounded & 0xFF) {
    case 1:
      return 1.0f;
    case 2:
      return 0.1f;
    case 3:
      return 0.01f;
    case 4:
      return 0.001f;
    default:
      return 10.0f;
  }
}

std::array<float, 256> InitialParameters() {
  std::array<float, 256> p{};
  // Channel blocks: 31 values shown in the grid, the rest of each block kept
  // by the meter for itself.
  constexpr std::array<int, 4> kBase{0, 50, 90, 130};
  constexpr std::array<int, 4> kBlockEnd{50, 90, 130, 161};
  constexpr std::array<float, 4> kDiameter{100, 150, 200, 400};
  for (int c = 0; c < 4; ++c) {
    float* v = &p[kBase[c]];
    const float d = kDiameter[c];
    v[0] = 78.5f + c;          // signal level
    v[1] = 152.345f + 10 * c;  // time downstream, us
    v[2] = v[1] + 0.0671f;     // time upstream, us
    v[3] = 0.06712f;           // difference, us
    v[4] = 0;                  // flow simulator
    v[5] = d * d * 0.025f;     // maximum, m3/h
    v[6] = d * d * 0.00005f;   // minimum, m3/h
    v[7] = d;                  // diameter, mm
    v[8] = d * 1.4142f;        // sensor base, mm
    v[9] = d;                  // axial base, mm
    v[10] = 0.0125f;           // beam offset
    v[11] = 12.5f;             // zero offset, ns
    v[12] = 10 + 5 * c;        // cable, m
    v[13] = 1.0f;              // Kk
    v[14] = 0.1f;              // roughness
    for (int point = 0; point < 5; ++point) {
      v[15 + 2 * point] = v[5] * (point + 1) / 5;        // flow of the point
      v[16 + 2 * point] = 1.0f + 0.0012f * (point - 2);  // its coefficient
    }
    v[25] = 1.0f;      // calibration coefficient
    v[26] = 0.94125f;  // hydrodynamic coefficient
    v[27] = 1482.35f;  // speed of sound, m/s
    v[28] = 20.5f;     // temperature, degrees C
    v[29] = 1;         // automatic hydrodynamic coefficient
    v[30] = 0.0125f;
    for (int i = kBase[c] + 31; i < kBlockEnd[c]; ++i) p[i] = 1000.0f + 0.5f * i;
  }
  for (int i = 161; i < 185; ++i) p[i] = 0.25f * i;
  for (int c = 0; c < 4; ++c) {
    p[185 + c] = 0.5f;    // flow simulator time
    p[194 + c] = 10.0f;   // litres per pulse
    p[198 + c] = 10.0f;   // averaging time, s
    p[202 + c] = 1.0f;    // sensor type
    p[206 + c] = 300.0f;  // ultrasound window, us
    p[210 + c] = 2.5f;    // transducer delay, us
  }
  p[189] = 0.0f;   // output check
  p[190] = 3.5f;   // not shown in the grid
  p[191] = 4;      // channels
  p[192] = 1;      // converter type
  p[193] = 1111;   // QVHC channels
  p[214] = 4.0f;   // current 1, mA
  p[215] = 20.0f;  // current 2, mA
  p[216] = 1;      // reporting day
  p[217] = 0;      // reverse flow accounting
  p[218] = 1;      // RS232 address
  p[219] = 96;     // RS232 speed
  p[220] = 1;      // RS485 address
  p[221] = 96;     // RS485 speed
  p[222] = 8;      // Modbus bytes
  p[223] = 2024;   // year of manufacture
  p[224] = 10457;  // serial number
  for (int i = 225; i < 256; ++i) p[i] = 0.125f * (i - 200);
  return p;
}

}  // namespace flovir::sim
