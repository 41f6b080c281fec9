#pragma once
// The fixed texts of the archive tables, written out character for
// character.

#include <string>
#include <vector>

namespace flovir::testing {

inline const std::string kDailyDash(127, '-');
inline const std::string kHourlyDash(133, '-');
inline const std::string kIntegratorDash(114, '-');

inline const std::vector<std::string> kDailyHeader = {
    kDailyDash,
    "   Дата   |                  Объём,м3                 |         Время работы,часов        | "
    "Время  |          События",
    "          |-------------------------------------------|-----------------------------------|"
    "отсут-я |---------------------------",
    "          |    V1    |    V2    |    V3    |    V4    |   B1   |   B2   |   B3   |   B4   | "
    "сети   |канал1|канал2|канал3|канал4",
    kDailyDash,
};

inline const std::vector<std::string> kHourlyHeader = {
    kHourlyDash,
    "   Дата   |Время|                 Объём,м3                  |        Время работы,часов      "
    "   | Время  |          События",
    "          |     |-------------------------------------------|-------------------------------"
    "----|отсут-я |---------------------------",
    "          |     |    V1    |    V2    |    V3    |    V4    |   B1   |   B2   |   B3   |   B4 "
    "  | сети   |канал1|канал2|канал3|канал4",
    kHourlyDash,
};

inline const std::vector<std::string> kIntegratorHeader = {
    "",
    "Интеграторы:",
    kIntegratorDash,
    "   Дата   |                         Объём,м3                          |            Время "
    "работы,часов             ",
    "          |-----------------------------------------------------------|-------------------"
    "------------------------",
    "          |      V1      |      V2      |      V3      |      V4      |    B1    |    B2    "
    "|    B3    |    B4    ",
    kIntegratorDash,
};

inline const std::string kZeroIntegrator =
    "30.12.1899          0,000          0,000          0,000          0,000      0,000      0,000"
    "      0,000      0,000";

}  // namespace flovir::testing
