#pragma once
// The byte stream of the simulated board: per tick one attitude frame (type 0xA1) then one raw
// sensor frame (type 0xA2) for the same instant, built with the project's envelope code;
// optional byte faults; and the reader of the two command frames.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "board_model.h"
#include "link/receiver.h"
#include "rng.h"

namespace zento::board {

enum class FaultKind { corrupt, drop, insert };

struct Fault {
    std::uint64_t frame = 0; // index of the frame hit, counted from 0 over the whole stream
    FaultKind kind = FaultKind::corrupt;
    std::size_t offset = 0; // byte offset within the frame (insert: the new byte's offset)
    std::uint8_t value = 0; // corrupt: the XOR mask; insert: the byte inserted
};

// With probability p per frame, corrupts, drops or inserts one byte of that frame (kind and
// place uniform). Uses its own random sequence, so the motion does not depend on it.
class FaultInjector {
  public:
    FaultInjector(double p, std::uint64_t seed) : p_(p), rng_(seed) {}
    void set_probability(double p) { p_ = p; }
    // The frame occupies out[from..]; it is the stream's frame number `frame`.
    void apply(std::vector<std::uint8_t>& out, std::size_t from, std::uint64_t frame);
    std::uint64_t count() const { return count_; }
    // Keeps every fault in log() (off by default: a live board runs for days).
    void keep_log(bool on) { keep_log_ = on; }
    const std::vector<Fault>& log() const { return log_; }

  private:
    double p_;
    Rng rng_;
    std::uint64_t count_ = 0;
    bool keep_log_ = false;
    std::vector<Fault> log_;
};

// With probability p per byte, loses the byte (a line that drops bytes). Its own random
// sequence, like the faults.
class ByteDropper {
  public:
    ByteDropper(double p, std::uint64_t seed) : p_(p), rng_(seed) {}
    void set_probability(double p) { p_ = p; }
    // Drops bytes of out[from..] in place.
    void apply(std::vector<std::uint8_t>& out, std::size_t from);
    std::uint64_t count() const { return count_; }

  private:
    double p_;
    Rng rng_;
    std::uint64_t count_ = 0;
};

// --burst: ticks are held and leave together, every n ticks; n for a burst length and a rate
// (at least 1).
std::uint64_t ticks_per_burst(double burst_ms, double rate_hz);
// Board time at which tick k leaves the board when ticks leave every n ticks: the time of the
// last tick of its burst.
double burst_release_time(std::uint64_t tick, std::uint64_t per_burst, double rate_hz);

class BoardStream {
  public:
    BoardStream(std::uint64_t seed, double rate_hz, double fault_p = 0.0);

    // Appends tick k (board time k / rate): attitude frame, then sensor frame.
    BoardSample append_tick(std::vector<std::uint8_t>& out, std::uint64_t tick);

    double time_of(std::uint64_t tick) const { return double(tick) / rate_; }
    double rate() const { return rate_; }
    BoardModel& model() { return model_; }
    FaultInjector& faults() { return faults_; }
    ByteDropper& drops() { return drops_; }
    std::uint64_t frames() const { return frames_; }

  private:
    double rate_;
    BoardModel model_;
    FaultInjector faults_;
    ByteDropper drops_;
    std::uint64_t frames_ = 0;
};

enum class Command { gyro_bias, altitude_zero };

// Finds the command frames A5 5A 04 E0 E4 AA and A5 5A 04 E2 E6 AA in whatever the port
// delivers, however it is split; everything else is ignored.
class CommandReader : private ReceiverEvents {
  public:
    CommandReader() : rx_(*this) {}
    CommandReader(const CommandReader&) = delete;
    CommandReader& operator=(const CommandReader&) = delete;

    // The commands completed by these bytes, in order.
    std::vector<Command> feed(std::span<const std::uint8_t> bytes);

  private:
    void Show_msg(std::string_view) override {}
    void Rec_LedON() override {}
    void Rec_attitude(std::span<const std::uint8_t>) override {}
    void Rec_sensor(std::span<const std::uint8_t>) override {}
    void Rec_other(std::span<const std::uint8_t> rx_frame) override;

    Receiver rx_;
    std::vector<Command> found_;
};

std::string command_name(Command c);

} // namespace zento::board
