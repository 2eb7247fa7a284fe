#pragma once
// Command line of zento-board.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

namespace zento::board {

struct Options {
    enum class Mode { live, out, replay };
    Mode mode = Mode::live;
    double rate = 20.0;   // ticks per second (one attitude and one sensor frame each)
    std::string link;     // --link PATH
    std::string out;      // --out FILE ("-" = standard output)
    double seconds = 0.0; // --seconds S (with --out)
    std::string replay;   // --replay FILE
    bool fast = false;    // --fast (with --replay)
    double faults = 0.0;  // --faults P
    // How the board misbehaves (see help_text()).
    std::array<double, 3> mag_offset{};   // --mag-offset X,Y,Z (counts)
    bool mag_disturbance = false;         // --mag-disturbance
    std::array<double, 3> accel_offset{}; // --accel-offset X,Y,Z (counts)
    bool no_bias_removal = false;         // --no-bias-removal
    double burst_ms = 0.0;                // --burst MS (0: every tick leaves at once)
    double drop = 0.0;                    // --drop P (per byte)
    // A still board and the sensors' noise (see board_model.h, SensorNoise).
    bool still = false;        // --still
    double gyro_noise = -1.0;  // --gyro-noise D (deg/s/sqrt(Hz); < 0: the default)
    double gyro_drift = 0.0;   // --gyro-drift K (deg/s/sqrt(s))
    double accel_noise = -1.0; // --accel-noise D (g/sqrt(Hz))
    double accel_drift = 0.0;  // --accel-drift K (g/sqrt(s))
    std::optional<std::uint64_t> seed;
    bool help = false;

    // --out: the number of ticks, S x rate rounded to the nearest whole tick.
    std::uint64_t ticks() const;
};

inline constexpr double kMaxRate = 10000.0;
inline constexpr double kMaxBurstMs = 60000.0;

// Parses argv[1..]; the error text names the option and what is wrong with it.
std::variant<Options, std::string> parse_options(std::span<const char* const> args);

std::string help_text();

} // namespace zento::board
