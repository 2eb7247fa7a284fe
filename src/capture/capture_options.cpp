#include "capture/capture_options.h"

#include "link/envelope.h"
#include "platform/serial/line_settings.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string_view>

namespace zento {

namespace {

bool ends_with(std::string_view s, std::string_view end) {
    return s.size() > end.size() && s.substr(s.size() - end.size()) == end;
}

} // namespace

std::variant<CaptureOptions, std::string> parse_capture_options(std::span<const char* const> args) {
    CaptureOptions c;
    bool port_given = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a(args[i]);
        const auto value = [&]() -> std::optional<std::string_view> {
            if (i + 1 >= args.size()) return std::nullopt;
            return std::string_view(args[++i]);
        };
        const auto needs = [&](std::string_view what) {
            return std::string(a) + " needs " + std::string(what);
        };
        if (a == "--help" || a == "-h") {
            c.help = true;
        } else if (a == "--version" || a == "-v") {
            c.version = true;
        } else if (a == "--csv") {
            c.csv = true;
        } else if (a == "--port") {
            const auto v = value();
            if (!v || v->empty()) return needs("a port number or a device path");
            port_given = true;
            if (std::all_of(v->begin(), v->end(),
                            [](char ch) { return std::isdigit(static_cast<unsigned char>(ch)); })) {
                c.port = parse_port_number(*v);
                if (!c.port)
                    return "--port \"" + std::string(*v) + "\" is not a port number from 1 to 255";
            } else {
                c.device = std::string(*v);
            }
        } else if (a == "--settings") {
            const auto v = value();
            if (!v) return needs("a text such as \"115200,n,8,1\"");
            const LineSettingsParse p = parse_line_settings(*v);
            if (!p.settings) return "--settings \"" + std::string(*v) + "\": " + p.problem;
            c.settings = p.settings->text();
        } else if (a == "--seconds") {
            const auto v = value();
            double s = 0;
            const auto r = v ? std::from_chars(v->data(), v->data() + v->size(), s)
                             : std::from_chars_result{nullptr, std::errc::invalid_argument};
            if (!v || r.ec != std::errc() || r.ptr != v->data() + v->size() || !std::isfinite(s) ||
                s <= 0 || s > 1e8)
                return "--seconds needs a number of seconds, more than 0" +
                       (v ? " (not \"" + std::string(*v) + "\")" : std::string());
            c.seconds = s;
        } else if (a == "--out") {
            const auto v = value();
            if (!v || !ends_with(*v, ".pcap"))
                return "--out needs a file name ending in .pcap (the CSV is written beside it, "
                       "ending in .csv)";
            c.out = std::string(*v);
        } else if (a == "--command") {
            const auto v = value();
            if (v == "gyro-bias")
                c.commands.push_back(kTypeGyroBias);
            else if (v == "height-zero")
                c.commands.push_back(kTypeHeightZero);
            else
                return needs("gyro-bias or height-zero") +
                       (v ? " (not \"" + std::string(*v) + "\")" : std::string());
        } else if (a == "--health") {
            const auto v = value();
            if (!v || v->empty()) return needs("a file for the health report (JSON)");
            c.health = std::string(*v);
        } else {
            return "unknown option \"" + std::string(a) + "\" (zento-capture --help lists them)";
        }
    }
    if (!port_given && !c.help && !c.version)
        return std::string("--port is needed: a port number (Com N, as in the window) or a "
                           "device path");
    return c;
}

std::string capture_help() {
    return R"(Usage: zento-capture --port N|PATH [OPTION]...
Records what the Tavro AHRS board sends, without a window (no display needed): the same
recording as Zento's Record > Start recording, made by the same code, until --seconds have
passed or SIGINT (Ctrl+C) or SIGTERM; one status line a second on standard error.

  --port N|PATH       Com N as the window opens it (the link ports/comN in the settings'
                      folder, else the N-th serial device), or a device path (/dev/ttyUSB0)
  --settings TEXT     line settings, e.g. "115200,n,8,1" (default: those of Zento.ini)
  --seconds S         stop after S seconds (default: at SIGINT or SIGTERM)
  --out FILE.pcap     record into FILE.pcap and FILE.csv (default: zento-YYYYMMDD-HHMMSS.pcap
                      and .csv in the window's recording folder); an existing file is never
                      overwritten
  --csv               also write the CSV's rows to standard output as they are recorded
  --command C         send a command to the board: gyro-bias (collect the gyroscope bias;
                      sent once the board has lain still for 2 s, as the health figures judge
                      it, given up after 30 s) or height-zero; may be repeated, sent in order
  --health FILE.json  at the end, write the health report (every figure of "Link and sensor
                      health": name, value, unit, state) as JSON
  -h, --help          show this help and leave
  -v, --version       show the version and leave

Settings: Zento.ini as the window finds it (the recording folder, the health scales, the
port settings, the ports folder).

Exit status: 0 when stopped by --seconds, SIGINT or SIGTERM with both files complete and
the port's lock released; 1 when the port cannot be opened or fails, or a file cannot be
written (the reason on standard error); 2 when the command line is not usable.
)";
}

} // namespace zento
