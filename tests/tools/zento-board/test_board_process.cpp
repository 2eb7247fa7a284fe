// The real zento-board binary: options, captures, and the virtual port end to end.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>

#include "board_capture.h"
#include "board_process.h"
#include "board_stream.h"
#include "link/envelope.h"

using namespace board_test;

namespace {

// Frames arriving on the port, decoded as they come.
struct LiveLink {
    explicit LiveLink(const std::string& path) : port(path) {}
    PortClient port;
    Decoded d;
    zento::Receiver rx{d};
    std::vector<std::uint8_t> raw;

    // Reads until pred() holds; false if it does not within timeout_ms.
    bool until(const std::function<bool()>& pred, int timeout_ms = 20000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (!pred()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::vector<std::uint8_t> got;
            if (port.read_into(got, 100)) {
                raw.insert(raw.end(), got.begin(), got.end());
                rx.feed(got);
            }
        }
        return true;
    }
    bool attitude_frames(std::size_t n, int timeout_ms = 20000) {
        const std::size_t want = d.attitude.size() + n;
        return until([&] { return d.attitude.size() >= want && d.sensor.size() >= want; },
                     timeout_ms);
    }
};

// Median of (gyroscope - body rate from the angles) per axis over ticks [from, to), deg/s.
// (The median: a tick lost on a busy machine spoils one difference, not the result.)
std::array<double, 3> gyro_offset(const Decoded& d, std::size_t from, std::size_t to, double rate) {
    std::array<std::vector<double>, 3> r;
    for (std::size_t k = std::max<std::size_t>(from, 1); k + 1 < to; ++k) {
        const auto truth = derived_rates(d.attitude, k, rate);
        for (int i = 0; i < 3; ++i)
            r[i].push_back(d.sensor[k].gyro[i] / 16.4 - truth[i]);
    }
    std::array<double, 3> median{};
    for (int i = 0; i < 3; ++i) {
        std::nth_element(r[i].begin(), r[i].begin() + std::ptrdiff_t(r[i].size() / 2), r[i].end());
        median[i] = r[i][r[i].size() / 2];
    }
    return median;
}

int count_lines(const std::string& text, const std::string& prefix) {
    int n = 0;
    for (std::size_t pos = 0; pos < text.size(); pos = text.find('\n', pos) + 1) {
        n += text.compare(pos, prefix.size(), prefix) == 0;
        if (text.find('\n', pos) == std::string::npos) break;
    }
    return n;
}

class BoardProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        if (bin_dir().empty()) GTEST_SKIP() << "ZENTO_BIN_DIR is not set";
        ASSERT_TRUE(exists(board_path())) << board_path();
    }
    TempDir tmp;
};

} // namespace

TEST_F(BoardProcess, BadOptionsExitTwoWithAMessageAndTouchNothing) {
    const std::string file = tmp / "capture.bin", kept = tmp.put("kept", "keep me");
    // Each kind once (the option parser's own test has the values): unknown, missing value,
    // bad number, out of range, modes that do not go together, files and links that cannot be
    // used (a link is never made over a file, nor in a folder that does not exist).
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"--rate"},
        {"--rate", "fast"},
        {"--faults", "1.5"},
        {"--seed", "12abc"},
        {"--out", file},
        {"--seconds", "5"},
        {"--fast"},
        {"extra"},
        {"--help=yes"},
        {"--replay", tmp / "missing.bin"},
        {"--out", file, "--seconds", "1", "--link", tmp / "com1"},
        {"--replay", file, "--out", file, "--seconds", "1"},
        {"--out", tmp.path().string(), "--seconds", "1"}, // a folder cannot be written as a file
        {"--link", kept},
        {"--link", tmp / "no/such/folder/com1"},
    };
    for (auto args : cases) {
        const std::string joined = args[0] + (args.size() > 1 ? " " + args[1] : "");
        args.insert(args.begin(), board_path());
        std::string out, err;
        EXPECT_EQ(run(args, &out, &err), 2) << joined;
        EXPECT_TRUE(out.empty()) << joined << " printed " << out;
        EXPECT_NE(err.find("zento-board: "), std::string::npos) << joined;
        EXPECT_GT(err.size(), 30u) << joined << ": " << err;
        EXPECT_FALSE(exists(file)) << joined;
        EXPECT_FALSE(exists(tmp / "com1")) << joined;
        EXPECT_TRUE(args[1] != "--link" || err.find(args[2]) != std::string::npos) << err;
    }
    EXPECT_EQ(zento_test::read_text(kept), "keep me");
}

