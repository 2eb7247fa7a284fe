#include "link/envelope.h"
#include "link/receiver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zento;

namespace {
struct Recorder : ReceiverEvents {
    std::vector<std::string> events;
    void Show_msg(std::string_view t) override { events.push_back("log," + std::string(t)); }
    void Rec_LedON() override { ++leds; }
    void Rec_attitude(std::span<const std::uint8_t>) override { events.push_back("attitude"); }
    void Rec_sensor(std::span<const std::uint8_t>) override { events.push_back("sensor"); }
    void Rec_other(std::span<const std::uint8_t> f) override {
        events.push_back("other," + std::to_string(f[1]));
    }
    int leds = 0;
};
} // namespace

TEST(Receiver, CommandFrameIsDeliveredWithoutDecoder) {
    Recorder r;
    Receiver rx(r);
    const auto f = command_frame(kTypeGyroBias);
    rx.feed(f);
    EXPECT_EQ(rx.rx_frame, (std::vector<std::uint8_t>{0x04, 0xE0, 0xE4}));
    ASSERT_EQ(r.events.size(), 1u);
    EXPECT_EQ(r.events[0], "other,224");
}
