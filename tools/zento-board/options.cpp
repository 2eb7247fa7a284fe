#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zento::board {
namespace {

std::optional<double> to_double(const std::string& s) {
    if (s.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(s.c_str(), &end);
    if (errno != 0 || end != s.c_str() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<std::uint64_t> to_u64(const std::string& s) {
    if (s.empty() || s[0] < '0' || s[0] > '9') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(s.c_str(), &end, 10);
    if (errno != 0 || end != s.c_str() + s.size()) return std::nullopt;
    return std::uint64_t(v);
}

// "X,Y,Z": three numbers of sensor counts, each within a sign-magnitude word.
std::optional<std::array<double, 3>> to_triple(const std::string& s) {
    std::array<double, 3> v{};
    std::size_t from = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t comma = i < 2 ? s.find(',', from) : s.size();
        if (comma == std::string::npos) return std::nullopt;
        const auto d = to_double(s.substr(from, comma - from));
        if (!d || std::abs(*d) > 32767.0) return std::nullopt;
        v[std::size_t(i)] = *d;
        from = comma + 1;
    }
    return v;
}

} // namespace

std::uint64_t Options::ticks() const {
    return std::uint64_t(std::llround(seconds * rate));
}

std::variant<Options, std::string> parse_options(std::span<const char* const> args) {
    Options o;
    bool have_seconds = false, have_out = false, have_rate = false, have_faults = false;
    bool misbehaves = false; // any of the sensor and line fault options
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inline_value;
        if (arg.rfind("--", 0) == 0) {
            const auto eq = arg.find('=');
            if (eq != std::string::npos) {
                inline_value = arg.substr(eq + 1);
                arg.resize(eq);
            }
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inline_value) return inline_value;
            if (i + 1 < args.size()) return std::string(args[++i]);
            return std::nullopt;
        };
        auto flag = [&]() -> std::optional<std::string> {
            if (inline_value) return "option " + arg + " takes no value";
            return std::nullopt;
        };

        if (arg == "--help" || arg == "-h") {
            if (auto e = flag()) return *e;
            o.help = true;
        } else if (arg == "--fast") {
            if (auto e = flag()) return *e;
            o.fast = true;
        } else if (arg == "--mag-disturbance" || arg == "--no-bias-removal" || arg == "--still") {
            if (auto e = flag()) return *e;
            (arg == "--mag-disturbance" ? o.mag_disturbance
             : arg == "--still"         ? o.still
                                        : o.no_bias_removal) = true;
            misbehaves = true;
        } else if (arg == "--gyro-noise" || arg == "--gyro-drift" || arg == "--accel-noise" ||
                   arg == "--accel-drift") {
            const auto v = value();
            if (!v) return "option " + arg + " needs a value";
            const auto d = to_double(*v);
            const bool gyro = arg[2] == 'g', noise = arg.ends_with("noise");
            // At most a standard deviation of a few thousand counts a sample at 10000 ticks/s.
            if (!d || *d < 0.0 || *d > (gyro ? 1.0 : 0.01))
                return arg + " " + *v + ": give " +
                       (noise ? "a noise density in " : "a random walk of the bias in ") +
                       (gyro ? "deg/s" : "g") + (noise ? "/sqrt(Hz)" : "/sqrt(s)") +
                       ", from 0 to " + (gyro ? "1" : "0.01");
            (gyro ? (noise ? o.gyro_noise : o.gyro_drift)
                  : (noise ? o.accel_noise : o.accel_drift)) = *d;
            misbehaves = true;
        } else if (arg == "--mag-offset" || arg == "--accel-offset") {
            const auto v = value();
            if (!v) return "option " + arg + " needs a value";
            const auto t = to_triple(*v);
            if (!t)
                return arg + " " + *v +
                       ": give three sensor counts X,Y,Z separated by commas, each from -32767 "
                       "to 32767 (for example 300,-200,150)";
            (arg == "--mag-offset" ? o.mag_offset : o.accel_offset) = *t;
            misbehaves = true;
        } else if (arg == "--burst" || arg == "--drop") {
            const auto v = value();
            if (!v) return "option " + arg + " needs a value";
            const auto d = to_double(*v);
            if (arg == "--burst") {
                if (!d || *d <= 0.0 || *d > kMaxBurstMs)
                    return "--burst " + *v +
                           ": give the milliseconds between bursts, more than 0 and at most " +
                           std::to_string(int(kMaxBurstMs));
                o.burst_ms = *d;
            } else {
                if (!d || *d < 0.0 || *d > 1.0)
                    return "--drop " + *v + ": give a probability from 0 to 1";
                o.drop = *d;
            }
            misbehaves = true;
        } else if (arg == "--rate" || arg == "--seconds" || arg == "--faults" || arg == "--seed" ||
                   arg == "--link" || arg == "--out" || arg == "--replay") {
            const auto v = value();
            if (!v) return "option " + arg + " needs a value";
            if (arg == "--rate") {
                const auto d = to_double(*v);
                if (!d || *d <= 0.0 || *d > kMaxRate)
                    return "--rate " + *v + ": give ticks per second, more than 0 and at most " +
                           std::to_string(int(kMaxRate));
                o.rate = *d;
                have_rate = true;
            } else if (arg == "--seconds") {
                const auto d = to_double(*v);
                if (!d || *d <= 0.0)
                    return "--seconds " + *v + ": give a number of seconds above 0";
                o.seconds = *d;
                have_seconds = true;
            } else if (arg == "--faults") {
                const auto d = to_double(*v);
                if (!d || *d < 0.0 || *d > 1.0)
                    return "--faults " + *v + ": give a probability from 0 to 1";
                o.faults = *d;
                have_faults = true;
            } else if (arg == "--seed") {
                const auto n = to_u64(*v);
                if (!n)
                    return "--seed " + *v + ": give a whole number from 0 to 18446744073709551615";
                o.seed = *n;
            } else if (v->empty()) {
                return "option " + arg + " needs a non-empty value";
            } else if (arg == "--link") {
                o.link = *v;
            } else if (arg == "--out") {
                o.out = *v;
                have_out = true;
            } else {
                o.replay = *v;
            }
        } else {
            return "unknown argument: " + std::string(args[i]);
        }
    }
    if (o.help) return o;