// A capture is the library's stream for the seed, the same on a file and on standard output,
// and as many ticks as the seconds at the rate give.
TEST_F(BoardProcess, CaptureIsTheSeedsStreamOnFileAndStandardOutput) {
    const std::string a = tmp / "a.bin", b = tmp / "b.bin";
    const auto capture = [&](const std::string& to, const char* seed, std::string* out = nullptr) {
        return run(
            {board_path(), "--out", to, "--seconds", "30", "--seed", seed, "--faults", "0.01"},
            out);
    };
    std::string out;
    ASSERT_EQ(capture(a, "99"), 0);
    ASSERT_EQ(capture("-", "99", &out), 0);
    const auto bytes = read_bytes(a);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), out);
    zento::board::BoardStream s(99, 20, 0.01);
    std::vector<std::uint8_t> lib;
    for (std::uint64_t k = 0; k < 600; ++k)
        s.append_tick(lib, k);
    EXPECT_EQ(bytes, lib);
    ASSERT_EQ(capture(b, "100"), 0);
    EXPECT_NE(bytes, read_bytes(b));

    std::string err;
    ASSERT_EQ(run({board_path(), "--out", b, "--seconds", "4", "--rate", "250"}, nullptr, &err), 0)
        << err;
    const Decoded d = decode(read_bytes(b));
    EXPECT_EQ(d.attitude.size(), 1000u);
    EXPECT_EQ(d.sensor.size(), 1000u);
    EXPECT_TRUE(d.logs.empty());
    // A write that fails is reported, not taken for success.
    if (exists("/dev/full")) {
        EXPECT_EQ(run({board_path(), "--out", "/dev/full", "--seconds", "10"}, nullptr, &err), 1);
        EXPECT_NE(err.find("cannot write /dev/full"), std::string::npos) << err;
    }
}

TEST_F(BoardProcess, PortRoundTripWithBothCommands) {
    const double rate = 50;
    const std::string link = tmp / "com1";
    Child board({board_path(), "--link", link, "--rate", "50", "--seed", "77"});
    const auto path = board.first_line();
    ASSERT_TRUE(path) << board.stderr_text();
    EXPECT_EQ(path->rfind("/dev/", 0), 0u) << *path;

    LiveLink live(link); // through the link, as a user would
    ASSERT_TRUE(live.port.ok()) << std::strerror(errno);
    ASSERT_TRUE(live.attitude_frames(150)) << board.stderr_text();
    EXPECT_TRUE(live.d.logs.size() <= 1) << "a reader may start in the middle of a frame";
    const std::size_t n0 = live.d.attitude.size();
    const auto before = gyro_offset(live.d, n0 - 140, n0, rate);
    double largest = 0;
    for (double b : before)
        largest = std::max(largest, std::abs(b));
    EXPECT_GT(largest, 1.0) << "the gyroscope should carry a bias before the command";
    EXPECT_GT(live.d.attitude.back().altitude, 50.0f);

    // Noise and other frames first: they must change nothing.
    const std::vector<std::uint8_t> noise = {0x00, 0xA5, 0x13, 0x5A, 0x04, 0xE1, 0xE5, 0xAA, 0xAA};
    ASSERT_TRUE(live.port.send(noise));
    ASSERT_TRUE(live.port.send(zento::build_frame(0xE1, {})));

    const auto bias_cmd = zento::command_frame(zento::kTypeGyroBias);
    ASSERT_TRUE(live.port.send(std::span(bias_cmd).first(3))); // split: the board must join it
    ASSERT_TRUE(live.attitude_frames(2));
    ASSERT_TRUE(live.port.send(std::span(bias_cmd).subspan(3)));
    ASSERT_TRUE(live.attitude_frames(10)); // frames already on their way
    const std::size_t n1 = live.d.attitude.size();
    ASSERT_TRUE(live.attitude_frames(150));
    const auto after = gyro_offset(live.d, n1, live.d.attitude.size(), rate);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(after[i], 0.0, 0.5) << "axis " << i;

    ASSERT_TRUE(live.port.send(zento::command_frame(zento::kTypeHeightZero)));
    std::size_t seen = live.d.attitude.size();
    float first_zeroed = 1e9f;
    ASSERT_TRUE(live.until([&] {
        for (; seen < live.d.attitude.size(); ++seen)
            if (std::abs(live.d.attitude[seen].altitude) < 30.0f) {
                first_zeroed = live.d.attitude[seen].altitude;
                return true;
            }
        return false;
    })) << "the altitude was never zeroed";
    EXPECT_NEAR(first_zeroed, 0.0f, 0.2f);
    EXPECT_TRUE(live.attitude_frames(20));
    EXPECT_LT(std::abs(live.d.attitude.back().altitude), 5.0f);

    board.signal(SIGTERM);
    EXPECT_EQ(board.wait(), 0);
    EXPECT_FALSE(exists(link)) << "the link must be removed on exit";
    const std::string& err = board.stderr_text();
    EXPECT_EQ(count_lines(err, "zento-board: command E0"), 1) << err;
    EXPECT_EQ(count_lines(err, "zento-board: command E2"), 1) << err;
    EXPECT_EQ(count_lines(err, "zento-board: command"), 2) << err;
}

