#pragma once
// The frames of a recording as the statistics read them: for each kind (raw sensor, attitude)
// the frames' times and readings, and where frames may be missing.
//
// Times are seconds from the start of the recording to the receive time of the batch that
// completed the frame (as in the recording's CSV); the frames one batch completes share its
// time. Readings: the sensor frame's nine counts (AX AY AZ GX GY GZ HX HY HZ); the attitude
// frame's yaw, pitch and roll in degrees.
//
// Where frames may be missing: FrameCollector marks a break before a frame when the receiver
// counted, since the previous frame of either kind, a frame lost (checksum error, broken frame),
// a receive buffer overflow, bytes skipped outside frames, or a frame too short for its layout.
// Each of these loses, or may have lost, a whole frame, and its kind cannot be told, so both
// kinds get the break. A silence (the stream stopped, a cable pulled) leaves no count: the
// statistics find it from the times (interval_stats.h).
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "link/receiver.h"
#include "telemetry/decoders.h"

namespace zento {

struct FrameSeries {
    std::vector<double> time;                // seconds, one per frame
    std::vector<std::vector<float>> channel; // channel[c][i]: reading c of frame i
    std::vector<std::size_t> breaks;         // ascending: frames before which one may be missing

    explicit FrameSeries(int channels) : channel(std::size_t(channels)) {}
    std::size_t size() const { return time.size(); }
};

struct FrameLoss {
    double time = 0;          // when it was counted
    std::uint64_t frames = 0; // frames counted lost (0: bytes lost, frames unknown)
};

class FrameLog {
  public:
    void add_sensor(double t, const SensorRecord& r);
    void add_attitude(double t, const AttitudeRecord& r);
    // A frame may be missing here: the next frame of each kind starts after a break.
    void add_loss(double t, std::uint64_t frames);

    const FrameSeries& sensor() const { return sensor_; }
    const FrameSeries& attitude() const { return attitude_; }
    const std::vector<FrameLoss>& losses() const { return losses_; }
    // Frames counted lost at times within [from, to].
    std::uint64_t lost_between(double from, double to) const;

  private:
    FrameSeries sensor_{9}, attitude_{3};
    std::vector<FrameLoss> losses_;
    bool sensor_break_ = false, attitude_break_ = false;
};

// Fills a FrameLog from the bytes of a recording, batch by batch, through a receiver of its own
// (as CsvRows does for the CSV).
class FrameCollector final : private ReceiverEvents {
  public:
    explicit FrameCollector(FrameLog& log) : log_(log), rx_(*this) {}
    FrameCollector(const FrameCollector&) = delete;
    FrameCollector& operator=(const FrameCollector&) = delete;

    // One batch received `seconds` after the start of the recording.
    void feed(std::span<const std::uint8_t> bytes, double seconds);

  private:
    void Show_msg(std::string_view) override {}
    void Rec_LedON() override {}
    void Rec_attitude(std::span<const std::uint8_t> f) override;
    void Rec_sensor(std::span<const std::uint8_t> f) override;
    void check_losses(std::uint64_t extra = 0);

    FrameLog& log_;
    Receiver rx_;
    double time_ = 0;
    std::uint64_t lost_ = 0, overflows_ = 0, skipped_ = 0;
};

} // namespace zento