    if (have_out && !o.replay.empty()) return "--out and --replay cannot be used together";
    if (have_out) {
        if (!have_seconds) return "--out needs --seconds S (how much board time to write)";
        if (!o.link.empty()) return "--link makes no sense with --out (there is no port)";
        const double ticks = o.seconds * o.rate;
        if (ticks < 0.5) return "--seconds with --rate gives no whole tick to write";
        if (ticks > 1e12) return "--seconds with --rate asks for more than 10^12 ticks";
        if (o.burst_ms > 0)
            return "--burst makes no sense with --out (a file has no delivery times)";
        o.mode = Options::Mode::out;
    } else if (have_seconds) {
        return "--seconds is only used with --out";
    }
    if (!o.replay.empty()) {
        if (have_faults)
            return "--faults cannot be used with --replay (the capture is sent as it is)";
        if (o.seed) return "--seed cannot be used with --replay (the capture is sent as it is)";
        if (misbehaves)
            return "the fault options cannot be used with --replay (the capture is sent as it "
                   "is)";
        o.mode = Options::Mode::replay;
    } else if (o.fast) {
        return "--fast is only used with --replay";
    }
    if (o.burst_ms > 0 && o.burst_ms * o.rate < 1000.0 * 1.5) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "--burst %g is shorter than two ticks (a tick every %.4g ms at --rate %g): "
                      "nothing would change",
                      o.burst_ms, 1000.0 / o.rate, o.rate);
        return text;
    }
    (void)have_rate;
    return o;
}

