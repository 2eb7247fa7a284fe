// zento-decode: decodes a capture or a recording of the board's serial stream into one line
// per event, through the program's own receiver and decoders.
//
//   zento-decode [--frames | --csv | --ticks] [--rate HZ] [FILE | -]
//   zento-decode (--stats | --allan) [--from S] [--to S] [--rate HZ] [FILE | -]
//
// Input: a plain capture (the bytes as the port gave them) or a recording, pcap or pcapng (the
// bytes of its direction-0 records, in order; the commands the program sent are skipped).
// Lines, in stream order (numbers are value texts):
//   attitude,YAW,PITCH,ROLL,ALTITUDE,TEMPERATURE,PRESSURE_PA,RATE
//   sensor,AX,AY,AZ,GX,GY,GZ,HX,HY,HZ
//   other,TT          a valid frame of another type (TT: type byte, lowercase hex)
//   short,TT,N        an 0xA1 or 0xA2 frame shorter than its layout (N: bytes in rx_frame)
//   log,MESSAGE       a message of the receiver
// With --frames: frame,HEX for every delivered frame (rx_frame in lowercase hex) and the log lines.
// With --csv: the recording's CSV (recording/recording_csv.h), times from the records (a plain
// capture: 20 attitude frames a second), exactly as the recorder writes it for the same bytes:
// a row per frame, per command the program sent and per gap (more than a second without bytes).
// With --ticks: one row per board tick (recording/tick_csv.h) through the program's receive path
// (frame times included), exactly as "Export chart data" writes it for the recording played, with
// the default health scales.
// With --stats or --allan: the statistics of the frames between --from and --to
// (statistics/interval_stats.h), the table or the Allan deviation curve as CSV.
//
// Exit status: 0 done, 1 the output could not be written, 2 bad options, unreadable input, or a
// damaged recording (decoded up to the damage, which is named on standard error).
#include "link/receiver.h"
#include "platform/files/regular_file.h"
#include "recording/file_io.h"
#include "recording/recording_csv.h"
#include "recording/recording_reader.h"
#include "recording/tick_csv.h"
#include "statistics/interval_stats.h"
#include "telemetry/decoders.h"
#include "telemetry/frame_dispatch.h"
#include "telemetry/value_text.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using namespace zento;

constexpr std::string_view kUsage =
    "usage: zento-decode [--frames | --csv | --ticks] [--rate HZ] [FILE | -]\n"
    "       zento-decode (--stats | --allan) [--from S] [--to S] [--rate HZ] [FILE | -]\n"
    "\n"
    "Decodes a capture of the board's serial stream or a recording, pcap or pcapng (FILE,\n"
    "or standard input when FILE is missing or \"-\") and prints one line per event, in\n"
    "stream order:\n"
    "  attitude,YAW,PITCH,ROLL,ALTITUDE,TEMPERATURE,PRESSURE_PA,RATE\n"
    "  sensor,AX,AY,AZ,GX,GY,GZ,HX,HY,HZ\n"
    "  other,TT         a valid frame of another type (TT: type byte in hex)\n"
    "  short,TT,N       an attitude or sensor frame shorter than its layout (N bytes)\n"
    "  log,MESSAGE      a message of the receiver (checksum, broken frame)\n"
    "A recording gives the bytes of its records from the board (direction 0); the commands\n"
    "the program sent (direction 1) are skipped. A pcapng file (as tshark, editcap and\n"
    "mergecap write one) is read as well as classic pcap.\n"
    "\n"
    "  --frames   print frame,HEX for every valid frame (length byte through checksum)\n"
    "             and the log lines, instead of the decoded values\n"
    "  --csv      print the recording's CSV: time_s (from the records; a plain capture is\n"
    "             paced as 20 attitude frames a second), type and the values, one row per\n"
    "             frame, exactly as Zento writes it when recording the same bytes; rows of\n"
    "             type command (a command the program sent) and gap (more than a second\n"
    "             without bytes) name the event in the last column, event\n"
    "  --ticks    print one row per board tick: time_s (from the recording's start), the\n"
    "             twelve chart channels as decoded, the sensors in g, deg/s and gauss (the\n"
    "             default scales), exactly as Zento's \"Export chart data\" writes it for\n"
    "             the recording played; a frame lost leaves its cells empty\n"
    "  --stats    print the statistics of the frames as CSV, one row per channel (accel_x\n"
    "             ... mag_z, yaw, pitch, roll): frames, gaps (where frames are missing),\n"
    "             rate_hz, mean, sd, min, max in physical units (16384 counts per g, 16.4 per\n"
    "             deg/s, 1090 per gauss) and in counts, the noise density sd x sqrt(1/rate)\n"
    "             (the Allan deviation's level at 1 s for white noise), the share of it that\n"
    "             whole counts alone give; for the gyroscope and accelerometer the random\n"
    "             walk (Allan deviation at 1 s: deg/sqrt(h), m/s/sqrt(h)) and the bias\n"
    "             instability (its minimum / 0.664: deg/h, mg) with the tau of the minimum\n"
    "  --allan    print the overlapping Allan deviation of the nine sensor axes as CSV: tau_s\n"
    "             (octaves from one frame interval to a tenth of the frames, and 1 s), then\n"
    "             one column per axis in g, deg/s and gauss; a term never spans a gap\n"
    "  --from S, --to S\n"
    "             with --stats or --allan: only the frames from S seconds after the start of\n"
    "             the recording, or up to S seconds (the times of --csv); default: all\n"
    "  --rate HZ  a plain capture is paced as HZ attitude frames a second (default 20: the\n"
    "             board's rate; a capture of zento-board --rate 250 needs --rate 250)\n"
    "  --help     show this text\n"
    "\n"
    "Exit status: 0 done, 1 the output could not be written, 2 bad options, unreadable input\n"
    "or a damaged recording (decoded up to the damage, named on standard error), and for\n"
    "--stats an interval in which neither kind of frame has figures (fewer than two frames,\n"
    "or all at one time), for --allan one in which the sensor frames have none (the reason\n"
    "on standard error). Frames may be missing where the receiver counted a frame lost, an\n"
    "overflow or skipped bytes, and where the stream fell behind its frame count (a\n"
    "silence): the statistics treat these as gaps.\n";

