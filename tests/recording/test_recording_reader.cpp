// The recording reader: every pcap variant, damage found where it is, refusals, plain captures
// paced by their attitude frames, and the file checks that keep playback from hanging.
#include "recording/recording_reader.h"
#include "recording_test_util.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h> // mkfifo
#endif

using namespace zento;
using namespace rec_test;

namespace {

constexpr std::int64_t kT0 = 1'765'000'000'123'456'000; // ns since 1970, whole microseconds

struct Variant {
    bool big_endian, nano;
};

class PcapVariants : public ::testing::TestWithParam<Variant> {};

TEST_P(PcapVariants, EveryRecordComesBackWithItsTimeDirectionAndOffset) {
    PcapBuilder b;
    b.big_endian = GetParam().big_endian;
    b.nano = GetParam().nano;
    b.header();
    const Bytes a = ticks(0, 3);
    const auto cmd = command_frame(kTypeGyroBias);
    const Bytes c(cmd.begin(), cmd.end());
    const std::int64_t sub = b.nano ? 789 : 0; // nanoseconds survive only in ns files
    std::vector<ReadBatch> want;
    auto add = [&](std::int64_t ns, std::uint8_t d, const Bytes& p) {
        want.push_back({ns, Direction(d), b.bytes.size(), p});
        b.record(ns, d, p);
    };
    add(kT0, 0, {});
    add(kT0 + 50'000'000 + sub, 0, a);
    add(kT0 + 60'000'000, 1, c);
    add(kT0 + 4'000'000'000LL, 0, Bytes(70000 % 65535, 0xA5));         // large, 4 s later
    for (std::size_t piece : {std::size_t(1) << 20, std::size_t(7)}) { // blocks, and trickles
        const ReadAll got = read_all(b.bytes, {}, piece);
        EXPECT_EQ(got.refusal, "");
        EXPECT_EQ(got.batches, want) << "piece " << piece;
        EXPECT_FALSE(got.stop.damaged) << got.stop.reason;
        EXPECT_EQ(got.stop.offset, b.bytes.size());
    }
}

INSTANTIATE_TEST_SUITE_P(ByteOrderAndResolution, PcapVariants,
                         ::testing::Values(Variant{false, false}, Variant{true, false},
                                           Variant{false, true}, Variant{true, true}));

TEST(PcapWriter, ItsRecordsReadBackAndLargeBatchesSplitAtTheSnaplen) {
    Bytes file;
    append_pcap_header(file);
    const Bytes big(2 * kPcapMaxPayload + 10, 0x5A), small = ticks(4, 1);
    EXPECT_EQ(append_pcap_records(file, 5'000'000, Direction::received, {}), 1u);
    EXPECT_EQ(append_pcap_records(file, 5'050'001, Direction::received, small), 1u);
    EXPECT_EQ(append_pcap_records(file, 5'100'000, Direction::sent, big), 3u);
    EXPECT_EQ(append_pcap_records(file, -7, Direction::received, small), 1u); // before 1970: 0
    const ReadAll got = read_all(file);
    ASSERT_EQ(got.batches.size(), 6u);
    EXPECT_FALSE(got.stop.damaged);
    EXPECT_EQ(got.batches[0].bytes, Bytes{});
    EXPECT_EQ(got.batches[1].time_ns, 5'050'001'000);
    EXPECT_EQ(got.batches[1].bytes, small);
    Bytes joined;
    for (int i = 2; i < 5; ++i) {
        EXPECT_EQ(got.batches[i].time_ns, 5'100'000'000);
        EXPECT_EQ(got.batches[i].direction, Direction::sent);
        EXPECT_LE(got.batches[i].bytes.size(), kPcapMaxPayload);
        joined.insert(joined.end(), got.batches[i].bytes.begin(), got.batches[i].bytes.end());
    }
    EXPECT_EQ(joined, big);
    EXPECT_EQ(got.batches[5].time_ns, 0);
    // The header as libpcap expects it, byte for byte.
    const Bytes head(file.begin(), file.begin() + 24);
    EXPECT_EQ(head, (Bytes{0xD4, 0xC3, 0xB2, 0xA1, 2,    0,    4, 0, 0,   0, 0, 0,
                           0,    0,    0,    0,    0xFF, 0xFF, 0, 0, 147, 0, 0, 0}));
}

struct DamageCase {
    const char* name;
    std::function<void(PcapBuilder&)> spoil; // appends the damage after two good records
    const char* reason;                      // what stop().reason starts with
};

TEST(PcapReader, DamageStopsAfterTheLastGoodRecordAndSaysWhereAndWhy) {
    const Bytes good = ticks(0, 1);
    const std::vector<DamageCase> cases = {
        {"record cut short",
         [&](PcapBuilder& b) {
             b.record(kT0, 0, good);
             b.bytes.resize(b.bytes.size() - 5);
         },
         "truncated record at byte 146 (40 of 45 bytes)"},
        {"record header cut short", [](PcapBuilder& b) { b.bytes.insert(b.bytes.end(), 9, 0); },
         "truncated record header at byte 146 (9 of 16 bytes)"},
        {"longer than the snaplen", [&](PcapBuilder& b) { b.record(kT0, 0, good, 65536); },
         "record at byte 146 is 65536 bytes long, more than the snaplen 65535"},
        {"length beyond anything", [&](PcapBuilder& b) { b.record(kT0, 0, good, 0xFFFFFFFF); },
         "record at byte 146 is 4294967295 bytes long"},
        {"no direction byte", [&](PcapBuilder& b) { b.record(kT0, 0, {}, 0); },
         "record at byte 146 has no direction byte"},
        {"unknown direction", [&](PcapBuilder& b) { b.record(kT0, 2, good); },
         "record at byte 146 has the direction 2 (0 or 1 expected)"},
        {"time fraction out of range",
         [&](PcapBuilder& b) {
             b.record(kT0, 0, good);
             b.bytes[150] = 0xFF, b.bytes[151] = 0xFF, b.bytes[152] = 0xFF;
         },
         "record at byte 146 has a time fraction out of range"},
    };
    for (const DamageCase& c : cases) {
        PcapBuilder b;
        b.header().record(kT0, 0, good).record(kT0 + 1000, 1, good);
        c.spoil(b);
        for (std::size_t piece : {std::size_t(1) << 20, std::size_t(3)}) {
            const ReadAll got = read_all(b.bytes, {}, piece);
            ASSERT_EQ(got.batches.size(), 2u) << c.name;
            EXPECT_EQ(got.batches[0].bytes, good) << c.name;
            EXPECT_TRUE(got.stop.damaged) << c.name;
            EXPECT_EQ(got.stop.offset, 146u) << c.name;
            EXPECT_EQ(got.stop.reason.rfind(c.reason, 0), 0u) << c.name << ": " << got.stop.reason;
        }
    }
}

TEST(PcapReader, RefusesWhatItCannotReadWithTheReason) {
    struct Case {
        const char* name;
        Bytes bytes;
        const char* refusal;
    };
    PcapBuilder ethernet, v3, ng;
    ethernet.linktype = 1;
    v3.major = 3;
    const std::vector<Case> cases = {
        {"pcapng",
         {0x0A, 0x0D, 0x0D, 0x0A, 0x1C, 0, 0, 0, 0x4D, 0x3C, 0x2B, 0x1A},
         "it is a pcapng file; Zento reads classic pcap files"},
        {"link type", ethernet.header().bytes,
         "it is a pcap file of link type 1, not a Zento recording (link type 147, "
         "LINKTYPE_USER0)"},
        {"version", v3.header().bytes, "pcap version 3.4 is not supported (2.x is)"},
        {"cut header", Bytes{0xD4, 0xC3, 0xB2, 0xA1, 2, 0, 4, 0, 0, 0},
         "truncated pcap header (10 of 24 bytes)"},
    };
    for (const Case& c : cases) {
        const ReadAll got = read_all(c.bytes);
        EXPECT_EQ(got.refusal.rfind(c.refusal, 0), 0u) << c.name << ": " << got.refusal;
        EXPECT_TRUE(got.batches.empty()) << c.name;
    }
}

TEST(PlainCapture, BatchesRunFromOneAttitudeFrameToTheNextAtTwentyASecond) {
    const Bytes noise = {0x11, 0xAA, 0xA5, 0x00, 0x5A, 0x03}; // a broken header before the first
    Bytes capture = noise;
    std::vector<std::size_t> starts;
    for (int k = 0; k < 30; ++k) {
        starts.push_back(capture.size());
        const Bytes t = tick(k);
        capture.insert(capture.end(), t.begin(), t.end());
    }
    starts.front() = 0;
    starts.push_back(capture.size());
    for (double rate : {20.0, 50.0}) {
        for (std::size_t piece : {std::size_t(1) << 20, std::size_t(5)}) {
            const ReadAll got = read_all(capture, {rate, true}, piece);
            ASSERT_EQ(got.batches.size(), 30u) << rate << " " << piece;
            for (std::size_t j = 0; j < 30; ++j) {
                const ReadBatch& b = got.batches[j];
                EXPECT_EQ(b.offset, starts[j]);
                EXPECT_EQ(b.bytes, Bytes(capture.begin() + std::ptrdiff_t(starts[j]),
                                         capture.begin() + std::ptrdiff_t(starts[j + 1])));
                EXPECT_EQ(b.time_ns, std::llround(double(j) * 1e9 / rate));
                EXPECT_EQ(b.direction, Direction::received);
            }
            EXPECT_FALSE(got.stop.damaged);
        }
    }
}

TEST(PlainCapture, LongStretchesWithoutAttitudeFramesAreCutAndKeepTheirTime) {
    Bytes capture = ticks(0, 2);
    capture.insert(capture.end(), 3 * kPlainBatchMax + 17, 0x42);
    const Bytes tail = ticks(2, 2);
    capture.insert(capture.end(), tail.begin(), tail.end());
    const ReadAll got = read_all(capture);
    Bytes joined;
    std::int64_t last = 0;
    for (const ReadBatch& b : got.batches) {
        EXPECT_LE(b.bytes.size(), kPlainBatchMax);
        EXPECT_GE(b.time_ns, last);
        last = b.time_ns;
        joined.insert(joined.end(), b.bytes.begin(), b.bytes.end());
    }
    EXPECT_EQ(joined, capture);
    EXPECT_EQ(got.batches.back().time_ns, 150'000'000); // attitude frame 3
    EXPECT_EQ(got.batches.back().bytes, tick(3));

    // Unpaced: the bytes in blocks, no frame search, time 0.
    const ReadAll blocks = read_all(capture, {20.0, false});
    joined.clear();
    for (const ReadBatch& b : blocks.batches) {
        EXPECT_EQ(b.time_ns, 0);
        joined.insert(joined.end(), b.bytes.begin(), b.bytes.end());
    }
    EXPECT_EQ(joined, capture);
}

class RecordingFileTest : public ::testing::Test {
  protected:
    zento_test::TempDir tmp;
    std::string open_error(const std::string& path) {
        std::string error;
        const auto f = RecordingFile::open(path, error);
        EXPECT_EQ(f, nullptr) << path;
        return error;
    }
};

TEST_F(RecordingFileTest, RefusesWhatIsNotARecordingWithoutWaitingOnIt) {
#ifndef _WIN32
    const std::string fifo = tmp / "fifo.pcap";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Opening a FIFO for reading would wait for a writer forever: this returns at once.
    EXPECT_EQ(open_error(fifo),
              "cannot open " + fifo + ": it is a named pipe (FIFO), not a regular file");
    EXPECT_EQ(open_error("/dev/null"), "cannot open /dev/null: it is a device, not a regular file");
#endif
    EXPECT_EQ(open_error(tmp.path().string()),
              "cannot open " + tmp.path().string() + ": it is a folder");
    const std::string missing = tmp / "missing.pcap";
    EXPECT_EQ(open_error(missing), "cannot open " + missing + ": No such file or directory");
    const std::string empty = tmp.put("empty.pcap", "");
    EXPECT_EQ(open_error(empty), empty + " is empty: it holds no recording");
    const std::string text = tmp.put("notes.txt", std::string(100000, 'z'));
    EXPECT_EQ(open_error(text), text + " is not a recording: it is neither a pcap file nor a "
                                       "capture of the board's frames (no frame in its first "
                                       "65536 bytes)");
    PcapBuilder eth;
    eth.linktype = 1;
    const std::string other = tmp.put("eth.pcap", eth.header().bytes);
    EXPECT_EQ(open_error(other).rfind(other + ": it is a pcap file of link type 1", 0), 0u);
}

TEST_F(RecordingFileTest, OpensPcapAndPlainCapturesFromTheirFirstByte) {
    PcapBuilder b;
    b.header().record(kT0, 0, ticks(0, 2));
    const Bytes plain = ticks(0, 2);
    for (const auto& [name, bytes, format] : {std::tuple{"r.pcap", b.bytes, RecordingFormat::pcap},
                                              std::tuple{"c.bin", plain, RecordingFormat::plain}}) {
        std::string error;
        const auto f = RecordingFile::open(tmp.put(name, bytes), error);
        ASSERT_NE(f, nullptr) << error;
        EXPECT_EQ(f->reader().format(), format);
        EXPECT_EQ(f->size(), bytes.size());
        Bytes joined;
        while (const auto batch = f->reader().next())
            joined.insert(joined.end(), batch->bytes.begin(), batch->bytes.end());
        EXPECT_EQ(joined, plain) << name;
    }
}

} // namespace
