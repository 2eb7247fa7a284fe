#include "link/receiver.h"

#include "link/envelope.h"
#include "platform/serial/serial_port.h"

namespace zento {

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
        events_.Show_msg(kMsgOverflow);
    } else if (event == kCommEventReceive) {
        const std::vector<std::uint8_t> batch = port.Input();
        feed(batch);
    }
    port.setRThreshold(1);
}

void Receiver::complete() {
    const std::span<const std::uint8_t> body(rx_buf.data(), std::size_t(rx_count));
    const std::uint8_t sum = byte_sum(body.first(body.size() - 1));
    if (sum != body.back()) {
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
    case kTypeAttitude: events_.Rec_attitude(frame); break;
    case kTypeSensor: events_.Rec_sensor(frame); break;
    default: events_.Rec_other(frame); break;
    }
}

void Receiver::byte(std::uint8_t b) {
    if (b == kEnd) events_.Rec_LedON();

    if (rx_on) {
        // rx_count >= 1: the length byte is in and rx_len belongs to this frame.
        if (rx_count >= 1 && rx_count == rx_len - 1) {
            if (b == kEnd) {
                complete();
                return;
            }
            // The announced end is not an end byte: the frame is broken. The byte may
            // still begin the next frame, so it falls through to header detection.
            events_.Show_msg(kMsgErrorCom);
            Receiver_reset();
        } else {
            rx_buf.resize(std::size_t(rx_count) + 1);
            rx_buf[std::size_t(rx_count)] = b;
            if (rx_count == 0) {
                rx_len = (b == kLongFormLen) ? std::int16_t(kLongFormSize) : std::int16_t(b);
                if (rx_len < 2) {
                    events_.Show_msg(kMsgErrorCom);
                    Receiver_reset();
                    return;
                }
            }
            ++rx_count;
            if (rx_count > kMaxCollect) { // unreachable with N <= 2006; kept as a bound
                Receiver_reset();
                events_.Show_msg(kMsgErrorCom);
            }
            return;
        }
    }

    if (b == kHeader1) {
        ++rx_pos;
        rx_a5_pos = rx_pos;
    } else if (b == kHeader2) {
        ++rx_pos;
        if (rx_pos == rx_a5_pos + 1) {
            rx_on = true;
            rx_count = 0;
            rx_buf.clear();
        }
    }
    // Only "was the last header byte 0xA5" matters; renormalise long before int32 overflows.
    if (rx_pos > (1 << 30)) {
        const bool armed = rx_pos == rx_a5_pos;
        rx_a5_pos = 1;
        rx_pos = armed ? 1 : 2;
    }
}

} // namespace zento
