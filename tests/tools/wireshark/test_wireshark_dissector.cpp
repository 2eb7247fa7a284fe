// The Wireshark dissector (data/wireshark/zento.lua) as tshark runs it on a recording of the
// simulated board cut into records anywhere: every frame's values are zento-decode --csv's, in
// the record that completes the frame, whether tshark makes one pass or two (the second dissects
// every record again, as Wireshark's window does when a record is clicked); a frame with a bad
// checksum is flagged; the commands the program sent are named.
#include "recording_test_util.h"
#include "test_folder.h"
#include "test_paths.h"

#include <gtest/gtest.h>

using namespace rec_test;
using namespace zento;

namespace {

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out(1);
    for (char c : s) {
        if (c == sep)
            out.emplace_back();
        else
            out.back().push_back(c);
    }
    return out;
}

std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out = split(s, '\n');
    if (out.back().empty()) out.pop_back();
    return out;
}

const char* const kAttitude[] = {"yaw", "pitch", "roll", "altitude", "temperature", "pressure",
                                 "rate"};
const char* const kSensor[] = {"accel_x", "accel_y", "accel_z", "gyro_x", "gyro_y",
                               "gyro_z",  "mag_x",   "mag_y",   "mag_z"};

// The frames of one record as CSV rows without the time: attitude rows, then sensor rows.
struct Group {
    std::string time, attitude, sensor;
    bool operator==(const Group&) const = default;
};

std::ostream& operator<<(std::ostream& o, const Group& g) {
    return o << g.time << "\n" << g.attitude << g.sensor;
}

} // namespace

