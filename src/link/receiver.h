#pragma once
// Frame receiver: turns the byte stream of the serial port into checked frames.
//
// Frame on the wire (see link/envelope.h):
//   A5 5A | LEN | TYPE | payload (N-4 bytes) | checksum | AA      N = LEN (0xFF: 2006)
//
// rx_frame holds the last valid frame from its length byte through its checksum byte:
//   rx_frame[0] = LEN, rx_frame[1] = TYPE, rx_frame[2 + k] = payload byte k,
//   rx_frame[N - 2] = checksum; N - 1 bytes; wire offset = index + 2.
//
// Header detection (outside a frame): rx_pos moves only on 0xA5 and 0x5A bytes; a frame starts
// at a 0x5A whose nearest earlier 0xA5-or-0x5A byte was 0xA5 (other bytes may lie between).
// After start-up, Receiver_reset or a delivered frame the first 0x5A starts a frame.
//
// Collection: every byte of a frame is data (header bytes inside never restart it). The frame
// ends exactly at its announced end: the byte that arrives when rx_count = N - 1 must be 0xAA.
//   - 0xAA there, checksum right: rx_frame = rx_buf, dispatched by type (0xA1 attitude,
//     0xA2 sensor, anything else accepted without a decoder).
//   - 0xAA there, checksum wrong: "Check-Sum Error!", reset.
//   - any other byte there: "Error! Com", reset, and the same byte is examined as a possible
//     header byte, so one lost byte costs one frame, not the frames after it.
//   - LEN 0 or 1 cannot describe a frame: "Error! Com", reset at once.
// Every 0xAA byte flashes the receive lamp; an 0xAA outside a frame does nothing else.
// rx_count never exceeds kMaxCollect (2005), and rx_pos is renormalised long before it could
// overflow, so no input of any length overflows a counter.
//
// Batch (OnComm): RThreshold 0, read CommEvent; 1008 empties both port buffers and logs
// "ComPort Buffer Overflow!" (receiver state kept); 2 hands Input() and its InputTime() to
// Rec_batch, then runs the byte procedure over it, then calls Rec_batch_end; any other event
// nothing; then RThreshold 1.
//
// The Wireshark dissector (data/wireshark/zento.lua) finds frames by these same rules; its test
// compares it with zento-decode, so a change here shows there.
//
// Counters (for the link's health figures): they only grow, from construction on; neither
// Receiver_reset nor anything else clears them. A frame's counter is raised before its decoder
// is called, so a decoder that reads counters() sees its own frame counted.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace zento {

class SerialPort;

// What the receiver calls out to. The main window implements it; tests and tools too.
class ReceiverEvents {
  public:
    virtual ~ReceiverEvents() = default;
    virtual void Show_msg(std::string_view text) = 0;
    virtual void Rec_LedON() = 0;
    // A batch as the port delivered it, and its time (link/link_time.h), before the receiver
    // looks at its first byte (for a recorder: the bytes exactly as they came).
    virtual void Rec_batch(std::span<const std::uint8_t> /*batch*/, std::int64_t /*time_ns*/) {}
    // Called with the receiver's rx_frame, before the receiver looks at the next byte.
    virtual void Rec_attitude(std::span<const std::uint8_t> rx_frame) = 0;
    virtual void Rec_sensor(std::span<const std::uint8_t> rx_frame) = 0;
    // A valid frame of any other type (no decoder runs in the program).
    virtual void Rec_other(std::span<const std::uint8_t> /*rx_frame*/) {}
    // The batch's last byte has been examined: what only shows the latest frame can show it now
    // (at high rates a batch holds several frames of each type).
    virtual void Rec_batch_end() {}
};

inline constexpr std::string_view kMsgChecksum = "Check-Sum Error!";
inline constexpr std::string_view kMsgErrorCom = "Error! Com";
inline constexpr std::string_view kMsgOverflow = "ComPort Buffer Overflow!";

struct ReceiverCounters {
    std::uint64_t bytes = 0;           // every byte fed to the byte procedure
    std::uint64_t attitude_frames = 0; // valid frames of type 0xA1
    std::uint64_t sensor_frames = 0;   // valid frames of type 0xA2
    std::uint64_t other_frames = 0;    // valid frames of any other type
    std::uint64_t checksum_errors = 0; // "Check-Sum Error!"
    std::uint64_t broken_frames = 0;   // "Error! Com": no end byte at the announced end
    std::uint64_t skipped_bytes = 0;   // bytes outside frames that start none (noise, the
                                       // tails of broken frames)
    std::uint64_t overflows = 0;       // receive events 1008 ("ComPort Buffer Overflow!")

    std::uint64_t frames() const { return attitude_frames + sensor_frames + other_frames; }
    // Frames found and lost: checksum errors and broken frames (overflows lose bytes unseen).
    std::uint64_t lost_frames() const { return checksum_errors + broken_frames; }
};

class Receiver {
  public:
    // Most bytes ever collected: the long form's length byte through its checksum.
    static constexpr int kMaxCollect = 2005;

    explicit Receiver(ReceiverEvents& events) : events_(events) { rx_buf.reserve(kMaxCollect); }

    // The receive event of the serial port control (the main window's Receive_bytes).
    void OnComm(SerialPort& port);
    // Byte procedure over one batch, byte by byte in order (frame bodies are taken in pieces,
    // with the same result and the same calls in the same order).
    void feed(std::span<const std::uint8_t> bytes);
    // Byte procedure for one byte.
    void byte(std::uint8_t b);
    void Receiver_reset();

    const ReceiverCounters& counters() const { return counters_; }

    bool rx_on = false;
    std::vector<std::uint8_t> rx_buf;
    std::int16_t rx_count = 0;
    std::int16_t rx_len = 0;
    std::int32_t rx_pos = 0;
    std::int32_t rx_a5_pos = 0;
    std::vector<std::uint8_t> rx_frame;

  private:
    void step(std::uint8_t b);
    void complete();
    void header(std::uint8_t b);
    ReceiverEvents& events_;
    ReceiverCounters counters_;
};

} // namespace zento
