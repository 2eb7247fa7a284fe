// zento-decode on pcap recordings: the same lines as the plain capture of the same bytes, the
// CSV with times from the records, damage and refusals named.
#include "link/envelope.h"
#include "recording_test_util.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

using namespace zento;
using namespace rec_test;
namespace fs = std::filesystem;

namespace {

const Bytes kAttitude = {0x81, 0x2C, 0x00, 0x5A, 0x00, 0x0F, 0x03,
                         0xE8, 0x00, 0xFA, 0x27, 0x94, 0x00, 0x0A};
const Bytes kSensor = {0x00, 0x10, 0x80, 0x10, 0x40, 0x00, 0x00, 0x00, 0x80,
                       0x05, 0x00, 0x05, 0x01, 0x2C, 0x81, 0x2C, 0x00, 0x00};
const std::string kHeader = "time_s,type,yaw_deg,pitch_deg,roll_deg,altitude_m,temperature_c,"
                            "pressure_pa,solution_rate,accel_x_counts,accel_y_counts,"
                            "accel_z_counts,gyro_x_counts,gyro_y_counts,gyro_z_counts,"
                            "mag_x_counts,mag_y_counts,mag_z_counts\n";
const std::string kAttitudeRow = "attitude,-30,9,1.5,100,25,101320,10,,,,,,,,,\n";
const std::string kSensorRow = "sensor,,,,,,,,16,-16,16384,0,-5,5,300,-300,0\n";
constexpr std::int64_t kT0 = 1'765'000'000'000'000'000;

struct Result {
    int status = -1;
    std::string out, err;
};

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class DecodeRecordings : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* bin = std::getenv("ZENTO_BIN_DIR");
        ASSERT_NE(bin, nullptr) << "ZENTO_BIN_DIR is not set (run through ctest)";
        tool_ = fs::path(bin) / "zento-decode";
    }
    Result run(const std::string& args) {
        const std::string cmd = quote(tool_.string()) + " " + args + " >" + quote(tmp / "out") +
                                " 2>" + quote(tmp / "err");
        const int rc = std::system(cmd.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, zento_test::read_text(tmp / "out"),
                zento_test::read_text(tmp / "err")};
    }
    zento_test::TempDir tmp;
    fs::path tool_;
};

// The example frames, a damaged one, noise and a frame split over two records.
Bytes stream() {
    Bytes s;
    append_frame(s, kTypeAttitude, kAttitude);
    s.insert(s.end(), {0x00, 0xAA, 0x13});
    append_frame(s, kTypeSensor, kSensor);
    Bytes bad;
    append_frame(bad, kTypeSensor, kSensor);
    bad[bad.size() - 2] ^= 1;
    s.insert(s.end(), bad.begin(), bad.end());
    append_frame(s, 0x7F, Bytes{1, 2});
    append_frame(s, kTypeAttitude, kAttitude);
    return s;
}

TEST_F(DecodeRecordings, APcapGivesTheLinesOfItsBytesFromTheBoardInEveryVariant) {
    const Bytes plain = stream();
    const Result want = run(quote(tmp.put("plain.bin", plain)));
    ASSERT_EQ(want.status, 0);
    ASSERT_EQ(want.out, "attitude,-30,9,1.5,100,25,101320,10\n"
                        "sensor,16,-16,16384,0,-5,5,300,-300,0\n"
                        "log,Check-Sum Error!\n"
                        "other,7f\n"
                        "attitude,-30,9,1.5,100,25,101320,10\n");
    for (const bool big_endian : {false, true}) {
        for (const bool nano : {false, true}) {
            PcapBuilder b;
            b.big_endian = big_endian;
            b.nano = nano;
            b.header().record(kT0, 0, {});
            const std::size_t cut = 30; // inside the sensor frame
            b.record(kT0 + 1000, 0, std::span(plain).first(cut));
            const auto cmd = command_frame(kTypeGyroBias); // a command the program sent
            b.record(kT0 + 2000, 1, cmd);
            b.record(kT0 + 3000, 0, std::span(plain).subspan(cut));
            const std::string file = tmp.put("r.pcap", b.bytes);
            for (const std::string& input : {quote(file), "- <" + quote(file)}) {
                const Result r = run(input);
                EXPECT_EQ(r.status, 0) << input << r.err;
                EXPECT_EQ(r.out, want.out) << big_endian << nano << input;
                EXPECT_EQ(r.err, "");
            }
        }
    }
}

TEST_F(DecodeRecordings, CsvTimesComeFromTheRecordsOrFromTwentyFramesASecond) {
    Bytes att, sen;
    append_frame(att, kTypeAttitude, kAttitude);
    append_frame(sen, kTypeSensor, kSensor);
    PcapBuilder b;
    b.nano = true;
    b.header().record(kT0, 0, {}); // the start
    b.record(kT0 + 250'000'999, 0, att);
    b.record(kT0 + 300'000'000, 1, command_frame(kTypeHeightZero));
    b.record(kT0 + 1'000'001'000, 0, std::span(sen).first(5));
    b.record(kT0 + 3'600'000'000'000, 0, std::span(sen).subspan(5));
    Result r = run("--csv " + quote(tmp.put("r.pcap", b.bytes)));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kHeader + "0.250000," + kAttitudeRow + "3600.000000," + kSensorRow);

    Bytes plain = att;
    plain.insert(plain.end(), sen.begin(), sen.end());
    plain.insert(plain.end(), att.begin(), att.end());
    plain.insert(plain.end(), sen.begin(), sen.end());
    r = run("--csv " + quote(tmp.put("c.bin", plain)));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kHeader + "0.000000," + kAttitudeRow + "0.000000," + kSensorRow + "0.050000," +
                         kAttitudeRow + "0.050000," + kSensorRow);
}

TEST_F(DecodeRecordings, DamageIsDecodedUpToAndNamedAndOtherFilesRefused) {
    PcapBuilder b;
    b.header().record(kT0, 0, stream()).record(kT0 + 1, 0, stream());
    b.bytes.resize(b.bytes.size() - 1);
    const std::string cut = tmp.put("cut.pcap", b.bytes);
    Result r = run(quote(cut));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.rfind("attitude,-30,9,1.5,100,25,101320,10\n", 0), 0u) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 5); // the first record's lines
    const std::size_t second = 24 + 16 + 1 + stream().size();
    EXPECT_EQ(r.err, "zento-decode: " + cut + ": truncated record at byte " +
                         std::to_string(second) + " (" + std::to_string(stream().size()) + " of " +
                         std::to_string(stream().size() + 1) + " bytes); decoded up to there\n");

    PcapBuilder eth;
    eth.linktype = 1;
    const std::string other = tmp.put("eth.pcap", eth.header().record(kT0, 0, stream()).bytes);
    r = run("--csv " + quote(other));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "zento-decode: " + other +
                         ": it is a pcap file of link type 1, not a Zento recording (link type "
                         "147, LINKTYPE_USER0)\n");

    r = run("--csv --frames " + quote(cut));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("zento-decode: --frames and --csv cannot be used together\n", 0), 0u);
}

} // namespace
