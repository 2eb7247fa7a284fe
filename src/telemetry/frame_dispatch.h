#pragma once
// From checked frames to decoded records, once. FrameDispatch is the receiver's event handler
// for everything that shows, records or judges telemetry: each attitude (0xA1) and raw sensor
// (0xA2) frame is decoded with the one decoder (decoders.h) and the record handed to every sink,
// in the order the sinks were added. A frame shorter than its layout reaches no sink (it is not
// a report: decoding it part way would mix fresh and stale values). The receiver's messages and
// its end-byte pulses go to two handlers.
#include "link/receiver.h"
#include "telemetry/decoders.h"

#include <functional>
#include <string_view>
#include <vector>

namespace zento {

class TelemetrySink {
  public:
    virtual ~TelemetrySink() = default;
    virtual void Rec_attitude(const AttitudeRecord& /*record*/) {}
    virtual void Rec_sensor(const SensorRecord& /*record*/) {}
    // The end of a batch of bytes from the port: the records of the batch have all been handed.
    virtual void batch_end() {}
};

class FrameDispatch final : public ReceiverEvents {
  public:
    std::function<void(std::string_view)> on_message; // "Check-Sum Error!", "Error! Com", ...
    std::function<void()> on_end_byte;                // every 0xAA byte (the receive lamp)
    std::function<void(std::span<const std::uint8_t>)> on_batch; // each batch, as it came

    void add_sink(TelemetrySink& sink);
    void remove_sink(TelemetrySink& sink);

    void Show_msg(std::string_view text) override;
    void Rec_LedON() override;
    void Rec_batch(std::span<const std::uint8_t> batch) override;
    void Rec_attitude(std::span<const std::uint8_t> rx_frame) override;
    void Rec_sensor(std::span<const std::uint8_t> rx_frame) override;
    void Rec_batch_end() override;

  private:
    std::vector<TelemetrySink*> sinks_;
};

} // namespace zento
