// The still intervals: the health monitor's rule over half-second blocks, merged where they
// touch, on a synthetic run with known rests and on a capture of the simulated board (which
// rests from 15 s to 18 s of every 20 s), read back as the window reads it.
#include "board_stream.h"
#include "statistics/recording_frames.h"
#include "statistics/still_intervals.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace zento;

namespace {

// 60 s at 20 Hz. Moving, the gyroscope's X axis turns ever faster (5 t deg/s); at rest every
// reading stays within about two thirds of the rule's limits. Rests: [10, 14), [30, 31.2),
// [40, 42) upside down (roll about +-180), [50, 56) with the frame at 53.2 s lost.
FrameLog run_with_rests() {
    std::mt19937 rng(3);
    const auto jitter = [&](double half) {
        return std::uniform_real_distribution(-half, half)(rng);
    };
    FrameLog log;
    for (int k = 0; k < 1200; ++k) {
        const double t = k / 20.0;
        const bool rest = (t >= 10 && t < 14) || (t >= 30 && t < 31.2) || (t >= 40 && t < 42) ||
                          (t >= 50 && t < 56);
        if (k == 1064) { // 53.2 s
            log.add_loss(t, 1);
            continue;
        }
        AttitudeRecord a;
        SensorRecord s;
        if (rest) {
            const bool flipped = t >= 40 && t < 42;
            a.roll = float(flipped ? (k % 2 ? 179.9 : -179.95) : 5 + jitter(0.1));
            a.pitch = float(-3 + jitter(0.1));
            for (int i = 0; i < 3; ++i) {
                s.acc[i] = float(std::round(1000 * i + jitter(100))); // 0.0122 g at most
                s.gyro[i] = float(k % 2 ? 38 : 22);                   // 0.98 deg/s
            }
        } else {
            a.roll = float(20 * std::sin(t));
            s.gyro[0] = float(5 * t * 16.4);
        }
        log.add_attitude(t, a);
        log.add_sensor(t, s);
    }
    return log;
}

} // namespace

TEST(StillIntervals, HalfSecondBlocksWithinTheLimitsMergeUnlessAFrameIsLost) {
    const FrameLog log = run_with_rests();
    EXPECT_EQ(still_intervals(log),
              (std::vector<StillInterval>{
                  {10, 13.95}, {30, 30.95}, {40, 41.95}, {50, 52.95}, {53.5, 55.95}}));
    // The limits are in the scales given: with half the gyroscope's counts per deg/s, the
    // rests' 0.98 deg/s of spread becomes 1.95 deg/s, over the limit.
    HealthScales coarse;
    coarse.gyro_counts_per_dps /= 2;
    EXPECT_TRUE(still_intervals(log, coarse).empty());
    std::stop_source stop;
    stop.request_stop();
    EXPECT_TRUE(still_intervals(log, {}, stop.get_token()).empty());
}

TEST(StillIntervals, TheSimulatedBoardRestsThreeSecondsInEveryTwenty) {
    board::BoardStream board(11, 20);
    std::vector<std::uint8_t> capture;
    for (std::uint64_t k = 0; k < 62 * 20; ++k)
        board.append_tick(capture, k);
    zento_test::TempDir dir;
    const RecordingFrames read = read_recording_frames(dir.put("board.bin", capture));
    ASSERT_TRUE(read.log) << read.error;
    EXPECT_TRUE(read.plain);
    EXPECT_EQ(read.log->sensor().size(), 62u * 20);
    const std::vector<StillInterval> still = still_intervals(*read.log);
    ASSERT_EQ(still.size(), 3u);
    for (int n = 0; n < 3; ++n) {
        SCOPED_TRACE(n);
        const StillInterval& s = still[std::size_t(n)];
        EXPECT_GE(s.from, 15.0 + 20 * n); // never while the board moves
        EXPECT_LT(s.to, 18.0 + 20 * n);
        EXPECT_GE(s.length(), 2.5); // and most of the rest
    }
}