// Buffered standard output on the bare file descriptor.
class Output {
  public:
    static constexpr std::size_t kSize = 1 << 20;
    static constexpr std::size_t kLineMax = 16 + 9 * (kValueTextMax + 1) + 2 * 2005;

    Output() : buf_(new char[kSize]) {}
    ~Output() { flush(); }

    // Room for one whole line.
    char* reserve() {
        if (kSize - n_ < kLineMax) flush();
        return buf_.get() + n_;
    }
    void commit(char* end) { n_ = std::size_t(end - buf_.get()); }
    void write(std::string_view s) {
        while (!s.empty() && error_ == 0) {
            if (n_ == kSize) flush();
            const std::size_t k = std::min(s.size(), kSize - n_);
            std::memcpy(buf_.get() + n_, s.data(), k);
            n_ += k;
            s.remove_prefix(k);
        }
    }
    void flush() {
        std::size_t at = 0;
        while (at < n_ && error_ == 0) {
            const ssize_t w = ::write(STDOUT_FILENO, buf_.get() + at, n_ - at);
            if (w < 0) {
                if (errno != EINTR) error_ = errno;
                continue;
            }
            at += std::size_t(w);
        }
        n_ = 0;
    }
    int error() const { return error_; }

  private:
    std::unique_ptr<char[]> buf_;
    std::size_t n_ = 0;
    int error_ = 0;
};

char* put(char* p, std::string_view s) {
    std::memcpy(p, s.data(), s.size());
    return p + s.size();
}

char* put_hex(char* p, std::uint8_t b) {
    static constexpr char digits[] = "0123456789abcdef";
    p[0] = digits[b >> 4];
    p[1] = digits[b & 15];
    return p + 2;
}

char* put_value(char* p, float v) {
    *p++ = ',';
    return p + value_text(v, p);
}

char* put_count(char* p, std::size_t n) {
    char tmp[24];
    std::size_t k = 0;
    do {
        tmp[k++] = char('0' + n % 10);
        n /= 10;
    } while (n != 0);
    while (k != 0)
        *p++ = tmp[--k];
    return p;
}

class Printer final : public ReceiverEvents {
  public:
    Printer(Output& out, bool frames) : out_(out), frames_(frames) {}

    void Show_msg(std::string_view text) override {
        char* p = out_.reserve();
        p = put(p, "log,");
        p = put(p, text);
        *p++ = '\n';
        out_.commit(p);
    }
    void Rec_LedON() override {}

    void Rec_attitude(std::span<const std::uint8_t> f) override {
        if (frames_) return frame(f);
        const auto r = decode_attitude(f);
        if (!r) return short_frame(f);
        char* p = out_.reserve();
        p = put(p, "attitude");
        p = put_value(p, r->yaw);
        p = put_value(p, r->pitch);
        p = put_value(p, r->roll);
        p = put_value(p, r->altitude);
        p = put_value(p, r->temperature);
        p = put_value(p, r->pressure_pa());
        p = put_value(p, r->rate);
        *p++ = '\n';
        out_.commit(p);
    }

    void Rec_sensor(std::span<const std::uint8_t> f) override {
        if (frames_) return frame(f);
        const auto r = decode_sensor(f);
        if (!r) return short_frame(f);
        char* p = out_.reserve();
        p = put(p, "sensor");
        for (int i = 0; i < 9; ++i)
            p = put_value(p, r->reading(i));
        *p++ = '\n';
        out_.commit(p);
    }

