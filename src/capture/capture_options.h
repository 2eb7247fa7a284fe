#pragma once
// The command line of zento-capture, the recorder without a window (tools/zento-capture):
//
//   zento-capture --port N|PATH [--settings 115200,n,8,1] [--seconds S] [--out FILE.pcap]
//                 [--csv] [--command gyro-bias|height-zero ...] [--health FILE.json]
//   zento-capture --help | --version
//
// --port N is "Com N" as the window opens it (the link ports/comN in the settings' folder, else
// the N-th serial device); any other value is a device path. --command may be given more than
// once: the commands are sent in that order.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace zento {

struct CaptureOptions {
    bool help = false;
    bool version = false;
    std::optional<std::int16_t> port;    // --port N
    std::string device;                  // --port PATH
    std::optional<std::string> settings; // canonical form; none: Zento.ini's
    std::optional<double> seconds;       // none: until a signal
    std::string out;                     // FILE.pcap; "": the window's recording folder
    bool csv = false;                    // the CSV rows on standard output too
    std::vector<std::uint8_t> commands;  // command frame types (link/envelope.h), in order
    std::string health;                  // FILE.json; "": no report
};

// Parses argv[1..]; the error names the option and what is wrong with it.
std::variant<CaptureOptions, std::string> parse_capture_options(std::span<const char* const> args);

std::string capture_help();

} // namespace zento