// Bytes nobody reads are thrown away once about half a second of the stream (20 Hz x 44 bytes =
// 440) waits: the backlog seen shrinks without a reader, never grows much past that (the bound
// leaves room for a busy machine's late line discipline), and a reader then gets fresh frames.
TEST_F(BoardProcess, NobodyReadingLeavesNoBacklogAndReconnectGetsFreshFrames) {
    Child board({board_path(), "--seed", "5"});
    const auto path = board.first_line();
    ASSERT_TRUE(path) << board.stderr_text();
    for (int round = 0; round < 3; ++round) {
        LiveLink live(*path);
        ASSERT_TRUE(live.port.ok());
        int most = 0, now = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while ((now = live.port.waiting()) >= most && std::chrono::steady_clock::now() < end) {
            most = now;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_LT(now, most) << "round " << round << ": the backlog was never discarded";
        EXPECT_LE(most, 1000) << "round " << round;
        ASSERT_TRUE(live.attitude_frames(10)) << board.stderr_text();
        EXPECT_LE(live.d.logs.size(), 1u);
    }
    board.signal(SIGTERM);
    EXPECT_EQ(board.wait(), 0);
}

// The fault options on the live port: the status line names them, the magnetometer carries the
// offset (its readings against the field the reported attitude gives), and the bias command is
// logged as ignored and the bias stays.
TEST_F(BoardProcess, FaultOptionsShapeWhatThePortCarries) {
    Child board({board_path(), "--rate", "50", "--seed", "12", "--mag-offset", "300,-200,150",
                 "--no-bias-removal", "--burst", "200"});
    const auto path = board.first_line();
    ASSERT_TRUE(path) << board.stderr_text();
    LiveLink live(*path);
    ASSERT_TRUE(live.port.ok()) << std::strerror(errno);
    ASSERT_TRUE(live.attitude_frames(100)) << board.stderr_text();
    ASSERT_TRUE(live.port.send(zento::command_frame(zento::kTypeGyroBias)));
    ASSERT_TRUE(live.attitude_frames(150));

    // Magnetometer minus the earth's field seen along the reported attitude: the offset.
    std::array<std::vector<double>, 3> offset;
    for (std::size_t k = 0; k < live.d.sensor.size(); ++k) {
        const auto& a = live.d.attitude[k];
        const auto field = zento::board::body_from_ned(
            {a.roll, a.pitch, a.yaw}, {0.5 * std::cos(60 / kDeg), 0, 0.5 * std::sin(60 / kDeg)});
        for (int i = 0; i < 3; ++i)
            offset[i].push_back(live.d.sensor[k].mag[i] - field[i] * 1090);
    }
    const double want[3] = {300, -200, 150};
    for (int i = 0; i < 3; ++i) {
        std::sort(offset[i].begin(), offset[i].end());
        EXPECT_NEAR(offset[i][offset[i].size() / 2], want[i], 5) << "axis " << i;
    }
    // The bias is still there after the command.
    const std::size_t n = live.d.attitude.size();
    const auto after = gyro_offset(live.d, n - 100, n, 50);
    EXPECT_GT(std::hypot(after[0], after[1], after[2]), 1.5);

    board.signal(SIGTERM);
    EXPECT_EQ(board.wait(), 0);
    const std::string& err = board.stderr_text();
    EXPECT_NE(err.find("mag offset 300,-200,150, bias command ignored, bursts every 200 ms"),
              std::string::npos)
        << err;
    EXPECT_EQ(count_lines(err, "zento-board: command E0 (collect gyroscope bias): ignored "
                               "(--no-bias-removal)"),
              1)
        << err;
}
