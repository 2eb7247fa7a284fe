#pragma once
// The serial line settings text of the port control: "baud,parity,data,stop", for example
// "115200,n,8,1".
//   baud    a positive whole number (bits per second)
//   parity  n (none), e (even), o (odd), m (mark), s (space); either case
//   data    5, 6, 7 or 8
//   stop    1, 1.5 or 2
// Blanks around the parts are allowed; text() gives the canonical form back.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zento {

inline constexpr std::string_view kDefaultLineSettings = "115200,n,8,1";
inline constexpr std::int16_t kDefaultCommPort = 1;

enum class StopBits { One, OneAndHalf, Two };

struct LineSettings {
    std::int32_t baud = 115200;
    char parity = 'n';
    int data_bits = 8;
    StopBits stop = StopBits::One;

    std::string text() const;
    bool operator==(const LineSettings&) const = default;
};

struct LineSettingsParse {
    std::optional<LineSettings> settings;
    std::string problem; // why the text is not usable, when settings is empty
};

LineSettingsParse parse_line_settings(std::string_view text);

// A port number as text: a whole number from 1 to 255 ("3", " 03 ", "3.0"); nullopt otherwise.
std::optional<std::int16_t> parse_port_number(std::string_view text);

} // namespace zento
