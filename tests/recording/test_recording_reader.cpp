// The recording reader: every pcap variant, damage found where it is, refusals, plain captures
// paced by their attitude frames, and the file checks that keep playback from hanging.
#include "recording/recording_reader.h"
#include "recording_test_util.h"
#include "test_folder.h"
#include "test_paths.h"

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
    PcapBuilder ethernet, v3;
    ethernet.linktype = 1;
    v3.major = 3;
    PcapngBuilder ng2, ng_eth, ng_cut, ng_bom;
    ng_bom.section().bytes[8] = 0x1C;
    ng_cut.section().interface().bytes.resize(40);
    const std::vector<Case> cases = {
        {"pcapng version", ng2.section(2).bytes,
         "pcapng version 2.0 at byte 0 is not supported (1.x is)"},
        {"pcapng link type", ng_eth.section().interface().interface(1).bytes,
         "interface 1 at byte 72 has link type 1: not a Zento recording (link type 147, "
         "LINKTYPE_USER0)"},
        {"pcapng cut before a packet", ng_cut.bytes, "truncated block at byte 28 (12 of 44 bytes)"},
        {"pcapng byte order", ng_bom.bytes, "section header at byte 0 has no byte-order magic"},
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

// Two recordings of Zento and zento-board (a.pcap, b.pcap) as Wireshark's tools rewrite them:
// editcap added a section comment and a packet comment (a-comment.pcapng), mergecap merged them
// (merged.pcapng), the comment file and b at nanoseconds (tshark) make two sections
// (sections.pcapng); mixed.pcapng merges a.pcap with an Ethernet capture.
TEST(PcapngReader, WiresharksToolsFilesGiveTheBatchesOfTheRecordingsTheyCameFrom) {
    const std::string dir = zento_test::source_dir() + "/tests/recording/fixtures/";
    const auto batches = [&](const char* name, std::size_t piece) {
        ReadAll all = read_all(zento_test::read_bytes(dir + name), {}, piece);
        EXPECT_FALSE(all.stop.damaged) << name << ": " << all.stop.reason;
        for (ReadBatch& b : all.batches)
            b.offset = 0;
        return all.batches;
    };
    const auto a = batches("a.pcap", 1 << 20), b = batches("b.pcap", 1 << 20);
    ASSERT_GT(a.size(), 40u);
    auto ab = a;
    ab.insert(ab.end(), b.begin(), b.end());
    for (std::size_t piece : {std::size_t(1) << 20, std::size_t(5)}) {
        EXPECT_EQ(batches("a-comment.pcapng", piece), a);
        EXPECT_EQ(batches("merged.pcapng", piece), ab);
        EXPECT_EQ(batches("sections.pcapng", piece), ab);
    }
    std::string error;
    const auto merged = RecordingFile::open(dir + "merged.pcapng", error);
    ASSERT_NE(merged, nullptr) << error;
    EXPECT_TRUE(merged->reader().format() == RecordingFormat::pcap && merged->reader().pcapng());
    EXPECT_EQ(RecordingFile::open(dir + "mixed.pcapng", error), nullptr);
    EXPECT_EQ(error, dir + "mixed.pcapng: interface 1 at byte 156 has link type 1: not a Zento "
                           "recording (link type 147, LINKTYPE_USER0)");
}

TEST(PcapngReader, EitherByteOrderEveryResolutionSectionsSimplePacketsAndSkippedBlocks) {
    const Bytes p1 = ticks(0, 1), p2 = ticks(1, 2), c = record(1, ticks(3, 1));
    PcapngBuilder f;
    std::vector<ReadBatch> want;
    const auto expect = [&](std::int64_t ns, const Bytes& r) {
        want.push_back({ns, Direction(r[0]), f.bytes.size(), Bytes(r.begin() + 1, r.end())});
    };
    f.section().interface().interface(147, 0, 9).block(4, Bytes(10, 1)); // names: skipped
    expect(kT0, record(0, p1));
    f.packet(0, kT0 / 1000, record(0, p1)); // microseconds by default
    expect(kT0 + 789, c);
    f.packet(1, kT0 + 789, c).block(5, Bytes(20, 0)); // statistics: skipped
    expect(kT0 + 789, record(0, p2));                 // no time of its own: the one before
    f.simple(record(0, p2));
    f.big_endian = true; // a second section, big-endian: 2^-20 s plus an offset, milliseconds
    f.section().interface(147, 65535, 0x80 | 20, 1'765'000'000).block(0x40000BAD, Bytes(7, 2));
    expect(1'765'000'001'500'000'000, record(0, p1));
    f.packet(0, 3 << 19, record(0, p1)).interface(147, 65535, 3);
    expect(1'765'000'002'250'000'000, record(0, p2));
    f.packet(1, 1'765'000'002'250, record(0, p2));
    for (std::size_t piece : {std::size_t(1) << 20, std::size_t(3)}) {
        const ReadAll got = read_all(f.bytes, {}, piece);
        EXPECT_EQ(got.refusal, "");
        EXPECT_EQ(got.batches, want) << "piece " << piece;
        EXPECT_FALSE(got.stop.damaged) << got.stop.reason;
        EXPECT_EQ(got.stop.offset, f.bytes.size());
    }
}

TEST(PcapngReader, DamageStopsAfterTheLastGoodPacketAndSaysWhereAndWhy) {
    using P = PcapngBuilder;
    const Bytes good = record(0, ticks(0, 1));
    Bytes cut = P().packet(0, 1, good).bytes, lengths = cut;
    cut.resize(cut.size() - 5);
    lengths[lengths.size() - 4] ^= 4;
    const std::vector<std::pair<Bytes, const char*>> cases = {
        {cut, "truncated block at byte 196 (75 of 80 bytes)"},
        {lengths, "block at byte 196 has two lengths, 80 and 84"},
        {P().block(6, good, 30).bytes, "block at byte 196 has the length 30 (a multiple of 4"},
        {P().packet(2, 1, good).bytes, "packet block at byte 196 names interface 2, which its"},
        {P().packet(0, 1, good, 99).bytes, "packet block at byte 196 claims 99 bytes in a block"},
        {P().packet(1, 1, good).bytes, "record at byte 196 is 45 bytes long, more than the snap"},
        {P().packet(0, 1, {}).bytes, "record at byte 196 has no direction byte"},
        {P().packet(0, 1, record(2, {})).bytes, "record at byte 196 has the direction 2 (0 or 1"},
        {P().packet(0, ~0ull, good).bytes, "record at byte 196 has a time out of range"},
        {P().interface(1).bytes, "interface 2 at byte 196 has link type 1: not a Zento"},
        {P().block(1, {147, 0, 0, 0, 0, 0, 0, 0, 9, 0, 100}).bytes, "interface description at"},
    };
    for (const auto& [spoil, reason] : cases) {
        PcapngBuilder f;
        f.section().interface().interface(147, 10).packet(0, 1, good);
        f.bytes.insert(f.bytes.end(), spoil.begin(), spoil.end());
        for (std::size_t piece : {std::size_t(1) << 20, std::size_t(3)}) {
            const ReadAll got = read_all(f.bytes, {}, piece);
            ASSERT_EQ(got.batches.size(), 1u) << reason;
            EXPECT_TRUE(got.stop.damaged) << reason;
            EXPECT_EQ(got.stop.offset, 196u) << reason;
            EXPECT_EQ(got.stop.reason.rfind(reason, 0), 0u) << reason << ": " << got.stop.reason;
        }
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
