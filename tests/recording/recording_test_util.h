#pragma once
// Test helpers of the recording tests (and zento-decode's): the worked examples, a known stream
// of board frames, hand-made pcap and pcapng files of every variant, reading a recording back
// whole, and running a shell command.
#include "link/envelope.h"
#include "recording/file_io.h"
#include "recording/pcap_format.h"
#include "recording/recording_reader.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>
#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace rec_test {

using Bytes = std::vector<std::uint8_t>;

// The worked examples of the two frame types (payloads), and their CSV rows after the time.
inline const Bytes kAttitudeExample = {0x81, 0x2C, 0x00, 0x5A, 0x00, 0x0F, 0x03,
                                       0xE8, 0x00, 0xFA, 0x27, 0x94, 0x00, 0x0A};
inline const Bytes kSensorExample = {0x00, 0x10, 0x80, 0x10, 0x40, 0x00, 0x00, 0x00, 0x80,
                                     0x05, 0x00, 0x05, 0x01, 0x2C, 0x81, 0x2C, 0x00, 0x00};
inline const std::string kAttitudeRow = "attitude,-30,9,1.5,100,25,101320,10,,,,,,,,,,\n";
inline const std::string kSensorRow = "sensor,,,,,,,,16,-16,16384,0,-5,5,300,-300,0,\n";

// Tick k of a board: an attitude frame and a sensor frame whose words all depend on k.
inline Bytes tick(int k) {
    Bytes out, att, sen;
    for (int i = 0; i < 7; ++i) {
        const auto w = zento::encode_sign_magnitude(long((k * 37 + i * 1013) % 6001) - 3000);
        att.insert(att.end(), w.begin(), w.end());
    }
    for (int i = 0; i < 9; ++i) {
        const auto w = zento::encode_sign_magnitude(long((k * 91 + i * 7919) % 65001) - 32500);
        sen.insert(sen.end(), w.begin(), w.end());
    }
    zento::append_frame(out, zento::kTypeAttitude, att);
    zento::append_frame(out, zento::kTypeSensor, sen);
    return out;
}

inline Bytes ticks(int from, int count) {
    Bytes out;
    for (int k = from; k < from + count; ++k) {
        const Bytes t = tick(k);
        out.insert(out.end(), t.begin(), t.end());
    }
    return out;
}

