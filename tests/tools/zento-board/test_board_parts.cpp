// Parts of zento-board: fault injection and recovery, the command reader, the port writer,
// the device link and the options.
#include <gtest/gtest.h>

#include <thread>

#include "board_capture.h"
#include "board_process.h"
#include "board_stream.h"
#include "link/envelope.h"
#include "options.h"
#include "pty_port.h"

using namespace board_test;
using namespace zento::board;

namespace {

struct FaultRun {
    Decoded clean, faulty;
    std::vector<Fault> faults;
    std::vector<bool> delivered; // per frame of the clean stream
    int false_frames = 0;
};

FaultRun run_faults(std::uint64_t seed, double p, std::uint64_t ticks) {
    BoardStream clean(seed, 20), faulty(seed, 20, p);
    faulty.faults().keep_log(true);
    std::vector<std::uint8_t> cb, fb;
    for (std::uint64_t k = 0; k < ticks; ++k) {
        clean.append_tick(cb, k);
        faulty.append_tick(fb, k);
    }
    FaultRun r;
    r.clean = decode(cb);
    r.faulty = decode(fb);
    r.faults = faulty.faults().log();
    EXPECT_EQ(faulty.faults().count(), r.faults.size());
    // Match the delivered frames, in order, against the clean stream.
    r.delivered.assign(r.clean.frames.size(), false);
    std::size_t next = 0;
    for (const auto& f : r.faulty.frames) {
        std::size_t k = next;
        while (k < r.clean.frames.size() && r.clean.frames[k] != f)
            ++k;
        if (k == r.clean.frames.size()) {
            ++r.false_frames;
            continue;
        }
        r.delivered[k] = true;
        next = k + 1;
    }
    return r;
}

} // namespace

// What each single fault costs is the receiver's own test; here the board's faults as a
// stream: no frame that was not sent, frames keep flowing, about one frame lost per fault
// (1.2 measured).
TEST(BoardFaults, ReceiverRecoversFromTheBoardsFaults) {
    const FaultRun r = run_faults(5, 0.02, 20000);
    ASSERT_GT(r.faults.size(), 600u);
    EXPECT_EQ(r.false_frames, 0) << "a fault must never produce a frame that was not sent";
    EXPECT_FALSE(r.faulty.logs.empty());
    const auto lost = std::count(r.delivered.begin(), r.delivered.end(), false);
    EXPECT_LT(double(lost), 1.5 * double(r.faults.size())) << lost << " frames lost";
    EXPECT_TRUE(std::all_of(r.delivered.end() - 4, r.delivered.end(), [](bool b) { return b; }));
}

TEST(BoardFaults, KindsAndPlacesAreAllExercisedAndNothingElseChanges) {
    BoardStream s(17, 20, 0.5);
    s.faults().keep_log(true);
    std::vector<std::uint8_t> out;
    for (std::uint64_t k = 0; k < 2000; ++k)
        s.append_tick(out, k);
    int kinds[3] = {};
    bool first = false, last = false;
    for (const Fault& f : s.faults().log()) {
        ++kinds[int(f.kind)];
        first |= f.offset == 0;
        last |= f.offset >= 19;
        if (f.kind == FaultKind::corrupt) {
            EXPECT_NE(f.value, 0);
        }
    }
    for (int k : kinds)
        EXPECT_GT(k, 300);
    EXPECT_TRUE(first);
    EXPECT_TRUE(last);
    // One byte per fault, no more: the size changes by exactly the drops and inserts.
    EXPECT_EQ(long(out.size()) - 2000 * 44, long(kinds[2]) - long(kinds[1]));
    EXPECT_NEAR(double(s.faults().count()) / 4000.0, 0.5, 0.05);
}

TEST(BoardCommands, ReaderFindsBothCommandsHoweverSplitAndIgnoresTheRest) {
    // Noise first (no 0x5A: a lone 0x5A would start a frame and take the bytes after it).
    std::vector<std::uint8_t> stream = {0x00, 0x12, 0xAA, 0xA5, 0x00, 0xFF};
    const auto gyro = zento::command_frame(zento::kTypeGyroBias);
    const auto zero = zento::command_frame(zento::kTypeHeightZero);
    stream.insert(stream.end(), gyro.begin(), gyro.end());
    for (const auto& f : {zento::build_frame(0xE1, {}),
                          zento::build_frame(0xA1, std::vector<std::uint8_t>(14, 0x5A)),
                          zento::build_frame(0xE0, std::vector<std::uint8_t>{
                                                       1})}) // E0 with a payload is not the command
        stream.insert(stream.end(), f.begin(), f.end());
    std::vector<std::uint8_t> bad(zero.begin(), zero.end());
    bad[4] ^= 1; // wrong checksum
    stream.insert(stream.end(), bad.begin(), bad.end());
    stream.insert(stream.end(), zero.begin(), zero.end());
    stream.insert(stream.end(), gyro.begin(), gyro.end());

    const std::vector<Command> want = {Command::gyro_bias, Command::altitude_zero,
                                       Command::gyro_bias};
    for (std::size_t piece : {std::size_t(1), std::size_t(2), std::size_t(5), stream.size()}) {
        CommandReader reader;
        std::vector<Command> got;
        for (std::size_t i = 0; i < stream.size(); i += piece) {
            const auto found =
                reader.feed(std::span(stream).subspan(i, std::min(piece, stream.size() - i)));
            got.insert(got.end(), found.begin(), found.end());
        }
        EXPECT_EQ(got, want) << "pieces of " << piece;
    }
}