TEST(WiresharkDissector, ValuesAreZentoDecodesFrameForFrameAndBadChecksumsAreFlagged) {
    zento_test::TempDir tmp;
    const std::string bin = zento_test::bin_dir() + "/";
    const std::string lua = zento_test::source_dir() + "/data/wireshark/zento.lua";
    ASSERT_EQ(run_shell("command -v tshark >/dev/null").first, 0)
        << "tshark is not installed (scripts/deps installs it)";

    // 10 s of the board with 3 % of its frames damaged, and the receiver's corner cases: frames
    // started by a lone 0x5A after a frame ends, or by an 0xA5 with other bytes before the 0x5A;
    // an impossible length; the long form with header bytes in its payload.
    const auto [board_status, board] =
        run_shell(quote(bin + "zento-board") + " --out - --seconds 10 --seed 7 --faults 0.03");
    ASSERT_EQ(board_status, 0);
    Bytes stream(board.begin(), board.end()), att, sen;
    append_frame(att, kTypeAttitude, kAttitudeExample);
    append_frame(sen, kTypeSensor, kSensorExample);
    for (const Bytes& b : {att, Bytes(att.begin() + 1, att.end()), Bytes{0xA5, 0x11, 0x22},
                           Bytes(sen.begin() + 1, sen.end()), Bytes{0xA5, 0x5A, 0x01, 0xAA}, sen})
        stream.insert(stream.end(), b.begin(), b.end());
    append_frame(stream, kTypeSensor, Bytes(kLongFormPayload, 0xA5));
    stream.insert(stream.end(), att.begin(), att.end());
    // Recorded in records of 1 to 97 bytes (a frame often spans two or three), with a command
    // the program sent every 50 records.
    Bytes pcap;
    append_pcap_header(pcap);
    std::int64_t t = 1'765'000'000'000'000;
    append_pcap_records(pcap, t, Direction::received, {});
    std::uint32_t seed = 7;
    std::size_t sent = 0;
    for (std::size_t at = 0, k = 1; at < stream.size(); ++k) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t n = std::min<std::size_t>(stream.size() - at, 1 + (seed >> 16) % 97);
        t += 1000 + (seed >> 8) % 40000;
        append_pcap_records(pcap, t, Direction::received, std::span(stream).subspan(at, n));
        at += n;
        if (k % 50 == 0)
            sent += append_pcap_records(pcap, t + 1, Direction::sent,
                                        command_frame(k % 100 ? kTypeGyroBias : kTypeHeightZero));
    }
    const std::string rec = tmp.put("board.pcap", pcap);

    std::vector<Group> want;
    const auto [csv_status, csv] = run_shell(quote(bin + "zento-decode") + " --csv " + quote(rec));
    ASSERT_EQ(csv_status, 0);
    for (const std::string& row : lines(csv)) {
        const auto c = split(row, ',');
        if (c[1] != "attitude" && c[1] != "sensor") continue; // the header
        if (want.empty() || want.back().time != c[0]) want.push_back({c[0], {}, {}});
        const bool att = c[1] == "attitude";
        std::string& to = att ? want.back().attitude : want.back().sensor;
        for (std::size_t i = att ? 2 : 9; i < (att ? 9u : 18u); ++i)
            to += c[i] + (i + 1 < (att ? 9u : 18u) ? "," : "\n");
    }
    const auto [decode_status, events] = run_shell(quote(bin + "zento-decode") + " " + quote(rec));
    ASSERT_EQ(decode_status, 0);
    std::size_t checksum_errors = 0;
    for (const std::string& e : lines(events))
        checksum_errors += e == "log,Check-Sum Error!";
    ASSERT_GT(checksum_errors, 0u);

    std::string fields = " -e frame.time_relative -e zento.direction -e zento.type"
                         " -e zento.checksum_ok -e _ws.expert.message";
    for (const char* f : kAttitude)
        fields += std::string(" -e zento.") + f;
    for (const char* f : kSensor)
        fields += std::string(" -e zento.") + f;
    for (const std::string passes : {"", " -2"}) {
        SCOPED_TRACE("tshark" + passes);
        const std::string err = tmp / "err";
        const auto [status, out] = run_shell("HOME=" + quote(tmp.path().string()) + " tshark" +
                                             passes + " -X lua_script:" + quote(lua) + " -r " +
                                             quote(rec) + " -T fields" + fields + " 2>" + quote(err));
        ASSERT_EQ(status, 0) << zento_test::read_text(err);
        EXPECT_EQ(zento_test::read_text(err).find("Lua"), std::string::npos)
            << "the dissector did not load (is another zento.lua installed in Wireshark's plugin "
               "folders?): "
            << zento_test::read_text(err);
        std::vector<Group> got;
        std::size_t flagged = 0, commands = 0;
        for (const std::string& line : lines(out)) {
            const auto c = split(line, '\t');
            ASSERT_EQ(c.size(), 5u + 7 + 9) << line;
            if (c[1] == "1") {
                EXPECT_TRUE(c[2] == "0xe0" || c[2] == "0xe2") << line;
                ++commands;
                continue;
            }
            for (const std::string& ok : split(c[3], ','))
                if (ok == "0") {
                    ++flagged;
                    EXPECT_NE(c[4].find("Check-Sum Error!"), std::string::npos) << line;
                }
            Group g{c[0].substr(0, c[0].size() - 3), {}, {}}; // nanoseconds to microseconds
            for (int type = 0; type < 2; ++type) {
                const std::size_t from = type ? 12 : 5, to = type ? 21 : 12;
                std::vector<std::vector<std::string>> cols;
                for (std::size_t i = from; i < to; ++i)
                    cols.push_back(c[i].empty() ? std::vector<std::string>{} : split(c[i], ','));
                for (std::size_t k = 0; k < cols[0].size(); ++k)
                    for (std::size_t i = 0; i < cols.size(); ++i)
                        (type ? g.sensor : g.attitude) +=
                            cols[i].at(k) + (i + 1 < cols.size() ? "," : "\n");
            }
            if (!g.attitude.empty() || !g.sensor.empty()) got.push_back(g);
        }
        EXPECT_EQ(flagged, checksum_errors);
        EXPECT_EQ(commands, sent);
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], want[i]) << "record group " << i;
    }
}
