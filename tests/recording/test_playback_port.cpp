// The playback port: a recording reaches the receiver as a port's bytes do, paced by a play
// clock whose speed and pauses show in which batches have arrived, up to any damage.
#include "link/receiver.h"
#include "recording/playback_port.h"
#include "recording_test_util.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

using namespace zento;
using namespace rec_test;
using namespace std::chrono;

namespace {

constexpr std::int64_t kT0 = 1'765'000'000'000'000'000;
constexpr std::int64_t kMs = 1'000'000;

struct Frames final : ReceiverEvents {
    std::vector<Bytes> frames;
    void Show_msg(std::string_view) override {}
    void Rec_LedON() override {}
    void Rec_attitude(std::span<const std::uint8_t> f) override {
        frames.emplace_back(f.begin(), f.end());
    }
    void Rec_sensor(std::span<const std::uint8_t> f) override {
        frames.emplace_back(f.begin(), f.end());
    }
    void Rec_other(std::span<const std::uint8_t> f) override {
        frames.emplace_back(f.begin(), f.end());
    }
};

std::vector<Bytes> frames_of(const Bytes& stream) {
    Frames f;
    Receiver rx(f);
    rx.feed(stream);
    return f.frames;
}

bool wait_for(const std::function<bool()>& done) {
    const auto end = steady_clock::now() + seconds(60);
    while (!done()) {
        if (steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Lets everything that is due run, without waiting for anything.
void settle() {
    for (int i = 0; i < 50; ++i)
        QCoreApplication::processEvents();
}

// The window's side: a receiver on the port's receive event.
struct Window {
    explicit Window(PlaybackPort& p) : port(p) {
        port.setRThreshold(1);
        port.OnComm = [this] { rx.OnComm(port); };
        port.OnEnd = [this] { events.push_back("end"); };
        port.OnDamage = [this](const std::string& why) { events.push_back("damage: " + why); };
    }
    PlaybackPort& port;
    Frames got;
    Receiver rx{got};
    std::vector<std::string> events;
};

class PlaybackPortTest : public ::testing::Test {
  protected:
    zento_test::TempDir tmp;
    std::int64_t now = 0; // the test clock
    PlaybackPort::Clock clock = [this] { return now; };
};

// 40 ticks, one record each, 100 ms apart, after the start record; a command between them.
Bytes spaced_recording() {
    PcapBuilder b;
    b.header().record(kT0, 0, {});
    for (int k = 0; k < 40; ++k) {
        b.record(kT0 + k * 100 * kMs, 0, tick(k));
        if (k == 10) {
            const auto c = command_frame(kTypeGyroBias);
            b.record(kT0 + k * 100 * kMs + 1, 1, Bytes(c.begin(), c.end()));
        }
    }
    return b.bytes;
}

TEST_F(PlaybackPortTest, AsFastAsPossibleDeliversEveryBatchAndTheEventLoopRunsBetween) {
    PlaybackPort port(tmp.put("r.pcap", spaced_recording()));
    port.setSpeed(PlaybackSpeed::fastest);
    Window w(port);
    int yields = 0;
    QTimer other; // another user of the event loop, like the window's painting
    QObject::connect(&other, &QTimer::timeout, [&] { ++yields; });
    other.start(0);
    ASSERT_TRUE(port.setPortOpen(true)) << port.lastError();
    EXPECT_EQ(port.format(), RecordingFormat::pcap);
    ASSERT_TRUE(wait_for([&] { return port.ended(); }));
    other.stop();
    EXPECT_EQ(w.events, std::vector<std::string>{"end"});
    EXPECT_EQ(port.delivered(), 40u);
    EXPECT_EQ(w.got.frames, frames_of(ticks(0, 40))); // not the recorded command
    EXPECT_GE(yields, 10);
    EXPECT_FALSE(port.Output(w.got.frames[0]));
    EXPECT_EQ(port.position(), milliseconds(3900));
    ASSERT_TRUE(wait_for([&] { return port.length().has_value(); }));
    EXPECT_EQ(*port.length(), milliseconds(3900));
}

TEST_F(PlaybackPortTest, TheSpeedAndPausesShowInWhichBatchesHaveArrived) {
    PlaybackPort port(tmp.put("r.pcap", spaced_recording()), {}, clock);
    Window w(port);
    auto arrived = [&](std::uint64_t n) {
        EXPECT_TRUE(wait_for([&] { return port.delivered() >= n; })) << n;
        settle(); // nothing more is due on the test clock
        EXPECT_EQ(port.delivered(), n);
        EXPECT_EQ(w.got.frames, frames_of(ticks(0, int(n))));
    };
    auto move = [&](std::int64_t ns) {
        now += ns;
        port.clockMoved();
    };
    ASSERT_TRUE(port.setPortOpen(true)) << port.lastError();
    arrived(1); // the batch at 0 s
    port.setSpeed(PlaybackSpeed::x5);
    move(100 * kMs); // 0.5 s of the recording
    arrived(6);
    EXPECT_EQ(port.position(), milliseconds(500));
    port.setSpeed(PlaybackSpeed::x10);
    move(100 * kMs); // 1 s more
    arrived(16);
    port.pause();
    move(10'000 * kMs);
    arrived(16);
    EXPECT_EQ(port.position(), milliseconds(1500));
    port.resume();
    port.setSpeed(PlaybackSpeed::x2);
    move(250 * kMs); // 0.5 s more
    arrived(21);
    port.setSpeed(PlaybackSpeed::x1);
    move(150 * kMs);
    arrived(22);
    EXPECT_EQ(port.position(), milliseconds(2150));
    EXPECT_TRUE(w.events.empty());
    port.setSpeed(PlaybackSpeed::fastest);
    ASSERT_TRUE(wait_for([&] { return port.ended(); }));
    EXPECT_EQ(w.got.frames, frames_of(ticks(0, 40)));
    EXPECT_EQ(w.events, std::vector<std::string>{"end"});
}

TEST_F(PlaybackPortTest, APlainCaptureIsPacedAtTwentyAttitudeFramesASecond) {
    PlaybackPort port(tmp.put("cap.bin", ticks(0, 10)), {}, clock);
    Window w(port);
    ASSERT_TRUE(port.setPortOpen(true)) << port.lastError();
    EXPECT_EQ(port.format(), RecordingFormat::plain);
    ASSERT_TRUE(wait_for([&] { return port.delivered() == 1; }));
    now += 100 * kMs;
    port.clockMoved();
    ASSERT_TRUE(wait_for([&] { return port.delivered() == 3; }));
    settle();
    EXPECT_EQ(port.delivered(), 3u);
    EXPECT_EQ(w.got.frames, frames_of(ticks(0, 3)));
}

TEST_F(PlaybackPortTest, ADamagedRecordingPlaysUpToTheDamageAndSaysWhere) {
    Bytes file = spaced_recording();
    file.resize(file.size() - 3);
    PlaybackPort port(tmp.put("cut.pcap", file));
    port.setSpeed(PlaybackSpeed::fastest);
    Window w(port);
    ASSERT_TRUE(port.setPortOpen(true)) << port.lastError();
    ASSERT_TRUE(wait_for([&] { return port.ended(); }));
    EXPECT_EQ(w.got.frames, frames_of(ticks(0, 39)));
    const std::size_t last = file.size() + 3 - (16 + 1 + 44);
    EXPECT_EQ(w.events, (std::vector<std::string>{"damage: truncated record at byte " +
                                                      std::to_string(last) + " (42 of 45 bytes)",
                                                  "end"}));
}

// 60 ticks a second apart with a command after tick 10; the index keeps a place every 4 s. A seek
// hands over the records from the place before `from` to the target, then plays on after it;
// advance() reads on to a later position; commands are played at their time.
TEST_F(PlaybackPortTest, SeeksReadFromTheIndexedPlaceBeforeAndPlayOnAfterTheTarget) {
    PcapBuilder b;
    b.header();
    for (int k = 0; k < 60; ++k) {
        b.record(kT0 + k * 1000 * kMs, 0, tick(k));
        if (k == 10) b.record(kT0 + 10'500 * kMs, 1, Bytes{0xA5, 0x5A, 0x04, 0xE2, 0xE6, 0xAA});
    }
    PlaybackPort port(tmp.put("r.pcap", b.bytes), {}, clock);
    Window w(port);
    std::vector<std::int64_t> commands;
    port.OnCommand = [&](std::span<const std::uint8_t> f, std::int64_t t) {
        EXPECT_EQ(f.size(), 6u);
        commands.push_back(t - kT0);
    };
    ASSERT_TRUE(port.setPortOpen(true)) << port.lastError();
    port.pause();
    ASSERT_TRUE(wait_for([&] { return port.length().has_value(); }));
    EXPECT_EQ(port.seekable(), seconds(59));
    std::vector<std::pair<Direction, std::int64_t>> read; // direction, seconds
    const auto preroll = [&](Direction d, std::span<const std::uint8_t>, std::int64_t t) {
        read.emplace_back(d, (t - kT0) / 1'000'000'000);
    };
    using R = std::vector<std::pair<Direction, std::int64_t>>;
    const auto rx = Direction::received;
    port.seek(milliseconds(30'500), seconds(27), preroll);
    EXPECT_EQ(read, (R{{rx, 24}, {rx, 25}, {rx, 26}, {rx, 27}, {rx, 28}, {rx, 29}, {rx, 30}}));
    EXPECT_EQ(port.position(), milliseconds(30'500));
    EXPECT_EQ(port.nextBatchTime(), 31'000 * kMs);
    read.clear();
    port.seek(seconds(11), seconds(9), preroll); // back, over the command
    EXPECT_EQ(read, (R{{rx, 8}, {rx, 9}, {rx, 10}, {Direction::sent, 10}, {rx, 11}}));
    read.clear();
    port.advance(milliseconds(13'200), preroll);
    EXPECT_EQ(read, (R{{rx, 12}, {rx, 13}}));
    EXPECT_EQ(port.lastBatchTime(), 13'200 * kMs);
    port.seek(seconds(5), seconds(5), preroll);
    port.setSpeed(PlaybackSpeed::fastest);
    port.resume();
    ASSERT_TRUE(wait_for([&] { return port.ended(); }));
    EXPECT_EQ(w.got.frames, frames_of(ticks(6, 54))); // on from the target
    EXPECT_EQ(commands, std::vector<std::int64_t>{10'500 * kMs});
    EXPECT_EQ(playback_speed(0.25), PlaybackSpeed::quarter);
    EXPECT_EQ(playback_speed(0), PlaybackSpeed::fastest);
}

// What the file checks refuse (each case is the reader's test) does not open the port, and the
// reason names the file.
TEST_F(PlaybackPortTest, WhatIsNotARecordingIsRefusedAtOnce) {
    const std::string path = tmp.put("notes.txt", "no frames here");
    PlaybackPort port(path);
    EXPECT_FALSE(port.setPortOpen(true));
    EXPECT_FALSE(port.PortOpen());
    EXPECT_NE(port.lastError().find(path), std::string::npos) << port.lastError();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