TEST(BoardPort, RawPortCarriesEveryByteValueBothWays) {
    PtyPort port;
    PortClient client(port.path());
    ASSERT_TRUE(client.ok());
    std::vector<std::uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[std::size_t(i)] = std::uint8_t(i);
    ASSERT_EQ(port.write_some(all), 256u);
    std::vector<std::uint8_t> got;
    while (got.size() < 256 && client.read_into(got, 5000)) {
    }
    EXPECT_EQ(got, all); // no CR/LF translation, no flow-control bytes eaten
    ASSERT_TRUE(client.send(all));
    std::vector<std::uint8_t> back(512);
    std::size_t n = 0;
    for (int tries = 0; n < 256 && tries < 500; ++tries) {
        n += port.read_some(std::span(back).subspan(n));
        if (n < 256) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    back.resize(n);
    EXPECT_EQ(back, all); // and no echo of what the board sent
}

// The pty's line discipline takes written bytes in a moment after write() returns (later
// still on a busy machine); waits until it holds `expected` bytes, as between real ticks.
std::size_t settled_backlog(const PtyPort& port, std::size_t expected) {
    for (int i = 0; i < 5000 && port.backlog() != expected; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return port.backlog();
}

TEST(BoardPort, WriterSendsWholeTicksAndDiscardsAStaleBacklog) {
    PtyPort port;
    const std::vector<std::uint8_t> tick(44, 0x33);
    PortWriter writer(port, 440);
    // Nobody reads: once the backlog passes the limit it is discarded before the next tick,
    // so it never holds more than the limit plus one tick.
    std::size_t backlog = 0;
    for (int i = 0; i < 100; ++i) {
        const auto discards = writer.discards();
        EXPECT_TRUE(writer.offer(tick));
        EXPECT_EQ(writer.discards() > discards, backlog > 440) << "tick " << i;
        backlog = (backlog > 440 ? 0 : backlog) + 44;
        EXPECT_EQ(settled_backlog(port, backlog), backlog) << "tick " << i;
        EXPECT_LE(backlog, 440u + 44u);
    }
    EXPECT_GT(writer.discards(), 5u);
    // A reader that opens now finds only what is left since the last discard.
    PortClient client(port.path());
    ASSERT_TRUE(client.ok());
    EXPECT_EQ(client.waiting(), int(backlog));
}

TEST(BoardPort, ReaderThatStopsReadingDoesNotBlockTheBoard) {
    PtyPort port;
    PortClient client(port.path());
    ASSERT_TRUE(client.ok());
    // A huge limit: the writer must drop whole ticks once the pty is full, never block or
    // write part of a tick that is not completed later.
    PortWriter writer(port, std::size_t(1) << 30);
    std::vector<std::uint8_t> tick;
    for (int i = 0; i < 44; ++i)
        tick.push_back(std::uint8_t(i));
    std::size_t sent = 0;
    for (int i = 0; i < 3000; ++i)
        sent += writer.offer(tick);
    EXPECT_GT(writer.dropped_ticks(), 0u);
    EXPECT_EQ(sent + writer.dropped_ticks(), 3000u);
    // The reader comes back: everything accepted arrives, as whole intact ticks (a tick the
    // port took in part is completed before anything new).
    std::vector<std::uint8_t> got;
    for (int round = 0; round < 1000 && (writer.pending() > 0 || got.size() < sent * 44); ++round) {
        client.read_into(got, 10);
        if (writer.pending() > 0) sent += writer.offer(tick);
    }
    while (got.size() < sent * 44 && client.read_into(got, 10000)) {
    }
    EXPECT_EQ(writer.pending(), 0u);
    ASSERT_EQ(got.size(), sent * 44);
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], i % 44) << i;
}

