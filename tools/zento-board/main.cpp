// zento-board: a simulated AHRS board on a pseudo-terminal (see --help).
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <poll.h>
#include <random>
#include <signal.h>
#include <span>
#include <stdexcept>
#include <string>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "board_stream.h"
#include "options.h"
#include "pty_port.h"
#include "recording/recording_reader.h"

using namespace zento;
using namespace zento::board;

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void say(const std::string& line) {
    const std::string text = "zento-board: " + line + "\n";
    [[maybe_unused]] const ssize_t n = ::write(2, text.data(), text.size());
}

std::int64_t now_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// Offset of tick k from the start, from the tick number itself: no error accumulates.
std::int64_t tick_ns(std::uint64_t k, double rate) {
    return std::int64_t(std::llround((long double)k * 1e9L / (long double)rate));
}

timespec to_timespec(std::int64_t ns) {
    if (ns < 0) ns = 0;
    return {time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
}

std::string fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

// SIGINT, SIGTERM and SIGHUP arrive as readable data on a descriptor, so every wait can
// include them and the program always leaves through its normal clean-up.
class Signals {
  public:
    Signals() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGHUP);
        if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0)
            throw std::runtime_error(std::string("cannot block signals: ") + std::strerror(errno));
        fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
        if (fd_ < 0)
            throw std::runtime_error(std::string("cannot watch signals: ") + std::strerror(errno));
        ::signal(SIGPIPE, SIG_IGN); // a closed output shows up as EPIPE instead
    }
    ~Signals() { ::close(fd_); }
    Signals(const Signals&) = delete;
    Signals& operator=(const Signals&) = delete;

    int fd() const { return fd_; }
    // The signal that arrived, if one did (does not wait).
    std::optional<int> take() {
        signalfd_siginfo info{};
        const ssize_t n = ::read(fd_, &info, sizeof info);
        if (n == ssize_t(sizeof info)) return int(info.ssi_signo);
        return std::nullopt;
    }

  private:
    int fd_ = -1;
};

std::string signal_name(int sig) {
    return sig == SIGINT    ? "SIGINT"
           : sig == SIGTERM ? "SIGTERM"
           : sig == SIGHUP  ? "SIGHUP"
                            : "signal";
}

bool write_all(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes = bytes.subspan(std::size_t(n));
    }
    return true;
}

// The board's stream with the options' faults applied.
void apply_faults(const Options& o, BoardStream& stream) {
    SensorFaults f;
    for (std::size_t i = 0; i < 3; ++i) {
        f.mag_offset[i] = o.mag_offset[i];
        f.accel_offset[i] = o.accel_offset[i];
    }
    f.mag_disturbance = o.mag_disturbance;
    f.no_bias_removal = o.no_bias_removal;
    stream.model().set_faults(f);
    stream.model().set_noise({o.still, o.gyro_noise, o.gyro_drift, o.accel_noise, o.accel_drift},
                             o.rate);
    stream.drops().set_probability(o.drop);
}

// The faults in force, for the status line ("" when none).
std::string faults_text(const Options& o) {
    std::string s;
    const auto triple = [](const std::array<double, 3>& v) {
        return fixed(v[0], 0) + "," + fixed(v[1], 0) + "," + fixed(v[2], 0);
    };
    if (o.faults > 0) s += ", faults " + fixed(o.faults, 4);
    if (o.mag_offset != std::array<double, 3>{}) s += ", mag offset " + triple(o.mag_offset);
    if (o.mag_disturbance) s += ", mag disturbance";
    if (o.accel_offset != std::array<double, 3>{}) s += ", accel offset " + triple(o.accel_offset);
    if (o.no_bias_removal) s += ", bias command ignored";
    if (o.burst_ms > 0) s += ", bursts every " + fixed(o.burst_ms, 0) + " ms";
    if (o.drop > 0) s += ", byte drop " + fixed(o.drop, 4);
    if (o.still) s += ", still";
    if (o.gyro_noise >= 0) s += ", gyro noise " + fixed(o.gyro_noise, 6) + " deg/s/sqrt(Hz)";
    if (o.gyro_drift > 0) s += ", gyro drift " + fixed(o.gyro_drift, 6) + " deg/s/sqrt(s)";
    if (o.accel_noise >= 0) s += ", accel noise " + fixed(o.accel_noise, 7) + " g/sqrt(Hz)";
    if (o.accel_drift > 0) s += ", accel drift " + fixed(o.accel_drift, 7) + " g/sqrt(s)";
    return s;
}

