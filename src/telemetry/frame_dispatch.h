#pragma once
// The receive path, once for every source: the receiver takes a batch of bytes with its time
// (link/link_time.h), each attitude (0xA1) and raw sensor (0xA2) frame is decoded with the one
// decoder (decoders.h), and at the batch's end every sink gets the whole batch as one
// TelemetryBatch (telemetry_batch.h), in the order the sinks were added. A frame shorter than
// its layout is in no batch (decoding it part way would mix fresh and stale values). The
// receiver's messages and its end-byte pulses go to two handlers.
//
// Frame times: the batch's ticks (an attitude frame and the sensor frame after it) are spaced
// by the board's frame interval (frame_interval.h), the last at the batch's time, and never
// before the previous batch's last tick (closer together when the interval would put them
// there; evenly between the two while the interval is not known yet); a sensor frame that
// completes the previous batch's last tick keeps that tick's time. Times never go backwards.
// So a burst of frames, or a recording played as fast as possible, is laid out at the board's
// own pace, and a recording played at any speed gives every frame the time it had live.
//
// Events (link/link_event.h): a batch of bytes that ends a gap carries it; a command sent goes to
// the sinks at once as a batch of its own (no bytes, no frames), which leaves the frames' times
// alone. A restart() of the same source (the port opened again) keeps the time of the last bytes,
// so an unplug is a gap; a new source forgets it.
#include "link/receiver.h"
#include "telemetry/frame_interval.h"
#include "telemetry/telemetry_batch.h"

#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace zento {

class SerialPort;

class TelemetrySink {
  public:
    virtual ~TelemetrySink() = default;
    virtual void batch(const TelemetryBatch& batch) = 0;
};

class FrameDispatch final : private ReceiverEvents {
  public:
    FrameDispatch() : rx_(*this) {}
    FrameDispatch(const FrameDispatch&) = delete;
    FrameDispatch& operator=(const FrameDispatch&) = delete;

    std::function<void(std::string_view)> on_message; // "Check-Sum Error!", "Error! Com", ...
    std::function<void()> on_end_byte;                // every 0xAA byte (the receive lamp)

    void add_sink(TelemetrySink& sink);
    void remove_sink(TelemetrySink& sink);

    // The port's receive event (Receiver::OnComm).
    void OnComm(SerialPort& port) { rx_.OnComm(port); }
    // A batch from elsewhere (a recording read by a tool, a test), as the receive event hands it.
    void feed(std::span<const std::uint8_t> bytes, std::int64_t time_ns);
    // A batch that only sets the receive path's state (a seek's run-up to the part it shows):
    // the sinks get nothing, the handlers hear nothing.
    void warm(std::span<const std::uint8_t> bytes, std::int64_t time_ns);
    // A command frame written to the board at `time_ns` (the source's time).
    void command(std::span<const std::uint8_t> frame, std::int64_t time_ns);
    // The stream starts anew (the port opened): the frame interval is estimated afresh and the
    // tick in progress forgotten; the receiver starts outside a frame.
    void restart();
    // Another source (a recording played, the port after it, a seek): restart(), and the bytes
    // before are no reference for a gap.
    void new_source() {
        restart();
        gaps_.reset();
    }

    Receiver& receiver() { return rx_; }
    const Receiver& receiver() const { return rx_; }

  private:
    void Show_msg(std::string_view text) override;
    void Rec_LedON() override;
    void Rec_batch(std::span<const std::uint8_t> batch, std::int64_t time_ns) override;
    void Rec_attitude(std::span<const std::uint8_t> rx_frame) override;
    void Rec_sensor(std::span<const std::uint8_t> rx_frame) override;
    void Rec_batch_end() override;
    void stamp(std::int64_t t, double interval);

    Receiver rx_;
    std::vector<TelemetrySink*> sinks_;
    FrameIntervalEstimator interval_;
    std::span<const std::uint8_t> bytes_;
    std::int64_t time_ns_ = 0;
    std::vector<TelemetryFrame> frames_;     // of the batch under way
    std::vector<LinkEvent> events_;          // of the batch under way
    GapFinder gaps_;
    bool quiet_ = false;                     // warm(): no sinks, no handlers
    std::optional<std::int64_t> last_batch_; // the previous batch's time
    std::int64_t last_tick_ = 0;             // the time of the previous batches' last tick
    // The previous batch ended with an attitude frame: its loss stamp (a sensor frame with the
    // same stamp first in this batch completes that tick).
    std::optional<std::uint64_t> open_tick_;
};

} // namespace zento