TEST(BoardLink, ReplacesLinksOnlyAndRemovesOnlyItsOwn) {
    TempDir tmp;
    const std::string path = tmp / "com1";
    {
        PortLink link(path, "/dev/pts/nowhere-a");
        EXPECT_FALSE(link.replaced_stale());
        char buf[64] = {};
        ASSERT_GT(readlink(path.c_str(), buf, sizeof buf - 1), 0);
        EXPECT_STREQ(buf, "/dev/pts/nowhere-a");
        {
            PortLink second(path, "/dev/pts/nowhere-b"); // replaces the first
            EXPECT_TRUE(second.replaced_stale());
        }
        EXPECT_FALSE(exists(path)); // the second removed its own link
    }
    // The first no longer owns the path: a link someone else made there stays.
    {
        PortLink link(path, "/dev/pts/nowhere-a");
        ASSERT_EQ(unlink(path.c_str()), 0);
        ASSERT_EQ(symlink("/dev/pts/other", path.c_str()), 0);
    }
    EXPECT_TRUE(exists(path));
    ASSERT_EQ(unlink(path.c_str()), 0);

    write_file(path, "data");
    EXPECT_THROW(PortLink(path, "/dev/pts/x"), std::runtime_error);
    EXPECT_EQ(read_bytes(path).size(), 4u);
    ASSERT_EQ(mkdir((tmp / "dir").c_str(), 0755), 0);
    EXPECT_THROW(PortLink(tmp / "dir", "/dev/pts/x"), std::runtime_error);
    EXPECT_TRUE(exists(tmp / "dir"));
    // No temporary names left beside the path.
    EXPECT_EQ(std::system(("test $(ls -A '" + tmp.path().string() + "' | wc -l) -eq 2").c_str()),
              0);
}

// What the options do is tested on the running board (test_board_process, test_board_replay,
// zento-decode's still capture); here, what only the reading shows.
TEST(BoardOptions, ParsesValuesAndModes) {
    auto parse = [](std::vector<const char*> a) { return parse_options(a); };
    // The largest seed, the "--name=value" form, a fraction in a vector.
    const auto live =
        parse({"--link=/tmp/com1", "--seed", "18446744073709551615", "--accel-offset=0,-800,0.5"});
    ASSERT_TRUE(std::holds_alternative<Options>(live)) << std::get<std::string>(live);
    const Options& o = std::get<Options>(live);
    EXPECT_EQ(o.seed, 18446744073709551615ull);
    EXPECT_EQ(o.accel_offset, (std::array<double, 3>{0, -800, 0.5}));

    // --drop and the sensor faults shape a capture too; 12.5 ticks round to 13.
    const auto out = parse({"--out", "-", "--seconds", "0.5", "--rate", "25", "--drop", "0.1",
                            "--mag-offset", "1,2,3"});
    ASSERT_TRUE(std::holds_alternative<Options>(out)) << std::get<std::string>(out);
    EXPECT_EQ(std::get<Options>(out).mode, Options::Mode::out);
    EXPECT_EQ(std::get<Options>(out).ticks(), 13u);
}

// Each refusal names the option and what is wrong with it.
TEST(BoardOptions, RefusalsSayWhatIsWrong) {
    const struct {
        std::vector<const char*> args;
        const char* says;
    } bad[] = {
        {{"--seed", "18446744073709551616"}, "whole number from 0 to 18446744073709551615"},
        {{"--rate", ""}, "--rate : give ticks per second"},
        {{"--link", ""}, "--link needs a non-empty value"},
        {{"--out", "x", "--seconds", "0.01"}, "gives no whole tick"},
        {{"--replay", "x", "--seed", "1"}, "sent as it is"},
        {{"--replay", "x", "--faults", "0.1"}, "sent as it is"},
        {{"--fast=1"}, "--fast takes no value"},
        {{"--mag-offset", "1,2"}, "three sensor counts"},
        {{"--mag-offset", "1,2,3,4"}, "three sensor counts"},
        {{"--accel-offset", "1,,3"}, "three sensor counts"},
        {{"--accel-offset", "0,0,40000"}, "-32767 to 32767"},
        {{"--mag-offset"}, "needs a value"},
        {{"--mag-disturbance=1"}, "takes no value"},
        {{"--burst", "0"}, "milliseconds between bursts"},
        {{"--burst", "20"}, "shorter than two ticks"},
        {{"--drop", "1.5"}, "probability from 0 to 1"},
        {{"--drop", "x"}, "probability from 0 to 1"},
        {{"--out", "x", "--seconds", "1", "--burst", "500"}, "no delivery times"},
        {{"--replay", "x", "--mag-offset", "1,2,3"}, "sent as it is"},
        {{"--replay", "x", "--no-bias-removal"}, "sent as it is"},
        {{"--replay", "x", "--still"}, "sent as it is"},
        {{"--still=1"}, "takes no value"},
        {{"--gyro-noise", "-1"}, "give a noise density in deg/s/sqrt(Hz), from 0 to 1"},
        {{"--accel-drift", "0.1"}, "a random walk of the bias in g/sqrt(s), from 0 to 0.01"},
    };
    for (const auto& c : bad) {
        const auto r = parse_options(c.args);
        ASSERT_TRUE(std::holds_alternative<std::string>(r)) << c.args[0];
        EXPECT_NE(std::get<std::string>(r).find(c.says), std::string::npos)
            << std::get<std::string>(r);
    }
}

