#include "link/receiver.h"

#include "link/envelope.h"
#include "platform/serial/serial_port.h"

#include <algorithm>
#include <cstddef>

namespace zento {

static_assert(Receiver::kMaxCollect == kLongFormSize - 1);

void Receiver::Receiver_reset() {
    rx_on = false;
    rx_count = 0;
    rx_len = 0;
    rx_pos = 0;
    rx_a5_pos = 0;
}

void Receiver::OnComm(SerialPort& port) {
    port.setRThreshold(0);
    const int event = port.CommEvent();
    if (event == kCommEventRxOver) {
        port.setInBufferCount(0);
        port.setOutBufferCount(0);
        ++counters_.overflows;
        events_.Show_msg(kMsgOverflow);
    } else if (event == kCommEventReceive) {
        const std::vector<std::uint8_t> batch = port.Input();
        events_.Rec_batch(batch, port.InputTime());
        feed(batch);
        events_.Rec_batch_end();
    }
    port.setRThreshold(1);
}

void Receiver::complete() {
    const std::span<const std::uint8_t> body(rx_buf.data(), std::size_t(rx_count));
    const std::uint8_t sum = byte_sum(body.first(body.size() - 1));
    if (sum != body.back()) {
        ++counters_.checksum_errors;
        events_.Show_msg(kMsgChecksum);
        Receiver_reset();
        return;
    }
    rx_on = false;
    rx_frame.assign(body.begin(), body.end());
    rx_pos = 0;
    rx_a5_pos = 0;
    const std::span<const std::uint8_t> frame(rx_frame);
    switch (rx_frame[1]) {
    case kTypeAttitude:
        ++counters_.attitude_frames;
        events_.Rec_attitude(frame);
        break;
    case kTypeSensor:
        ++counters_.sensor_frames;
        events_.Rec_sensor(frame);
        break;
    default:
        ++counters_.other_frames;
        events_.Rec_other(frame);
        break;
    }
}

// Header detection, for a byte outside a frame.
void Receiver::header(std::uint8_t b) {
    if (b == kHeader1) {
        ++rx_pos;
        rx_a5_pos = rx_pos;
    } else if (b == kHeader2) {
        ++rx_pos;
        if (rx_pos == rx_a5_pos + 1) {
            // The 0x5A, and the 0xA5 that armed it (if any), were counted as skipped.
            counters_.skipped_bytes -= rx_a5_pos != 0 ? 2 : 1;
            rx_on = true;
            rx_count = 0;
            rx_buf.clear();
            return;
        }
    } else {
        return;
    }
    // Only "was the last header byte 0xA5" matters; renormalise long before int32 overflows.
    if (rx_pos > (1 << 30)) {
        const bool armed = rx_pos == rx_a5_pos;
        rx_a5_pos = 1;
        rx_pos = armed ? 1 : 2;
    }
}

void Receiver::byte(std::uint8_t b) {
    ++counters_.bytes;
    if (!rx_on) ++counters_.skipped_bytes;
    step(b);
}

// The byte procedure; a byte examined outside a frame has been counted as skipped already.
void Receiver::step(std::uint8_t b) {
    if (b == kEnd) events_.Rec_LedON();

    if (rx_on) {
        if (rx_count == 0) { // the length byte
            rx_buf.push_back(b);
            rx_len = (b == kLongFormLen) ? std::int16_t(kLongFormSize) : std::int16_t(b);
            if (rx_len < 2) {
                ++counters_.broken_frames;
                events_.Show_msg(kMsgErrorCom);
                Receiver_reset();
                return;
            }
            rx_count = 1;
            return;
        }
        // rx_count >= 1: rx_len belongs to this frame and rx_count <= rx_len - 1.
        if (rx_count < rx_len - 1) {
            rx_buf.push_back(b);
            ++rx_count;
            return;
        }
        if (b == kEnd) {
            complete();
            return;
        }
        // The announced end is not an end byte: the frame is broken. The byte may still
        // begin the next frame, so it goes on to header detection.
        ++counters_.broken_frames;
        ++counters_.skipped_bytes;
        events_.Show_msg(kMsgErrorCom);
        Receiver_reset();
    }
    header(b);
}

void Receiver::feed(std::span<const std::uint8_t> bytes) {
    const std::uint8_t* p = bytes.data();
    const std::uint8_t* const end = p + bytes.size();
    counters_.bytes += bytes.size();
    while (p != end) {
        if (!rx_on) {
            // Outside a frame only the header bytes and the end byte do anything.
            const std::uint8_t b = *p++;
            ++counters_.skipped_bytes;
            if (b == kHeader1 || b == kHeader2 || b == kEnd) step(b);
            continue;
        }
        const std::ptrdiff_t want = rx_count >= 1 ? rx_len - 1 - rx_count : 0;
        if (want <= 0) { // the length byte or the announced end
            step(*p++);
            continue;
        }
        // Bytes before the announced end are data: take them in one piece. Their 0xAA bytes
        // flash the lamp; nothing else can happen before the end, so the order is kept.
        const std::ptrdiff_t n = std::min<std::ptrdiff_t>(want, end - p);
        rx_buf.insert(rx_buf.end(), p, p + n);
        rx_count = std::int16_t(rx_count + n);
        for (const std::uint8_t* q = p; q != p + n; ++q)
            if (*q == kEnd) events_.Rec_LedON();
        p += n;
    }
}

} // namespace zento
