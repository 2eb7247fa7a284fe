// zento-board --replay with recordings: a pcap's bytes from the board go out in order (the
// commands it recorded do not), damage is named, and a large capture streams in bounded memory.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>

#include "board_capture.h"
#include "board_process.h"
#include "board_stream.h"
#include "link/envelope.h"
#include "recording/pcap_format.h"

using namespace board_test;
using Bytes = std::vector<std::uint8_t>;

namespace {

class BoardReplay : public ::testing::Test {
  protected:
    void SetUp() override {
        if (bin_dir().empty()) GTEST_SKIP() << "ZENTO_BIN_DIR is not set (run through ctest)";
    }
    TempDir tmp;
};

// A pcap recording of `seconds` of the board at 20 Hz, one record per tick, with the two
// commands recorded between them (direction 1).
Bytes recording(double seconds, std::uint64_t seed) {
    zento::board::BoardStream stream(seed, 20.0, 0.0);
    Bytes file;
    zento::append_pcap_header(file);
    const std::int64_t t0 = 1'765'000'000'000'000;
    zento::append_pcap_records(file, t0, zento::Direction::received, {});
    Bytes tick;
    for (std::uint64_t k = 0; k < std::uint64_t(seconds * 20); ++k) {
        tick.clear();
        stream.append_tick(tick, k);
        zento::append_pcap_records(file, t0 + std::int64_t(k) * 50'000, zento::Direction::received,
                                   tick);
        if (k == 3 || k == 7) {
            const auto c =
                zento::command_frame(k == 3 ? zento::kTypeGyroBias : zento::kTypeHeightZero);
            zento::append_pcap_records(file, t0 + std::int64_t(k) * 50'000 + 10,
                                       zento::Direction::sent, c);
        }
    }
    return file;
}

// The bytes from the board in a recording, in order.
Bytes board_bytes(const Bytes& pcap) {
    Bytes out;
    for (std::size_t at = 24; at + 16 <= pcap.size();) {
        const std::size_t n = pcap[at + 8] | pcap[at + 9] << 8 | pcap[at + 10] << 16;
        if (at + 16 + n > pcap.size()) break;
        if (pcap[at + 16] == 0)
            out.insert(out.end(), pcap.begin() + std::ptrdiff_t(at + 17),
                       pcap.begin() + std::ptrdiff_t(at + 16 + n));
        at += 16 + n;
    }
    return out;
}

// Reads a replay's port until the last frame of `want` arrived: what came is an unbroken run of
// `want`'s frames ending with its last (a reader that opens late misses the start, nothing else).
void expect_replay_tail(Child& board, const Decoded& want) {
    const auto path = board.first_line();
    ASSERT_TRUE(path) << board.stderr_text();
    PortClient port(*path);
    ASSERT_TRUE(port.ok());
    Decoded got;
    zento::Receiver rx(got);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((got.frames.empty() || got.frames.back() != want.frames.back()) &&
           std::chrono::steady_clock::now() < end) {
        Bytes some;
        if (port.read_into(some, 100)) rx.feed(some);
    }
    ASSERT_FALSE(got.frames.empty()) << board.stderr_text();
    ASSERT_LE(got.frames.size(), want.frames.size());
    EXPECT_GE(got.frames.size(), want.frames.size() / 2);
    EXPECT_TRUE(std::equal(got.frames.begin(), got.frames.end(),
                           want.frames.end() - std::ptrdiff_t(got.frames.size())));
}

TEST_F(BoardReplay, APlainCaptureIsSentAsFastAsPossibleOrPacedAtTheRate) {
    // --fast: every byte, damaged frames included, as captured.
    Bytes bytes;
    zento::board::BoardStream stream(12, 50.0, 0.02);
    for (std::uint64_t k = 0; k < 3000; ++k)
        stream.append_tick(bytes, k);
    Child fast({board_path(), "--replay", tmp.put("cap.bin", bytes), "--fast"});
    const auto path = fast.first_line();
    ASSERT_TRUE(path) << fast.stderr_text();
    PortClient port(*path);
    ASSERT_TRUE(port.ok());
    Bytes got;
    while (got.size() < bytes.size() && port.read_into(got, 10000)) {
    }
    EXPECT_TRUE(got == bytes) << "replayed " << got.size() << " of " << bytes.size() << " bytes";
    fast.signal(SIGTERM);
    EXPECT_EQ(fast.wait(), 0);
    EXPECT_NE(fast.stderr_text().find("replay sent in full"), std::string::npos);

    // Paced: 80 ticks at 40 a second.
    bytes.resize(80 * 44);
    Child paced({board_path(), "--replay", tmp.put("short.bin", bytes), "--rate", "40"});
    expect_replay_tail(paced, decode(bytes));
    paced.signal(SIGINT);
    EXPECT_EQ(paced.wait(), 0);
}

TEST_F(BoardReplay, APcapRecordingSendsItsBoardBytesInOrderAndNotItsCommands) {
    const Bytes pcap = recording(2, 5);
    const Decoded want = decode(board_bytes(pcap));
    ASSERT_EQ(want.attitude.size(), 40u);
    Child board({board_path(), "--replay", tmp.put("rec.pcap", pcap)});
    expect_replay_tail(board, want); // no command frame among them
    board.signal(SIGTERM);
    EXPECT_EQ(board.wait(), 0);
    EXPECT_NE(board.stderr_text().find("pcap recording, at its recorded times"), std::string::npos)
        << board.stderr_text();
    EXPECT_NE(board.stderr_text().find("replay done (40 of 40 batches sent)"), std::string::npos)
        << board.stderr_text();
}

TEST_F(BoardReplay, ADamagedRecordingIsSentUpToTheDamageWhichIsNamed) {
    Bytes pcap = recording(1, 6);
    pcap.resize(pcap.size() - 10); // the last record is cut short
    const std::string file = tmp.put("cut.pcap", pcap);
    Child board({board_path(), "--replay", file, "--fast"});
    ASSERT_TRUE(board.first_line()) << board.stderr_text();
    EXPECT_TRUE(board.stderr_shows("damage")) << board.stderr_text();
    board.signal(SIGTERM);
    EXPECT_EQ(board.wait(), 1); // a damaged replay is not a success
    EXPECT_NE(board.stderr_text().find("replay stopped at the damage in " + file +
                                       ": truncated record at byte "),
              std::string::npos)
        << board.stderr_text();
}

TEST_F(BoardReplay, ALargeCaptureStreamsInBoundedMemory) {
    // 160 MB: one tick, then a hole (a sparse file reads as zeros without taking disk space).
    const std::string file = tmp / "large.bin";
    {
        zento::board::BoardStream stream(1, 20.0, 0.0);
        Bytes tick;
        stream.append_tick(tick, 0);
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(tick.data()), std::streamsize(tick.size()));
    }
    std::filesystem::resize_file(file, 160u << 20);
    Child board({board_path(), "--replay", file});
    ASSERT_TRUE(board.first_line()) << board.stderr_text();
    ASSERT_TRUE(board.stderr_shows("replay done", 100000)) << board.stderr_text();
    // Peak resident memory of the whole run, while the process still lives.
    std::ifstream status("/proc/" + std::to_string(board.pid()) + "/status");
    std::string line;
    long hwm_kb = -1;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) hwm_kb = std::stol(line.substr(6));
    ASSERT_GT(hwm_kb, 0);
    EXPECT_LT(hwm_kb, 64 * 1024) << "peak resident " << hwm_kb << " kB for a 160 MB capture";
    board.signal(SIGTERM);
    EXPECT_EQ(board.wait(), 0);
}

} // namespace
