#pragma once
// The program's command line.
//
//   zento [--port N] [--settings "BAUD,P,D,S"] [--connect] [--record] [--play FILE [--speed X]]
//         [--udp HOST:PORT]
//   zento --help | --version
//
// --port, --settings and --udp apply for this run only (Zento.ini is not written); --connect
// opens the port at start-up as the connect switch would. Qt's own options (-platform, -style, ...)
// are taken by Qt before these are read.
#include "settings/stream_settings.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

namespace zento {

struct CommandLine {
    bool help = false;
    bool version = false;
    bool connect = false;
    bool record = false; // start recording at start-up
    std::optional<std::int16_t> port;
    std::optional<std::string> settings; // canonical form
    std::string play;                    // a recording to play ("" = none)
    std::optional<double> speed;         // with --play: 1, 2, 5, 10, or 0 = as fast as possible
    std::optional<StreamTarget> udp;     // stream values there (settings/stream_settings.h)
};

// Parses argv[1..]. The error text names the option and what is wrong with it.
std::variant<CommandLine, std::string> parse_command_line(std::span<const char* const> args);

// Whether the arguments ask only for --help or --version (answered without a display).
bool asks_help_or_version(std::span<const char* const> args);

std::string command_line_help();

} // namespace zento
