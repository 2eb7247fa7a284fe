#pragma once
// Where "Stream values" sends the frames (shell/value_stream.h), kept in the settings file:
//
//   [Stream]
//   Send=1                    1: stream from start-up; 0 or missing: not
//   Address=127.0.0.1:9870    HOST:PORT (PlotJuggler's UDP server listens there by default)
//
// HOST is a name, an IPv4 address or an IPv6 address in brackets ([::1]); PORT 1 to 65535.
// `zento --udp HOST:PORT` takes the same text.
#include "settings/settings_location.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace zento {

inline constexpr std::string_view kStreamSection = "Stream";
inline constexpr std::string_view kKeyStreamSend = "Send";
inline constexpr std::string_view kKeyStreamAddress = "Address";

struct StreamTarget {
    std::string host = "127.0.0.1"; // without the brackets of an IPv6 address
    std::uint16_t port = 9870;
    std::string text() const; // "127.0.0.1:9870", "[::1]:9870"
    bool operator==(const StreamTarget&) const = default;
};

// "HOST:PORT"; the error says what is wrong with it.
std::variant<StreamTarget, std::string> parse_stream_target(std::string_view text);

struct StreamSettings {
    bool send = false;
    StreamTarget target;
    std::string problem; // "" or one line for the log: an unusable Address (the default is used)
};
StreamSettings read_stream_settings(const SettingsFile& ini_file);
// Writes both keys; stops at the first failure and returns it.
IniWriteResult write_stream_settings(const SettingsFile& ini_file, bool send,
                                     const StreamTarget& target);

} // namespace zento
