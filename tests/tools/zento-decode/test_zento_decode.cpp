// zento-decode end to end: the real binary on captures and pcap recordings, from files and from
// standard input, whole output compared.
#include "link/envelope.h"
#include "telemetry/value_text.h"
#include "test_paths.h"

#include "recording_test_util.h"

#include "test_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

using namespace zento;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

namespace {

using namespace rec_test;

struct Result {
    int status = -1;
    std::string out, err;
};

class ZentoDecode : public ::testing::Test {
  protected:
    void SetUp() override {
        tool_ = fs::path(zento_test::bin_dir()) / "zento-decode";
        ASSERT_TRUE(fs::exists(tool_)) << tool_;
    }
    fs::path write(const std::string& name, const Bytes& bytes) { return tmp.put(name, bytes); }

    // Runs the tool with the arguments; `input` (a shell redirection or pipe) feeds it.
    Result run(const std::vector<std::string>& args, const std::string& input = "</dev/null",
               const std::string& before = "") {
        std::string cmd = before + quote(tool_.string());
        for (const auto& a : args)
            cmd += " " + quote(a);
        const auto [status, out] =
            run_shell(cmd + " " + input + " 2>" + quote((dir_ / "err").string()));
        return {status, out, zento_test::read_text(dir_ / "err")};
    }

    zento_test::TempDir tmp;
    fs::path tool_, dir_ = tmp.path();
};

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace

// The worked examples and each kind of line the tool writes besides (what the receiver makes
// of damage is its own test): noise, a command frame, a checksum error, frames too short for
// their type, and a frame the input ends in the middle of.
TEST_F(ZentoDecode, EveryKindOfLineFromAFileOrStandardInputAndFramesMode) {
    Bytes bad = build_frame(kTypeSensor, kSensorExample);
    bad[bad.size() - 2] ^= 1;
    const fs::path f = write("mixed.bin", cat({build_frame(kTypeAttitude, kAttitudeExample),
                                               {0x00, 0xAA, 0x13},
                                               build_frame(kTypeSensor, kSensorExample),
                                               build_frame(0xE0, {}),
                                               bad,
                                               build_frame(kTypeAttitude, Bytes(5, 0x01)),
                                               build_frame(kTypeSensor, Bytes(17, 0x80)),
                                               {0xA5, 0x5A, 0x12, 0xA1, 0x00}}));
    for (const Result& r : {run({f.string()}), run({}, "<" + quote(f.string())),
                            run({"-"}, "<" + quote(f.string()))}) {
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "attitude,-30,9,1.5,100,25,101320,10\n"
                         "sensor,16,-16,16384,0,-5,5,300,-300,0\n"
                         "other,e0\n"
                         "log,Check-Sum Error!\n"
                         "short,a1,8\n"
                         "short,a2,20\n");
        EXPECT_EQ(r.err, "");
    }
    const Result r = run({"--frames"}, "<" + quote(f.string()));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "frame,12a1812c005a000f03e800fa2794000a73\n"
                     "frame,16a2001080104000000080050005012c812c0000fc\n"
                     "frame,04e0e4\n"
                     "log,Check-Sum Error!\n"
                     "frame,09a10101010101af\n"
                     "frame,15a2808080808080808080808080808080808037\n");
}