// A pcap file of any variant, written by hand (independently of the recorder's writer).
struct PcapBuilder {
    bool big_endian = false;
    bool nano = false;
    std::uint32_t snaplen = 65535;
    std::uint32_t linktype = 147;
    std::uint16_t major = 2;
    Bytes bytes;

    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(std::uint8_t(big_endian ? v >> (24 - 8 * i) : v >> (8 * i)));
    }
    void u16(std::uint16_t v) {
        for (int i = 0; i < 2; ++i)
            bytes.push_back(std::uint8_t(big_endian ? v >> (8 - 8 * i) : v >> (8 * i)));
    }
    PcapBuilder& header() {
        u32(nano ? 0xA1B23C4D : 0xA1B2C3D4);
        u16(major);
        u16(4);
        u32(0);
        u32(0);
        u32(snaplen);
        u32(linktype);
        return *this;
    }
    // A record at `ns` (nanoseconds since 1970; microsecond files keep microseconds).
    PcapBuilder& record(std::int64_t ns, std::uint8_t direction, std::span<const std::uint8_t> p,
                        std::int64_t incl = -1) {
        u32(std::uint32_t(ns / 1'000'000'000));
        u32(std::uint32_t(nano ? ns % 1'000'000'000 : ns % 1'000'000'000 / 1000));
        const auto n = std::uint32_t(incl >= 0 ? incl : std::int64_t(p.size()) + 1);
        u32(n);
        u32(n);
        bytes.push_back(direction);
        bytes.insert(bytes.end(), p.begin(), p.end());
        return *this;
    }
};

// A pcapng file written by hand, block by block, in either byte order (big_endian may change
// between sections). Packets are records: the direction byte, then the payload.
struct PcapngBuilder {
    bool big_endian = false;
    Bytes bytes;

    // Values of the given sizes in bytes, in the builder's byte order.
    Bytes fields(std::initializer_list<std::pair<std::uint64_t, int>> values) const {
        Bytes b;
        for (const auto& [v, size] : values)
            for (int i = 0; i < size; ++i)
                b.push_back(std::uint8_t(v >> (8 * (big_endian ? size - 1 - i : i))));
        return b;
    }
    // A block of any type; `total` other than 0 is written as its first length (damage).
    PcapngBuilder& block(std::uint32_t type, Bytes body, std::uint32_t total = 0) {
        const auto n = std::uint32_t((body.size() + 3) / 4 * 4 + 12);
        body.resize(n - 12);
        for (const Bytes& b : {fields({{type, 4}, {total ? total : n, 4}}), body, fields({{n, 4}})})
            bytes.insert(bytes.end(), b.begin(), b.end());
        return *this;
    }
    PcapngBuilder& section(std::uint16_t major = 1) {
        return block(0x0A0D0D0A, fields({{0x1A2B3C4D, 4}, {major, 2}, {0, 2}, {~0ull, 8}}));
    }
    // With the options if_tsresol (9) and if_tsoffset (14).
    PcapngBuilder& interface(std::uint16_t linktype = 147, std::uint32_t snaplen = 65535,
                             std::uint8_t tsresol = 6, std::int64_t tsoffset = 0) {
        return block(1, fields({{linktype, 2},
                                {0, 2},
                                {snaplen, 4},
                                {9, 2},
                                {1, 2},
                                {tsresol, 1},
                                {0, 3},
                                {14, 2},
                                {8, 2},
                                {std::uint64_t(tsoffset), 8},
                                {0, 4}}));
    }
    // An enhanced packet block of the record (`incl` other than -1: its captured length).
    PcapngBuilder& packet(std::uint32_t iface, std::uint64_t ticks, const Bytes& record,
                          std::int64_t incl = -1) {
        Bytes b = fields({{iface, 4},
                          {ticks >> 32, 4},
                          {ticks & 0xFFFFFFFF, 4},
                          {incl >= 0 ? std::uint64_t(incl) : record.size(), 4},
                          {record.size(), 4}});
        b.insert(b.end(), record.begin(), record.end());
        return block(6, b);
    }
    PcapngBuilder& simple(const Bytes& record) {
        Bytes b = fields({{record.size(), 4}});
        b.insert(b.end(), record.begin(), record.end());
        return block(3, b);
    }
};

inline Bytes record(std::uint8_t direction, const Bytes& payload) {
    Bytes r{direction};
    r.insert(r.end(), payload.begin(), payload.end());
    return r;
}

// Bytes of memory as a source, handed out in pieces of at most `piece` bytes.
class MemorySource final : public zento::ByteSource {
  public:
    explicit MemorySource(Bytes bytes, std::size_t piece = 1 << 20)
        : bytes_(std::move(bytes)), piece_(piece) {}
    std::ptrdiff_t read(std::uint8_t* into, std::size_t max) override {
        const std::size_t n = std::min({max, piece_, bytes_.size() - at_});
        std::copy_n(bytes_.begin() + std::ptrdiff_t(at_), n, into);
        at_ += n;
        return std::ptrdiff_t(n);
    }

  private:
    Bytes bytes_;
    std::size_t piece_;
    std::size_t at_ = 0;
};

struct ReadBatch {
    std::int64_t time_ns;
    zento::Direction direction;
    std::uint64_t offset;
    Bytes bytes;
    bool operator==(const ReadBatch&) const = default;
};

struct ReadAll {
    std::vector<ReadBatch> batches;
    zento::ReaderStop stop;
    std::string refusal;
};

inline ReadAll read_all(zento::RecordingReader& r) {
    ReadAll all;
    if (!r.start()) {
        all.refusal = r.refusal();
        return all;
    }
    while (const auto b = r.next())
        all.batches.push_back(
            {b->time_ns, b->direction, b->offset, {b->bytes.begin(), b->bytes.end()}});
    all.stop = r.stop();
    return all;
}

inline ReadAll read_all(const Bytes& bytes, zento::ReaderOptions options = {},
                        std::size_t piece = 1 << 20) {
    MemorySource src(bytes, piece);
    zento::RecordingReader r(src, options);
    return read_all(r);
}

// Waits (polling, with a generous limit that only a hang reaches) until `done` holds.
inline bool wait_until(const std::function<bool()>& done,
                       std::chrono::seconds limit = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A word for the shell: in single quotes, any single quote escaped.
inline std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

#ifndef _WIN32
// Standard output of a shell command, and its exit status (-1 when it did not exit).
inline std::pair<int, std::string> run_shell(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return {-1, out};
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    const int rc = ::pclose(p);
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, out};
}
#endif

} // namespace rec_test