std::string help_text() {
    return R"(Usage: zento-board [OPTIONS]

A simulated AHRS board on a virtual serial port (a pseudo-terminal). Prints the port's device
path on the first line of standard output, then streams as the board does until SIGINT,
SIGTERM or SIGHUP: per tick an attitude frame (type 0xA1, 14-byte payload, length byte 18)
and a raw sensor frame (type 0xA2, 18-byte payload, length byte 22), paced in real time from
a monotonic clock. Status and the commands received go to standard error, one line each.

Options:
  --rate HZ       ticks per second, each one attitude and one sensor frame (default 20, the
                  board's maximum upload rate; up to 10000 for load tests)
  --link PATH     also make a symbolic link to the device at PATH, removed on exit; an
                  existing symbolic link there is replaced, any other file is refused
  --out FILE      no port: write the byte stream of --seconds of board time to FILE as fast as
                  possible ("-" = standard output), then exit
  --seconds S     board time to write with --out (S x rate ticks, rounded)
  --replay FILE   send a capture to the port: a recording (pcap or pcapng) at its recorded
                  times (the bytes from the board), or a raw capture one attitude frame (with
                  the bytes after it) per 1/rate seconds; read as it goes, in bounded memory;
                  afterwards the port stays open, silent, until SIGINT or SIGTERM
  --fast          with --replay: send the capture as fast as the port takes it
  --faults P      with probability P per frame, corrupt, drop or insert one byte (exercises a
                  receiver's recovery)
  --seed N        repeatable run: the same N gives the same motion, noise and faults (and, with
                  --out, the same bytes); without it a seed is picked and shown on stderr
  -h, --help      this text

Faults of the board and the line (each one produces a condition that Zento's "Link and
sensor health" window names; they combine, all but --burst also apply to --out, and none
works with --replay):
  --mag-offset X,Y,Z    add X, Y, Z counts to the magnetometer: a hard-iron offset, as from
                        a magnetised part next to an uncalibrated sensor
  --mag-disturbance     a magnetic field from nearby that changes with time (about 0.1 to
                        0.2 gauss, over a few seconds), also while the board lies still
  --accel-offset X,Y,Z  add X, Y, Z counts to the accelerometer (16384 counts are 1 g): an
                        accelerometer that is off
  --no-bias-removal     the gyroscope bias command is received (and logged) but ignored
  --burst MS            hold the ticks and send them together every MS milliseconds
                        (rounded to whole ticks), instead of each at its own time
  --drop P              lose each byte with probability P (a line that drops bytes)

A still board, for characterising noise (Zento's statistics, zento-decode --stats; like the
faults, they apply to --out and not to --replay):
  --still               the board lies still for the whole run, at its starting attitude
                        and height: the gyroscope reads its bias and noise only
  --gyro-noise D        white noise of the gyroscope of density D deg/s/sqrt(Hz), the level of
                        its Allan deviation at tau = 1 s (a sample's standard deviation is
                        D x sqrt(rate)); default 2 counts a sample (0.12 deg/s)
  --gyro-drift K        the gyroscope's bias wanders as a random walk of K deg/s/sqrt(s) (its
                        Allan deviation rises as K sqrt(tau / 3)); default 0
  --accel-noise D       the same for the accelerometer, in g/sqrt(Hz); default 6 counts a
                        sample (0.37 mg)
  --accel-drift K       the accelerometer's bias as a random walk of K g/sqrt(s); default 0
  The readings are rounded to whole counts, which adds 1/12 count^2 to each sample's variance.

The port: raw mode (no byte translated), never blocking the board. When nobody reads, the
board keeps its own time; bytes left unread for more than about half a second (at most 2 KiB)
are discarded, so a program that opens the port gets fresh frames, and a tick the port cannot
take is dropped whole, never half-written. Reconnecting works any number of times.

Commands read from the port (anything else is ignored):
  A5 5A 04 E0 E4 AA   collect the gyroscope bias: from then on the gyroscope readings lose
                      their bias
  A5 5A 04 E2 E6 AA   zero the altitude: from then on the altitude is relative to the height
                      at that moment

Motion: the board turns through every heading and tilts, and comes to rest for 3 s in every
20 s (from 15 s to 18 s of each period, easing in and out over a second), as a board put down
on a desk does; at rest only the sensors' noise and the gyroscope's bias remain.

Axes and signs (aerospace, Euler order Z-Y-X: yaw, then pitch, then roll):
  board axes      X forward, Y right, Z down; all three sensors measure along them
  yaw             0 = magnetic north, positive clockwise seen from above; -180..180, turning
                  steadily through every heading
  pitch           positive nose up (within +-40)
  roll            positive right wing down (within +-60)
  accelerometer   gravity in board axes (minus the board's own small vertical acceleration),
                  16384 counts per g: level and still AZ = +16384; nose up gives AX < 0,
                  right wing down AY > 0; roll = atan2(AY, AZ),
                  pitch = atan2(-AX, sqrt(AY^2 + AZ^2))
  gyroscope       body rates about X, Y, Z (right-hand rule), 16.4 counts per deg/s, plus a
                  bias of 1.5..3.7 deg/s per axis until the bias command, plus noise:
                  p = roll' - yaw' sin(pitch)
                  q = pitch' cos(roll) + yaw' sin(roll) cos(pitch)
                  r = yaw' cos(roll) cos(pitch) - pitch' sin(roll)
  magnetometer    the earth's field in board axes, 1090 counts per gauss; 0.5 gauss pointing
                  to magnetic north and 60 degrees down (level, heading north: HX 273, HY 0,
                  HZ 472); tilt-compensated heading = atan2(-Yh, Xh) with
                  Xh = HX cos(pitch) + HY sin(roll) sin(pitch) + HZ cos(roll) sin(pitch),
                  Yh = HY cos(roll) - HZ sin(roll)

Attitude frame values: angles in 0.1 degree; altitude in 0.1 m above sea level (60..180 m,
drifting by some metres) until zeroed; temperature in 0.1 degC near room temperature;
pressure as a word counting 10 Pa, near sea level, falling about 12 Pa per metre of height;
the board's attitude-solution rate (about 200 per second). All fields are sign-magnitude
words, high byte first.

Exit status: 0 after SIGINT, SIGTERM or SIGHUP (the link removed) and when --out is done;
1 on a failure while running, and for an --out interrupted by a signal (the file then holds
the whole ticks written so far); 2 for bad options or a port or file that cannot be created.
)";
}

} // namespace zento::board
