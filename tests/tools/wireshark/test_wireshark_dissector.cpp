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
    if (sep == '\n' && out.back().empty()) out.pop_back();
    return out;
}

// "TIME,TYPE,VALUES": the frame's row as tshark's fields can give it.
std::string row(const std::vector<std::string>& cells, std::size_t from, std::size_t to) {
    std::string r = cells[0] + "," + cells[1];
    for (std::size_t i = from; i < to; ++i)
        r += "," + cells[i];
    return r;
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
    // a length of 1 followed by an end byte; the long form with header bytes in its payload.
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

    // zento-decode's rows; within a record tshark lists attitude frames before sensor frames.
    std::vector<std::string> want;
    const auto [csv_status, csv] = run_shell(quote(bin + "zento-decode") + " --csv " + quote(rec));
    ASSERT_EQ(csv_status, 0);
    for (const std::string& line : split(csv, '\n')) {
        const auto c = split(line, ',');
        if (c[1] == "attitude" || c[1] == "sensor")
            want.push_back(c[1] == "attitude" ? row(c, 2, 9) : row(c, 9, 18));
    }
    auto time = [](const std::string& r) { return r.substr(0, r.find(',')); };
    for (auto g = want.begin(); g != want.end();) {
        const auto e = std::find_if(g, want.end(), [&](auto& r) { return time(r) != time(*g); });
        std::stable_partition(g, e, [](auto& r) { return r.find(",attitude,") < r.size(); });
        g = e;
    }
    const auto [decode_status, events] = run_shell(quote(bin + "zento-decode") + " " + quote(rec));
    ASSERT_EQ(decode_status, 0);
    const std::vector<std::string> log = split(events, '\n');
    const auto checksum_errors = std::count(log.begin(), log.end(), "log,Check-Sum Error!");
    ASSERT_GT(checksum_errors, 0);

    std::string fields = " -e frame.time_relative -e zento.direction -e zento.type"
                         " -e zento.checksum_ok -e _ws.expert.message";
    for (const char* f : {"yaw", "pitch", "roll", "altitude", "temperature", "pressure", "rate",
                          "accel_x", "accel_y", "accel_z", "gyro_x", "gyro_y", "gyro_z", "mag_x",
                          "mag_y", "mag_z"})
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
        std::vector<std::string> got;
        long flagged = 0;
        std::size_t commands = 0;
        for (const std::string& line : split(out, '\n')) {
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
            for (const auto& [type, from, to] : {std::tuple{"attitude", 5, 12}, {"sensor", 12, 21}})
                for (std::size_t k = 0; !c[from].empty() && k < split(c[from], ',').size(); ++k) {
                    std::vector<std::string> cells{c[0].substr(0, c[0].size() - 3), type};
                    for (int i = from; i < to; ++i)
                        cells.push_back(split(c[i], ',').at(k));
                    got.push_back(row(cells, 2, cells.size()));
                }
        }
        EXPECT_EQ(flagged, checksum_errors);
        EXPECT_EQ(commands, sent);
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], want[i]) << "frame " << i;
    }
}