    void Rec_other(std::span<const std::uint8_t> f) override {
        if (frames_) return frame(f);
        char* p = out_.reserve();
        p = put(p, "other,");
        p = put_hex(p, f[1]);
        *p++ = '\n';
        out_.commit(p);
    }

  private:
    void frame(std::span<const std::uint8_t> f) {
        char* p = out_.reserve();
        p = put(p, "frame,");
        for (std::uint8_t b : f)
            p = put_hex(p, b);
        *p++ = '\n';
        out_.commit(p);
    }
    void short_frame(std::span<const std::uint8_t> f) {
        char* p = out_.reserve();
        p = put(p, "short,");
        p = put_hex(p, f[1]);
        *p++ = ',';
        p = put_count(p, f.size());
        *p++ = '\n';
        out_.commit(p);
    }

    Output& out_;
    bool frames_;
};

// The receive path's ticks as rows, written as they close.
class TickRows final : public TelemetrySink {
  public:
    explicit TickRows(Output& out) : out_(out) {}
    void batch(const TelemetryBatch& b) override {
        for (const TelemetryFrame& f : b.frames)
            ticks_.add(f, [this](const TickRow& r) { write(r); });
    }
    void finish() {
        if (ticks_.pending()) write(*ticks_.pending());
    }
    std::int64_t origin = 0;

  private:
    void write(const TickRow& r) {
        text_.clear();
        append_tick_row(text_, r, origin, scales_);
        out_.write(text_);
    }
    Output& out_;
    TickAssembler ticks_;
    HealthScales scales_;
    std::string text_;
};

int usage_error(const std::string& why) {
    std::fprintf(stderr, "zento-decode: %s\n%.*s", why.c_str(), int(kUsage.size()), kUsage.data());
    return 2;
}