TEST_F(ZentoDecode, LargeCaptureAcrossBlocksFileAndPipeAgree) {
    // 100000 frames, 2.2 MB: frames cross the tool's read blocks and the pipe's, and so does
    // every 997th frame, whose checksum is wrong.
    Bytes capture;
    std::string want;
    char t[kValueTextMax];
    for (int k = 0; k < 100000; ++k) {
        Bytes p;
        std::string line = k % 2 ? "sensor" : "attitude";
        const int fields = k % 2 ? 9 : 7;
        for (int i = 0; i < fields; ++i) {
            const long w = long((k * 7919 + i * 104729) % 65535) - 32767;
            const auto e = encode_sign_magnitude(w);
            p.insert(p.end(), e.begin(), e.end());
            float v = float(w);
            if (!(k % 2) && i < 5) v = v / 10.0f;
            if (!(k % 2) && i == 5) v = v * 10.0f;
            line += ',';
            line.append(t, value_text(v, t));
        }
        append_frame(capture, k % 2 ? kTypeSensor : kTypeAttitude, p);
        if (k % 997 == 996) capture[capture.size() - 2] ^= 0x40, line = "log,Check-Sum Error!";
        want += line + '\n';
    }
    const fs::path f = write("large.bin", capture);
    const Result from_file = run({f.string()});
    EXPECT_EQ(from_file.status, 0);
    EXPECT_TRUE(from_file.out == want)
        << "outputs differ (" << from_file.out.size() << " vs " << want.size() << " bytes)";
    const Result from_pipe = run({}, "", "cat " + quote(f.string()) + " | ");
    EXPECT_EQ(from_pipe.status, 0);
    EXPECT_TRUE(from_pipe.out == want);
}

TEST_F(ZentoDecode, UnreadableInputIsNamedWithTheReason) {
    const std::string missing = (dir_ / "no such capture.bin").string();
    Result r = run({missing});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "zento-decode: cannot open " + missing + ": No such file or directory\n");

    // What is not a regular file is refused before it is read: a FIFO would block for ever
    // (the test's timeout fails a hang), a device may never end.
    const std::string fifo = (dir_ / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const auto& [path, reason] :
         {std::pair{dir_.string(), "it is a folder"},
          std::pair{fifo, "it is a named pipe (FIFO), not a regular file"},
          std::pair{std::string("/dev/zero"), "it is a device, not a regular file"}}) {
        r = run({path});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "zento-decode: cannot open " + path + ": " + reason + "\n");
    }

    r = run({}, "<" + quote(dir_.string())); // standard input that cannot be read
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "zento-decode: cannot read standard input: Is a directory\n");
}

