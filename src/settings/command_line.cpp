#include "settings/command_line.h"

#include "platform/serial/line_settings.h"

#include <string_view>
#include <utility>

namespace zento {

namespace {

std::optional<double> parse_speed(std::string_view text) {
    if (text == "max" || text == "0") return 0.0;
    if (!text.empty() && text.back() == 'x') text.remove_suffix(1);
    for (const auto& [name, speed] : {std::pair{"1", 1.0}, {"2", 2.0}, {"5", 5.0}, {"10", 10.0}})
        if (text == name) return speed;
    return std::nullopt;
}

} // namespace

bool asks_help_or_version(std::span<const char* const> args) {
    for (const char* a : args) {
        const std::string_view s(a);
        if (s == "--help" || s == "-h" || s == "--version" || s == "-v") return true;
    }
    return false;
}

std::variant<CommandLine, std::string> parse_command_line(std::span<const char* const> args) {
    CommandLine c;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a(args[i]);
        const auto value = [&]() -> std::optional<std::string_view> {
            if (i + 1 >= args.size()) return std::nullopt;
            return std::string_view(args[++i]);
        };
        if (a == "--help" || a == "-h") {
            c.help = true;
        } else if (a == "--version" || a == "-v") {
            c.version = true;
        } else if (a == "--connect") {
            c.connect = true;
        } else if (a == "--record") {
            c.record = true;
        } else if (a == "--port") {
            const auto v = value();
            if (!v) return std::string("--port needs a port number");
            c.port = parse_port_number(*v);
            if (!c.port)
                return "--port \"" + std::string(*v) + "\" is not a port number from 1 to 255";
        } else if (a == "--settings") {
            const auto v = value();
            if (!v) return std::string("--settings needs a text such as \"115200,n,8,1\"");
            const LineSettingsParse p = parse_line_settings(*v);
            if (!p.settings) return "--settings \"" + std::string(*v) + "\": " + p.problem;
            c.settings = p.settings->text();
        } else if (a == "--play") {
            const auto v = value();
            if (!v || v->empty()) return std::string("--play needs a recording file");
            c.play = std::string(*v);
        } else if (a == "--speed") {
            const auto v = value();
            if (!v) return std::string("--speed needs 1, 2, 5, 10 or max");
            c.speed = parse_speed(*v);
            if (!c.speed)
                return "--speed \"" + std::string(*v) + "\" is not one of 1, 2, 5, 10, max";
        } else if (a == "--udp") {
            const auto v = value();
            if (!v) return std::string("--udp needs HOST:PORT, for example 127.0.0.1:9870");
            auto t = parse_stream_target(*v);
            if (const auto* e = std::get_if<std::string>(&t)) return "--udp " + *e;
            c.udp = std::get<StreamTarget>(t);
        } else {
            return "unknown option \"" + std::string(a) + "\" (zento --help lists them)";
        }
    }
    if (c.speed && c.play.empty()) return std::string("--speed goes with --play");
    if (!c.play.empty() && (c.connect || c.record))
        return std::string(c.connect ? "--connect" : "--record") +
               " and --play exclude each other: a recording is not a board";
    return c;
}

std::string command_line_help() {
    return R"(Usage: zento [OPTION]...
The host program of the Tavro AHRS board: shows what the board sends over its serial port
(attitude, altitude, temperature, pressure, raw sensors), records and plays it back.

  --port N            use Com N (1 to 255) for this run; Zento.ini is not changed
  --settings TEXT     line settings for this run, e.g. "115200,n,8,1"
  --connect           connect at start-up, as the "Connect AHRS" switch does
  --record            start recording at start-up (Record > Start recording), e.g. with
                      --connect for unattended logging
  --play FILE         play a recording (.pcap from Record > Start recording, a .pcapng
                      that Wireshark's tools saved from one, or a byte capture of
                      zento-board --out) instead of connecting
  --speed X           with --play: 1, 2, 5, 10 times real time, or max
  --udp HOST:PORT     send each decoded frame as one UDP datagram of JSON to HOST:PORT for
                      this run (Setting > Stream values...; PlotJuggler's UDP server listens
                      on 127.0.0.1:9870), e.g. --udp 127.0.0.1:9870
  -h, --help          show this help and leave
  -v, --version       show the version and leave

Settings: Zento.ini beside the program when that folder is writable and holds one (a portable
copy), else in the user's configuration folder (~/.config/zento/Zento.ini on Linux); until
that file exists, a Zento.ini beside the program in a read-only folder is read, and the first
save copies it there. "Com N" leads to the link ports/comN in the settings' folder when there
is one, else to the N-th serial device. The start-up log says which settings file was read.

Exit status: 0 when the program was left normally, 1 when it ended on a failure, 2 when the
command line was not usable.
)";
}

} // namespace zento
