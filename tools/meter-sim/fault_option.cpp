#include "tools/meter-sim/fault_option.h"

#include <array>
#include <charconv>
#include <utility>

namespace flovir::sim {
namespace {

struct KindName {
  std::string_view name;
  FaultKind kind;
  bool needs_value;
};

constexpr std::array<KindName, 13> kKinds{{
    {"leading-zero", FaultKind::kLeadingZero, false},
    {"trailing-zeros", FaultKind::kTrailingZeros, false},
    {"bad-crc", FaultKind::kBadCrc, false},
    {"other-address", FaultKind::kOtherAddress, false},
    {"exception", FaultKind::kException, true},
    {"no-answer", FaultKind::kNoAnswer, false},
    {"split", FaultKind::kSplitReply, false},
    {"delay", FaultKind::kDelay, true},
    {"late", FaultKind::kDelay, true},  // a delay past the master's answer timeout
    {"stray", FaultKind::kStray, false},
    {"twice", FaultKind::kTwice, false},
    {"store-other", FaultKind::kStoreOther, true},
    {"cut", FaultKind::kCut, false},
}};

std::string KindNames() {
  std::string names;
  for (const KindName& k : kKinds) names += (names.empty() ? "" : ", ") + std::string(k.name);
  return names;
}

std::optional<unsigned> Number(std::string_view text, unsigned min, unsigned max) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < min ||
      value > max) {
    return std::nullopt;
  }
  return value;
}

// Cuts the text after `mark` off `text` and returns it.
std::optional<std::string_view> TakeSuffix(std::string_view& text, char mark) {
  const size_t at = text.find(mark);
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view suffix = text.substr(at + 1);
  text = text.substr(0, at);
  return suffix;
}

}  // namespace

std::optional<FaultPlan> ParseFaultOption(std::string_view text, std::string& error) {
  FaultPlan plan;
  if (const auto after = TakeSuffix(text, '+')) {
    const auto n = Number(*after, 0, 1000000);
    if (!n) return error = "the count after + must be a number", std::nullopt;
    plan.after = *n;
  }
  if (const auto limit = TakeSuffix(text, '*')) {
    const auto n = Number(*limit, 1, 1000000);
    if (!n) return error = "the limit after * must be a number from 1", std::nullopt;
    plan.limit = *n;
  }
  if (const auto every = TakeSuffix(text, '/')) {
    const auto n = Number(*every, 1, 1000000);
    if (!n) return error = "the period after / must be a number from 1", std::nullopt;
    plan.every = *n;
  }
  const std::optional<std::string_view> value = TakeSuffix(text, '=');
  const KindName* kind = nullptr;
  for (const KindName& k : kKinds) {
    if (k.name == text) kind = &k;
  }
  if (kind == nullptr) {
    error = "unknown fault \"" + std::string(text) + "\"; one of " + KindNames();
    return std::nullopt;
  }
  plan.kind = kind->kind;
  if (kind->needs_value && !value) return error = std::string(text) + " needs =VALUE", std::nullopt;
  if (!value) return plan;
  switch (plan.kind) {
    case FaultKind::kTrailingZeros:
    case FaultKind::kException: {
      const unsigned max = plan.kind == FaultKind::kException ? 255 : 200;
      const auto n = Number(*value, 1, max);
      if (!n)
        return error = "the value must be a number from 1 to " + std::to_string(max), std::nullopt;
      plan.count = *n;
      return plan;
    }
    case FaultKind::kStoreOther: {
      const auto n = Number(*value, 0, 65535);
      if (!n) return error = "the value must be a register from 0 to 65535", std::nullopt;
      plan.count = *n;
      return plan;
    }
    case FaultKind::kSplitReply:
    case FaultKind::kStray:
    case FaultKind::kTwice:
    case FaultKind::kDelay: {
      const auto n = Number(*value, 0, 60000);
      if (!n) return error = "the value must be milliseconds from 0 to 60000", std::nullopt;
      plan.duration = std::chrono::milliseconds(*n);
      return plan;
    }
    default:
      error = std::string(text) + " takes no value";
      return std::nullopt;
  }
}

}  // namespace flovir::sim