TEST_F(ZentoDecode, OptionsAndHelp) {
    Result r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: zento-decode", 0), 0u) << r.out;

    r = run({write("empty.bin", {}).string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");

    r = run({"--bogus"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("zento-decode: unknown option '--bogus'\nusage: zento-decode", 0), 0u)
        << r.err;

    const fs::path a = write("a.bin", {}), b = write("b.bin", {});
    r = run({a.string(), b.string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("more than one input"), std::string::npos);
    EXPECT_NE(r.err.find("usage:"), std::string::npos);

    // After "--" a name that starts with a dash is a file.
    const fs::path dash = write("-x.bin", build_frame(0xE2, {}));
    r = run({"--", dash.filename().string()}, "</dev/null", "cd " + quote(dir_.string()) + " && ");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "other,e2\n");
}

// --- recordings ---

namespace {

const std::string kHeader = "time_s,type,yaw_deg,pitch_deg,roll_deg,altitude_m,temperature_c,"
                            "pressure_pa,solution_rate,accel_x_counts,accel_y_counts,"
                            "accel_z_counts,gyro_x_counts,gyro_y_counts,gyro_z_counts,"
                            "mag_x_counts,mag_y_counts,mag_z_counts,event\n";
constexpr std::int64_t kT0 = 1'765'000'000'000'000'000;

// The example frames, a damaged one, noise and a frame split over two records.
Bytes recorded_stream() {
    Bytes s;
    append_frame(s, kTypeAttitude, kAttitudeExample);
    s.insert(s.end(), {0x00, 0xAA, 0x13});
    append_frame(s, kTypeSensor, kSensorExample);
    Bytes bad;
    append_frame(bad, kTypeSensor, kSensorExample);
    bad[bad.size() - 2] ^= 1;
    s.insert(s.end(), bad.begin(), bad.end());
    append_frame(s, 0x7F, Bytes{1, 2});
    append_frame(s, kTypeAttitude, kAttitudeExample);
    return s;
}

} // namespace

// The pcap variants are the reader's test; here one that differs most from what the recorder
// writes (big-endian, nanoseconds), from a file and from standard input.
TEST_F(ZentoDecode, APcapGivesTheLinesOfItsBytesFromTheBoard) {
    const Bytes plain = recorded_stream();
    PcapBuilder b;
    b.big_endian = b.nano = true;
    b.header().record(kT0, 0, {});
    const std::size_t cut = 30; // inside the sensor frame
    b.record(kT0 + 1000, 0, std::span(plain).first(cut));
    b.record(kT0 + 2000, 1, command_frame(kTypeGyroBias)); // a command the program sent
    b.record(kT0 + 3000, 0, std::span(plain).subspan(cut));
    const std::string file = tmp.put("r.pcap", b.bytes);
    for (const Result& r :
         {run({tmp.put("plain.bin", plain)}), run({file}), run({"-"}, "<" + quote(file))}) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "attitude,-30,9,1.5,100,25,101320,10\n"
                         "sensor,16,-16,16384,0,-5,5,300,-300,0\n"
                         "log,Check-Sum Error!\n"
                         "other,7f\n"
                         "attitude,-30,9,1.5,100,25,101320,10\n");
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(ZentoDecode, CsvTimesComeFromTheRecordsOrFromTwentyFramesASecond) {
    Bytes att, sen;
    append_frame(att, kTypeAttitude, kAttitudeExample);
    append_frame(sen, kTypeSensor, kSensorExample);
    PcapBuilder b;
    b.nano = true;
    b.header().record(kT0, 0, {}); // the start
    b.record(kT0 + 250'000'999, 0, att);
    b.record(kT0 + 300'000'000, 1, command_frame(kTypeHeightZero));
    b.record(kT0 + 1'000'001'000, 0, std::span(sen).first(5));
    b.record(kT0 + 3'600'000'000'000, 0, std::span(sen).subspan(5));
    Result r = run({"--csv", tmp.put("r.pcap", b.bytes)});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kHeader + "0.250000," + kAttitudeRow + "0.300000,command" +
                         std::string(17, ',') + "height zero\n3600.000000,gap" +
                         std::string(17, ',') + "gap 3599.0 s\n3600.000000," + kSensorRow);

    Bytes plain = att;
    plain.insert(plain.end(), sen.begin(), sen.end());
    plain.insert(plain.end(), att.begin(), att.end());
    plain.insert(plain.end(), sen.begin(), sen.end());
    r = run({"--csv", tmp.put("c.bin", plain)});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kHeader + "0.000000," + kAttitudeRow + "0.000000," + kSensorRow + "0.050000," +
                         kAttitudeRow + "0.050000," + kSensorRow);
}

TEST_F(ZentoDecode, DamageIsDecodedUpToAndNamedAndOtherFilesRefused) {
    PcapBuilder b;
    b.header().record(kT0, 0, recorded_stream()).record(kT0 + 1, 0, recorded_stream());
    b.bytes.resize(b.bytes.size() - 1);
    const std::string cut = tmp.put("cut.pcap", b.bytes);
    Result r = run({cut});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.rfind("attitude,-30,9,1.5,100,25,101320,10\n", 0), 0u) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 5); // the first record's lines
    const std::size_t second = 24 + 16 + 1 + recorded_stream().size();
    EXPECT_EQ(r.err, "zento-decode: " + cut + ": truncated record at byte " +
                         std::to_string(second) + " (" + std::to_string(recorded_stream().size()) +
                         " of " + std::to_string(recorded_stream().size() + 1) +
                         " bytes); decoded up to there\n");

    PcapBuilder eth;
    eth.linktype = 1;
    const std::string other =
        tmp.put("eth.pcap", eth.header().record(kT0, 0, recorded_stream()).bytes);
    r = run({"--csv", other});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "zento-decode: " + other +
                         ": it is a pcap file of link type 1, not a Zento recording (link type "
                         "147, LINKTYPE_USER0)\n");

    r = run({"--csv", "--frames", cut});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("zento-decode: --frames and --csv cannot be used together\n", 0), 0u);
}

// --- statistics ---