// The sensor faults change exactly what they say and nothing else: the same seed with and
// without them differs in the faulty readings by the offset (and only there).
TEST(BoardFaults, SensorFaultsChangeOnlyTheirReadings) {
    const std::uint64_t ticks = 20 * 30;
    auto run = [&](const SensorFaults& f) {
        BoardStream s(4, 20);
        s.model().set_faults(f);
        std::vector<std::uint8_t> out;
        for (std::uint64_t k = 0; k < ticks; ++k)
            s.append_tick(out, k);
        return decode(out);
    };
    const Decoded clean = run({});
    SensorFaults offsets;
    offsets.mag_offset = {300, -200, 150};
    offsets.accel_offset = {0, 800, -400};
    const Decoded off = run(offsets);
    SensorFaults disturbed;
    disturbed.mag_disturbance = true;
    const Decoded dist = run(disturbed);
    ASSERT_EQ(off.sensor.size(), ticks);
    double largest_change = 0;
    for (std::size_t k = 0; k < ticks; ++k) {
        ASSERT_EQ(off.frames[2 * k], clean.frames[2 * k]); // attitude frames untouched
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(off.sensor[k].mag[i] - clean.sensor[k].mag[i], offsets.mag_offset[i]);
            EXPECT_EQ(off.sensor[k].acc[i] - clean.sensor[k].acc[i], offsets.accel_offset[i]);
            EXPECT_EQ(off.sensor[k].gyro[i], clean.sensor[k].gyro[i]);
            EXPECT_EQ(dist.sensor[k].acc[i], clean.sensor[k].acc[i]);
            largest_change = std::max(
                largest_change, double(std::abs(dist.sensor[k].mag[i] - clean.sensor[k].mag[i])));
        }
    }
    EXPECT_GT(largest_change, 0.1 * 1090); // a disturbance of more than 0.1 G
    EXPECT_LT(largest_change, 0.3 * 1090);

    // --no-bias-removal: the command is refused and the bias stays.
    BoardModel m(4);
    m.set_faults({.no_bias_removal = true});
    EXPECT_FALSE(m.collect_gyro_bias());
    EXPECT_FALSE(m.bias_removed());
    m.set_faults({});
    EXPECT_TRUE(m.collect_gyro_bias());
    EXPECT_TRUE(m.bias_removed());
}

// The board rests 3 s in every 20 s: the angles stand still and the gyroscope reads its bias.
TEST(BoardPhysics, RestsAreStillAndTheMotionClockIsContinuous) {
    BoardModel m(6);
    for (double t = 0; t < 100; t += 0.01) {
        const double ds = motion_time(t + 0.01) - motion_time(t);
        ASSERT_NEAR(ds / 0.01, motion_speed(t + 0.005), 0.01) << t;
        if (resting(t)) {
            ASSERT_EQ(motion_speed(t), 0.0) << t;
        }
    }
    EXPECT_EQ(motion_time(13.9), 13.9); // the first 14 s are plain motion
    EXPECT_TRUE(resting(15.0) && resting(17.9) && resting(95.5));
    EXPECT_FALSE(resting(14.9) || resting(18.0));
    const Attitude a = m.attitude(15.2), b = m.attitude(17.8);
    EXPECT_EQ(a.roll, b.roll);
    EXPECT_EQ(a.yaw, b.yaw);
    const BoardSample s = m.sample(16.0);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(s.gyro[i], m.gyro_bias()[i], 10.0); // bias and noise only
}

TEST(BoardFaults, DroppedBytesAndBursts) {
    BoardStream s(8, 20);
    s.drops().set_probability(0.01);
    std::vector<std::uint8_t> out;
    for (std::uint64_t k = 0; k < 5000; ++k)
        s.append_tick(out, k);
    EXPECT_EQ(out.size() + s.drops().count(), 5000u * 44);
    EXPECT_NEAR(double(s.drops().count()) / (5000.0 * 44), 0.01, 0.002);
    // Bursts of 500 ms at 20 ticks/s: ten ticks leave together, with the last of them.
    EXPECT_EQ(ticks_per_burst(500, 20), 10u);
    EXPECT_EQ(ticks_per_burst(10, 20), 1u);
    EXPECT_DOUBLE_EQ(burst_release_time(0, 10, 20), 0.45);
    EXPECT_DOUBLE_EQ(burst_release_time(9, 10, 20), 0.45);
    EXPECT_DOUBLE_EQ(burst_release_time(10, 10, 20), 0.95);
    EXPECT_DOUBLE_EQ(burst_release_time(7, 1, 20), 0.35);
}
