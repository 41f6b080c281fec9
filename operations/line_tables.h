#pragma once
// The line formats the settings lists offer, indexed by list item.

#include <array>
#include <cstdint>
#include <string_view>

#include "link/port.h"

namespace flovir {

inline constexpr std::array<uint32_t, 8> BaudTable = {1200,  2400,  4800,  9600,
                                                      19200, 38400, 57600, 115200};
inline constexpr size_t kDefaultBaudIndex = 3;  // 9600

inline constexpr std::array<Parity, 3> ParityTable = {Parity::None, Parity::Odd, Parity::Even};
inline constexpr std::array<std::string_view, 3> ParityNames = {"нет", "нечет", "чёт"};

inline constexpr std::array<StopBits, 2> StopBitsTable = {StopBits::One, StopBits::Two};
inline constexpr std::array<std::string_view, 2> StopBitsNames = {"1 стоп-бит", "2 стоп-бита"};

}  // namespace flovir