namespace {

// The cell of a CSV table in the row whose first cell is `row`, under the header `column`.
std::string cell(const std::string& csv, const std::string& row, const std::string& column) {
    const auto cells = [](const std::string& line) {
        std::vector<std::string> v(1);
        for (char ch : line)
            if (ch == ',')
                v.emplace_back();
            else
                v.back().push_back(ch);
        return v;
    };
    const auto head = cells(csv.substr(0, csv.find('\n')));
    const std::size_t at = csv.find("\n" + row + ",");
    if (at == std::string::npos) return "no row " + row;
    const auto line = cells(csv.substr(at + 1, csv.find('\n', at + 1) - at - 1));
    const auto col = std::find(head.begin(), head.end(), column) - head.begin();
    return std::size_t(col) < line.size() ? line[std::size_t(col)] : "no column " + column;
}

} // namespace

// A still board of known noise, written by zento-board at 20 and at 250 ticks a second (the
// capture paced with --rate): the densities come back within 5 %, each with the rounding to
// whole counts (1/12 count^2 a sample) added.
TEST_F(ZentoDecode, AStillBoardCaptureGivesBackItsNoise) {
    const std::string board = (fs::path(zento_test::bin_dir()) / "zento-board").string();
    for (const auto& [rate, seconds] : {std::pair{20, 1800}, std::pair{250, 1800}}) {
        SCOPED_TRACE(rate);
        const std::string cap = (dir_ / "still.bin").string();
        ASSERT_EQ(run_shell(quote(board) + " --still --gyro-noise 0.01 --accel-noise 0.0002 " +
                            "--seed 4 --rate " + std::to_string(rate) + " --seconds " +
                            std::to_string(seconds) + " --out " + quote(cap) + " 2>/dev/null")
                      .first,
                  0);
        const Result r = run({"--stats", "--rate", std::to_string(rate), cap});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        for (const auto& [axis, density, scale] :
             {std::tuple{"gyro_x", 0.01, 16.4}, std::tuple{"gyro_z", 0.01, 16.4},
              std::tuple{"accel_y", 0.0002, 16384.0}}) {
            const double want = std::sqrt(density * density + 1.0 / 12 / rate / scale / scale);
            EXPECT_NEAR(std::stod(cell(r.out, axis, "noise_density")), want, 0.05 * want);
            const double arw = std::stod(cell(r.out, axis, "random_walk"));
            EXPECT_NEAR(arw / (scale > 100 ? 9.80665 * 60 : 60), want, 0.05 * want) << axis;
            EXPECT_EQ(cell(r.out, axis, "frames"), std::to_string(rate * seconds));
            EXPECT_EQ(cell(r.out, axis, "gaps"), "0");
            EXPECT_EQ(cell(r.out, axis, "rate_hz"), std::to_string(rate));
        }
        EXPECT_EQ(cell(r.out, "pitch", "sd"), "0"); // still
    }
}