// --out: S x rate ticks, written as fast as the file takes them.
int run_out(const Options& o, std::uint64_t seed, Signals& signals) {
    const bool to_stdout = o.out == "-";
    const std::string name = to_stdout ? std::string("standard output") : o.out;
    const int fd =
        to_stdout ? 1 : ::open(o.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        say("cannot write " + o.out + ": " + std::strerror(errno));
        return kExitUsage;
    }
    BoardStream stream(seed, o.rate, o.faults);
    apply_faults(o, stream);
    const std::uint64_t ticks = o.ticks();
    std::vector<std::uint8_t> buf;
    buf.reserve((1u << 20) + 256);
    std::uint64_t bytes = 0;
    int status = 0;
    std::uint64_t k = 0;
    for (; k < ticks; ++k) {
        stream.append_tick(buf, k);
        if (buf.size() >= (1u << 20) || k + 1 == ticks) {
            if (!write_all(fd, buf)) {
                say("cannot write " + name + ": " + std::strerror(errno));
                status = kExitFailure;
                break;
            }
            bytes += buf.size();
            buf.clear();
            if (const auto sig = signals.take()) {
                ++k;
                say(signal_name(*sig) + ": stopped; " + name + " holds the first " +
                    std::to_string(k) + " of " + std::to_string(ticks) + " ticks");
                status = kExitFailure;
                break;
            }
        }
    }
    if (!to_stdout && ::close(fd) != 0 && status == 0) {
        say("cannot write " + name + ": " + std::strerror(errno));
        status = kExitFailure;
    }
    if (status == 0) {
        std::string line = "wrote " + std::to_string(ticks) + " ticks (" +
                           std::to_string(stream.frames()) + " frames, " + std::to_string(bytes) +
                           " bytes) to " + name + ", seed " + std::to_string(seed);
        if (o.faults > 0) line += ", " + std::to_string(stream.faults().count()) + " faults";
        say(line);
    }
    return status;
}

void announce(const PtyPort& port) {
    const std::string line = port.path() + "\n";
    [[maybe_unused]] const ssize_t n = ::write(1, line.data(), line.size());
}

// Reads what a program wrote to the port and returns the commands in it.
std::vector<Command> read_commands(PtyPort& port, CommandReader& reader) {
    std::vector<Command> all;
    std::uint8_t buf[4096];
    for (int round = 0; round < 16; ++round) { // a chatty reader never starves the ticks
        const std::size_t n = port.read_some(buf);
        if (n == 0) break;
        const auto found = reader.feed(std::span(buf, n));
        all.insert(all.end(), found.begin(), found.end());
    }
    return all;
}

// Bytes that may wait unread before they count as stale: about half a second of the stream,
// at least two ticks, at most 2 KiB (well inside the pty's own 4 KiB input buffer).
std::size_t backlog_limit(double rate, std::size_t tick_bytes) {
    const double half_second = 0.5 * rate * double(tick_bytes);
    return std::clamp(std::size_t(half_second), 2 * tick_bytes, std::size_t(2048));
}

struct Port {
    std::unique_ptr<PtyPort> pty;
    std::unique_ptr<PortLink> link;
};

std::optional<Port> open_port(const Options& o) {
    Port p;
    try {
        p.pty = std::make_unique<PtyPort>();
        if (!o.link.empty()) p.link = std::make_unique<PortLink>(o.link, p.pty->path());
    } catch (const std::exception& e) {
        say(e.what());
        return std::nullopt;
    }
    return p;
}

std::string port_text(const Port& p) {
    std::string s = p.pty->path();
    if (p.link)
        s += " (link " + p.link->path() + (p.link->replaced_stale() ? ", replaced" : "") + ")";
    return s;
}