// A number of the command line: finite, the whole text.
std::optional<double> number(std::string_view text) {
    const std::string s(text);
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(s.c_str(), &end);
    if (s.empty() || errno != 0 || end != s.c_str() + s.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// The statistics after the whole input was read: prints them and returns the exit status.
int print_stats(const FrameLog& log, const StatsOptions& options, bool allan,
                const std::string& name, Output& out) {
    const IntervalStats s = interval_stats(log, options);
    const std::string& sensor_problem = s.sensor.problem;
    if (!s.problem.empty() || (allan && !sensor_problem.empty())) {
        std::fprintf(stderr, "zento-decode: %s: %s\n", name.c_str(),
                     (s.problem.empty() ? sensor_problem : s.problem).c_str());
        return 2;
    }
    if (!s.short_curve.empty())
        std::fprintf(stderr, "zento-decode: %s: %s\n", name.c_str(), s.short_curve.c_str());
    if (allan) {
        out.write(allan_csv(s));
        return 0;
    }
    for (const KindStats* k : {&s.sensor, &s.attitude})
        if (!k->problem.empty())
            std::fprintf(stderr, "zento-decode: %s: %s (their rows are left empty)\n", name.c_str(),
                         k->problem.c_str());
    out.write(stats_csv(s));
    return 0;
}

// Microseconds from `origin` to `t` (nanoseconds), rounded down.
std::int64_t since_us(std::int64_t t, std::int64_t origin) {
    const std::int64_t d = t - origin;
    return d >= 0 ? d / 1000 : -((999 - d) / 1000);
}

} // namespace

int main(int argc, char** argv) {
    bool frames = false, csv = false, ticks = false, stats = false, allan = false;
    StatsOptions interval;
    std::optional<double> rate;
    std::string from_text, to_text;
    const char* path = nullptr;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (!options_done && a == "--help") {
            std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
            return 0;
        }
        if (!options_done && a == "--frames") {
            frames = true;
        } else if (!options_done && a == "--csv") {
            csv = true;
        } else if (!options_done && a == "--ticks") {
            ticks = true;
        } else if (!options_done && (a == "--stats" || a == "--allan")) {
            (a == "--stats" ? stats : allan) = true;
        } else if (!options_done && (a == "--from" || a == "--to" || a == "--rate")) {
            if (i + 1 == argc) return usage_error("option " + std::string(a) + " needs a value");
            const std::string_view v = argv[++i];
            const auto d = number(v);
            if (a == "--rate") {
                if (!d || *d <= 0 || *d > 10000)
                    return usage_error("--rate " + std::string(v) +
                                       ": give attitude frames a second, more than 0 and at "
                                       "most 10000");
                rate = d;
            } else {
                if (!d)
                    return usage_error(std::string(a) + " " + std::string(v) +
                                       ": give seconds from the start of the recording");
                (a == "--from" ? interval.from : interval.to) = *d;
                (a == "--from" ? from_text : to_text) = v;
            }
        } else if (!options_done && a == "--") {
            options_done = true;
        } else if (!options_done && a.size() > 1 && a[0] == '-') {
            return usage_error("unknown option '" + std::string(a) + "'");
        } else if (path) {
            return usage_error("more than one input: '" + std::string(path) + "' and '" +
                               std::string(a) + "'");
        } else {
            path = argv[i];
        }
    }
    // One output at a time: the first two given of these are named.
    std::vector<const char*> modes;
    for (const auto& [on, option] : {std::pair{frames, "--frames"}, std::pair{csv, "--csv"},
                                     std::pair{ticks, "--ticks"}, std::pair{stats, "--stats"},
                                     std::pair{allan, "--allan"}})
        if (on) modes.push_back(option);
    if (modes.size() > 1)
        return usage_error(std::string(modes[0]) + " and " + modes[1] + " cannot be used together");
    if (!stats && !allan && !(from_text.empty() && to_text.empty()))
        return usage_error(std::string(from_text.empty() ? "--to" : "--from") +
                           " is only used with --stats or --allan");
    if (!from_text.empty() && !to_text.empty() && !(interval.from < interval.to))
        return usage_error("--from " + from_text + " is not before --to " + to_text);
    const bool timed = csv || ticks || stats || allan;
    if (rate && !timed)
        return usage_error("--rate is only used with --csv, --ticks, --stats or --allan");

    const bool from_stdin = path == nullptr || std::string_view(path) == "-";
    const std::string name = from_stdin ? "standard input" : std::string(path);
    int fd = STDIN_FILENO;
    if (!from_stdin) {
        // Only a regular file: a FIFO or a device named here would block or never end (standard
        // input is the way to decode a stream).
        RegularFile input = RegularFile::open(path);
        if (!input.ok()) {
            std::fprintf(stderr, "zento-decode: cannot open %s: %s\n", name.c_str(),
                         input.reason().c_str());
            return 2;
        }
        fd = input.release();
#ifdef POSIX_FADV_SEQUENTIAL // (POSIX: not on Windows)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    }
    ReadFile source;
    source.adopt(fd);

    Output out;
    Printer printer(out, frames);
    Receiver rx(printer);
    ReaderOptions options;
    options.plain_paced = timed; // only these need the times of a plain capture
    options.plain_rate = rate.value_or(options.plain_rate);
    RecordingReader reader(source, options);
    int status = 0;
    if (!reader.start()) {
        std::fprintf(stderr, "zento-decode: %s: %s\n", name.c_str(), reader.refusal().c_str());
        status = 2;
    }
    CsvRows rows;
    FrameLog log;
    FrameCollector collector(log);
    std::string text;
    if (csv && status == 0) out.write(kCsvHeader);
    if (ticks && status == 0) out.write(tick_csv_header());
    TickRows tick_rows(out);
    FrameDispatch dispatch;
    dispatch.add_sink(tick_rows);
    std::optional<std::int64_t> origin;
    while (status == 0 && out.error() == 0) {
        const auto b = reader.next();
        if (!b) break;
        if (!origin) origin = tick_rows.origin = b->time_ns; // the recording's start
        if (b->direction != Direction::received) {
            if (csv) { // the command's row, as the recorder writes it
                text.clear();
                rows.command(b->bytes, since_us(b->time_ns, *origin), text);
                out.write(text);
            }
            continue;
        }
        if (ticks) {
            if (!b->bytes.empty()) dispatch.feed(b->bytes, b->time_ns); // as a playback does
            continue;
        }
        if (stats || allan) {
            collector.feed(b->bytes, double(since_us(b->time_ns, *origin)) / 1e6);
            continue;
        }
        if (!csv) {
            rx.feed(b->bytes);
            continue;
        }
        text.clear();
        rows.feed(b->bytes, since_us(b->time_ns, *origin), text);
        out.write(text);
    }
    if (ticks) tick_rows.finish();
    if (!from_stdin) ::close(fd);
    // The statistics of what was read (up to damage, which is named below).
    if ((stats || allan) && status == 0) status = print_stats(log, interval, allan, name, out);
    out.flush(); // what was decoded before a fault is kept
    const ReaderStop& stop = reader.stop();
    if (status == 0 && out.error() == 0 && stop.damaged) {
        if (!stop.read_error.empty())
            std::fprintf(stderr, "zento-decode: cannot read %s: %s\n", name.c_str(),
                         stop.read_error.c_str());
        else
            std::fprintf(stderr, "zento-decode: %s: %s; decoded up to there\n", name.c_str(),
                         stop.reason.c_str());
        status = 2;
    }
    if (out.error() != 0) {
        std::fprintf(stderr, "zento-decode: cannot write the output: %s\n",
                     std::strerror(out.error()));
        return status != 0 ? status : 1;
    }
    return status;
}