// A recording at 20 frame pairs a second: a silence of 2 s, a damaged sensor frame. The table
// counts the frames and gaps; the Allan curve runs from one period up to a tenth of the frames.
TEST_F(ZentoDecode, StatsAndAllanOfARecordingWithGaps) {
    Bytes att, sen;
    append_frame(att, kTypeAttitude, kAttitudeExample);
    append_frame(sen, kTypeSensor, kSensorExample);
    PcapBuilder b;
    b.header().record(kT0, 0, {});
    for (int k = 0; k < 400; ++k) {
        if (k >= 100 && k < 140) continue;
        Bytes tick = cat({att, sen});
        if (k == 150) tick[tick.size() - 2] ^= 1;
        b.record(kT0 + std::int64_t(k) * 50'000'000 + 3'000'000, 0, tick);
    }
    const std::string file = tmp.put("gaps.pcap", b.bytes);
    Result r = run({"--stats", file});
    ASSERT_EQ(r.status, 0) << r.err;
    // Rows of each kind and unit; the rest differ only in their values.
    for (const std::string row :
         {"accel_z,g,359,2,20,1,0,1,1,16384,16384,0,16384,16384,0,3.9398e-06,g/sqrt(Hz),0,"
          "m/s/sqrt(h),0,mg,0.05",
          "gyro_y,deg/s,359,2,20,-0.304878,0,-0.304878,-0.304878,16.4,-5,0,-5,-5,0,0.00393596,"
          "deg/s/sqrt(Hz),0,deg/sqrt(h),0,deg/h,0.05",
          "mag_x,gauss,359,2,20,0.275229,0,0.275229,0.275229,1090,300,0,300,300,0,5.92199e-05,"
          "gauss/sqrt(Hz),,,,,",
          "yaw,deg,360,2,20,-30,0,-30,-30,10,-300,0,-300,-300,0,0.00645497,deg/sqrt(Hz),,,,,"})
        EXPECT_NE(r.out.find("\n" + row + "\n"), std::string::npos) << row << "\n" << r.out;

    r = run({"--allan", "--from", "10", "--to", "20", file}); // 201 frames, no gap
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "tau_s,accel_x_g,accel_y_g,accel_z_g,gyro_x_dps,gyro_y_dps,gyro_z_dps,"
                     "mag_x_gauss,mag_y_gauss,mag_z_gauss\n"
                     "0.05,0,0,0,0,0,0,0,0,0\n0.1,0,0,0,0,0,0,0,0,0\n0.2,0,0,0,0,0,0,0,0,0\n"
                     "0.4,0,0,0,0,0,0,0,0,0\n0.8,0,0,0,0,0,0,0,0,0\n1,0,0,0,0,0,0,0,0,0\n");
}

TEST_F(ZentoDecode, BadStatsOptionsAndIntervalsAreRefusedWithTheReason) {
    const std::string f = tmp.put("t.bin", ticks(0, 40)); // 2 s at 20 a second
    for (const auto& [args, why] :
         std::initializer_list<std::pair<std::vector<std::string>, std::string>>{
             {{"--stats", "--csv", f}, "--csv and --stats cannot be used together"},
             {{"--allan", "--frames", f}, "--frames and --allan cannot be used together"},
             {{"--stats", "--allan", f}, "--stats and --allan cannot be used together"},
             {{"--to", "3", f}, "--to is only used with --stats or --allan"},
             {{"--stats", "--from", "1e999", f},
              "--from 1e999: give seconds from the start of "
              "the recording"},
             {{"--stats", "--from", "5", "--to", "5", f}, "--from 5 is not before --to 5"},
             {{"--allan", "--to"}, "option --to needs a value"},
             {{"--rate", "250", f}, "--rate is only used with --csv, --ticks, --stats or --allan"},
             {{"--stats", "--rate", "-1", f},
              "--rate -1: give attitude frames a second, more "
              "than 0 and at most 10000"},
         }) {
        const Result r = run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), "zento-decode: " + why);
        EXPECT_NE(r.err.find("usage:"), std::string::npos);
    }
    for (const auto& [args, why] :
         std::initializer_list<std::pair<std::vector<std::string>, std::string>>{
             {{"--stats", "--from", "3", f}, "no frames from 3 s on"},
             {{"--allan", "--to", "0.01", f},
              "only one sensor frame up to 0.01 s: at least two are needed; only one attitude "
              "frame up to 0.01 s: at least two are needed"},
             {{"--stats", tmp.put("e.bin", Bytes{})}, "no frames in the recording"},
         }) {
        const Result r = run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "zento-decode: " + args.back() + ": " + why + "\n");
    }
}

// A recording rewritten by editcap (pcapng, with comments) decodes as the recording does.
TEST_F(ZentoDecode, APcapngFileOfWiresharksToolsGivesTheRecordingsCsv) {
    const std::string dir = zento_test::source_dir() + "/tests/recording/fixtures/";
    const Result pcap = run({"--csv", dir + "a.pcap"}),
                 ng = run({"--csv", dir + "a-comment.pcapng"});
    EXPECT_EQ(ng.status, 0) << ng.err;
    EXPECT_GT(std::count(ng.out.begin(), ng.out.end(), '\n'), 80);
    EXPECT_EQ(ng.out, pcap.out);
}