int run_live(const Options& o, std::uint64_t seed, Signals& signals) {
    auto port = open_port(o);
    if (!port) return kExitUsage;
    PtyPort& pty = *port->pty;
    announce(pty);
    say("board on " + port_text(*port) + ", " + fixed(o.rate, 3) + " ticks/s, seed " +
        std::to_string(seed) + faults_text(o));

    BoardStream stream(seed, o.rate, o.faults);
    apply_faults(o, stream);
    CommandReader commands;
    // --burst: the ticks of one burst gather here and leave with its last tick.
    const std::uint64_t per_burst = o.burst_ms > 0 ? ticks_per_burst(o.burst_ms, o.rate) : 1;
    std::vector<std::uint8_t> tick;
    tick.reserve(128 * per_burst);
    // A burst is offered whole; the port keeps at most about 4 KiB unread.
    PortWriter writer(
        pty, std::max(backlog_limit(o.rate, 44), std::min<std::size_t>(44 * per_burst, 3584)));
    // More than this far behind (the process was stopped, the machine slept): skip ahead.
    const auto max_lag = std::uint64_t(std::max(1.0, std::ceil(o.rate * 0.25)));

    const std::int64_t t0 = now_ns();
    std::uint64_t k = 0, sent = 0, skipped = 0;
    bool watch_port = true;
    for (;;) {
        const std::int64_t deadline = t0 + tick_ns(k, o.rate);
        const timespec wait = to_timespec(deadline - now_ns());
        pollfd fds[2] = {{signals.fd(), POLLIN, 0}, {watch_port ? pty.master_fd() : -1, POLLIN, 0}};
        if (ppoll(fds, 2, &wait, nullptr) < 0 && errno != EINTR) {
            say(std::string("cannot wait: ") + std::strerror(errno));
            return kExitFailure;
        }
        if (const auto sig = signals.take()) {
            say(signal_name(*sig) + ": stopping after " + fixed(double(now_ns() - t0) / 1e9, 1) +
                " s; " + std::to_string(sent) + " ticks sent, " +
                std::to_string(writer.dropped_ticks() + skipped) + " dropped, " +
                std::to_string(writer.discards()) + " unread backlogs discarded");
            return 0;
        }
        if (fds[1].revents & POLLIN) {
            const double t = double(now_ns() - t0) / 1e9;
            for (const Command c : read_commands(pty, commands)) {
                if (c == Command::gyro_bias) {
                    const Vec3& b = stream.model().gyro_bias();
                    if (stream.model().collect_gyro_bias())
                        say("command " + command_name(c) + ": bias " + fixed(b[0], 0) + " " +
                            fixed(b[1], 0) + " " + fixed(b[2], 0) + " counts removed");
                    else
                        say("command " + command_name(c) + ": ignored (--no-bias-removal)");
                } else {
                    stream.model().zero_altitude(t);
                    say("command " + command_name(c) + ": altitude now relative to " +
                        fixed(stream.model().height(t), 2) + " m");
                }
            }
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            watch_port = false; // not expected while the slave is held; never spin on it
        }

        const std::int64_t now = now_ns();
        if (now < deadline) continue;
        watch_port = true;
        const auto due = std::uint64_t((long double)(now - t0) * (long double)o.rate / 1e9L);
        if (due > k + max_lag) {
            skipped += due - k;
            k = due;
        }
        stream.append_tick(tick, k);
        if ((k + 1) % per_burst == 0) {
            try {
                if (writer.offer(tick)) sent += per_burst;
            } catch (const std::exception& e) {
                say(e.what());
                return kExitFailure;
            }
            tick.clear();
        }
        ++k;
    }
}

int run_replay(const Options& o, Signals& signals) {
    // Streamed: one block of the file and one batch in memory, whatever the file's size.
    ReaderOptions read_options;
    read_options.plain_rate = o.rate;
    std::string error;
    const auto recording = RecordingFile::open(o.replay, error, read_options);
    if (!recording) {
        say(error);
        return kExitUsage;
    }
    RecordingReader& reader = recording->reader();
    const bool pcap = reader.format() == RecordingFormat::pcap;

    // The batch to send next: bytes from the board, with its time since the first record.
    std::optional<std::int64_t> origin;
    std::span<const std::uint8_t> batch;
    std::int64_t batch_ns = 0;
    bool have = false;
    auto advance = [&] {
        have = false;
        while (const auto b = reader.next()) {
            if (!origin) origin = b->time_ns;
            if (b->direction != Direction::received || b->bytes.empty()) continue;
            batch = b->bytes;
            batch_ns = b->time_ns - *origin;
            have = true;
            return;
        }
    };
    advance();

    auto port = open_port(o);
    if (!port) return kExitUsage;
    PtyPort& pty = *port->pty;
    announce(pty);
    say("replaying " + o.replay + " (" +
        (pcap ? std::string(reader.pcapng() ? "pcapng" : "pcap") +
                    " recording, at its recorded times"
              : "plain capture, " + fixed(o.rate, 3) + " attitude frames/s") +
        ", " + std::to_string(recording->size()) + " bytes) on " + port_text(*port) +
        (o.fast ? ", as fast as the port takes it" : ""));

    CommandReader commands;
    // A recording may hold any rate: allow the longest stale backlog.
    PortWriter writer(pty, backlog_limit(pcap ? kMaxRate : o.rate, 44));
    const std::int64_t t0 = now_ns();
    std::size_t offset = 0; // fast: bytes of the batch already sent
    bool done = !have;
    bool reported = false;
    std::uint64_t batches = 0, sent_batches = 0, sent_bytes = 0;
    for (;;) {
        if (done && !reported) {
            reported = true;
            const ReaderStop& stop = reader.stop();
            if (stop.damaged)
                say("replay stopped at the damage in " + o.replay + ": " + stop.reason + " (" +
                    std::to_string(sent_batches) + " batches sent before it)");
            else if (o.fast)
                say("replay sent in full (" + std::to_string(sent_bytes) +
                    " bytes); the port stays open until SIGINT or SIGTERM");
            else
                say("replay done (" + std::to_string(sent_batches) + " of " +
                    std::to_string(batches) +
                    " batches sent); the port stays open until SIGINT or SIGTERM");
        }
        std::int64_t wait_ns = 1'000'000'000;
        if (!done && !o.fast) wait_ns = t0 + batch_ns - now_ns();
        if (!done && o.fast) wait_ns = 50'000'000; // POLLOUT wakes it; the timeout is a fallback
        const timespec wait = to_timespec(wait_ns);
        const short port_events = short(POLLIN | (!done && o.fast ? POLLOUT : 0));
        pollfd fds[2] = {{signals.fd(), POLLIN, 0}, {pty.master_fd(), port_events, 0}};
        if (ppoll(fds, 2, &wait, nullptr) < 0 && errno != EINTR) {
            say(std::string("cannot wait: ") + std::strerror(errno));
            return kExitFailure;
        }
        if (const auto sig = signals.take()) {
            say(signal_name(*sig) + ": stopping");
            return reader.stop().damaged ? kExitFailure : 0;
        }
        if (fds[1].revents & POLLIN) {
            for (const Command c : read_commands(pty, commands))
                say("command " + command_name(c) + " received (a replay does not change)");
        }
        if (done) continue;
        try {
            if (o.fast) {
                while (have) {
                    const std::size_t n = pty.write_some(batch.subspan(offset));
                    offset += n;
                    sent_bytes += n;
                    if (offset < batch.size()) break; // the port is full: wait for room
                    offset = 0;
                    ++sent_batches;
                    advance();
                }
            } else {
                while (have && now_ns() >= t0 + batch_ns) {
                    ++batches;
                    if (writer.offer(batch)) ++sent_batches;
                    advance();
                }
            }
        } catch (const std::exception& e) {
            say(e.what());
            return kExitFailure;
        }
        done = !have;
    }
}

} // namespace

int main(int argc, char** argv) {
    const auto parsed =
        parse_options(std::span<const char* const>(argv + 1, std::size_t(argc - 1)));
    if (const auto* err = std::get_if<std::string>(&parsed)) {
        say(*err);
        say("try 'zento-board --help'");
        return kExitUsage;
    }
    const Options& o = std::get<Options>(parsed);
    if (o.help) {
        const std::string text = help_text();
        return write_all(1,
                         std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))
                   ? 0
                   : kExitFailure;
    }
    try {
        Signals signals;
        const std::uint64_t seed =
            o.seed ? *o.seed
                   : (std::uint64_t(std::random_device{}()) << 32) ^ std::random_device{}();
        switch (o.mode) {
        case Options::Mode::out:
            return run_out(o, seed, signals);
        case Options::Mode::replay:
            return run_replay(o, signals);
        case Options::Mode::live:
            return run_live(o, seed, signals);
        }
    } catch (const std::exception& e) {
        say(e.what());
        return kExitFailure;
    }
    return 0;
}
