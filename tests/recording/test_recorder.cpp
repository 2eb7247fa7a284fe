// The recorder: a known stream round-trips through both files, the CSV equals zento-decode's,
// names are never reused, and a full disk or a full buffer ends a recording cleanly.
#include "recording/recorder.h"
#include "recording/recording_reader.h"
#include "recording_test_util.h"
#include "test_folder.h"
#include "test_paths.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

using namespace zento;
using namespace rec_test;
using namespace std::chrono;
namespace fs = std::filesystem;

namespace {

const Recorder::Time kT0 = Recorder::Time(seconds(1'765'000'000)) + microseconds(250);
const std::int64_t kWallUs = 1'765'000'000'000'250;

struct Sent {
    Direction direction;
    Bytes bytes;
    Recorder::Time t;
};

// The known stream: 120 ticks in batches cut at odd places, two commands between them, one
// batch stamped before the start, one before its predecessor, and a gap of 2.3 s (an unplug).
std::vector<Sent> known_stream() {
    const Bytes stream = ticks(0, 120);
    std::vector<Sent> out;
    std::size_t at = 0;
    for (int k = 0; at < stream.size(); ++k) {
        const std::size_t n = std::min<std::size_t>(stream.size() - at, 1 + (k * 37) % 101);
        auto t = kT0 + milliseconds(3 + 17 * k) + nanoseconds(k * 1234);
        if (k == 0) t = kT0 - seconds(2);
        if (k == 9) t = kT0 + milliseconds(1);
        if (k >= 60) t += milliseconds(2300);
        out.push_back(
            {Direction::received,
             Bytes(stream.begin() + std::ptrdiff_t(at), stream.begin() + std::ptrdiff_t(at + n)),
             t});
        at += n;
        if (k == 20 || k == 40) {
            const auto c = command_frame(k == 20 ? kTypeGyroBias : kTypeHeightZero);
            out.push_back({Direction::sent, Bytes(c.begin(), c.end()), t + microseconds(400)});
        }
    }
    return out;
}

// Microseconds since the start as the recorder stamps them: never before the start nor before
// the batch before.
std::vector<std::int64_t> stamped_us(const std::vector<Sent>& batches) {
    std::vector<std::int64_t> us;
    Recorder::Time last = kT0;
    for (const Sent& s : batches) {
        last = std::max(last, s.t);
        us.push_back(duration_cast<microseconds>(last - kT0).count());
    }
    return us;
}

std::string csv_of(const std::vector<Sent>& batches, std::size_t count) {
    const auto us = stamped_us(batches);
    std::string text(kCsvHeader);
    CsvRows rows;
    for (std::size_t i = 0; i < count; ++i)
        rows.record(batches[i].direction, batches[i].bytes, us[i], text);
    return text;
}

// The recording's pcap read back whole; both files must be as long as the status says, and the
// pcap must read to its end.
ReadAll read_back(const Recorder& rec) {
    const RecorderStatus st = rec.status();
    EXPECT_EQ(st.pcap_bytes, fs::file_size(rec.pcap_path()));
    EXPECT_EQ(st.csv_bytes, fs::file_size(rec.csv_path()));
    ReadAll got;
    const auto file = RecordingFile::open(rec.pcap_path(), got.refusal);
    if (!file) {
        ADD_FAILURE() << got.refusal;
        return got;
    }
    got = read_all(file->reader());
    EXPECT_FALSE(got.stop.damaged) << got.stop.reason;
    return got;
}

class RecorderTest : public ::testing::Test {
  protected:
    zento_test::TempDir tmp;
    fs::path folder = tmp.path() / "Zento";

    std::unique_ptr<Recorder> start(RecorderOptions options = {}) {
        std::string error;
        auto r = Recorder::start(folder, kT0, error, options);
        EXPECT_NE(r, nullptr) << error;
        return r;
    }
};

TEST_F(RecorderTest, AKnownStreamRoundTripsThroughBothFiles) {
    const std::vector<Sent> batches = known_stream();
    auto rec = start();
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->status(kT0 + seconds(5)).elapsed, seconds(5));
    for (const Sent& s : batches) {
        if (s.direction == Direction::received)
            rec->received(s.bytes, s.t);
        else
            rec->sent(s.bytes, s.t);
    }
    rec->gap(); // an unplug: nothing arrives, nothing is written
    EXPECT_TRUE(rec->status().in_gap);
    rec->resume();
    rec->stop(kT0 + seconds(12));
    rec->finish();
    const RecorderStatus st = rec->status(kT0 + seconds(99));
    EXPECT_EQ(st.state, RecorderState::finished);
    EXPECT_EQ(st.failure, "");
    EXPECT_EQ(st.elapsed, seconds(12)); // stands still after the stop

    // The pcap: the start record, then every batch in order with its direction and time.
    const ReadAll got = read_back(*rec);
    ASSERT_EQ(got.batches.size(), batches.size() + 1);
    EXPECT_EQ(got.batches[0].time_ns, kWallUs * 1000);
    EXPECT_TRUE(got.batches[0].bytes.empty());
    const auto us = stamped_us(batches);
    for (std::size_t i = 0; i < batches.size(); ++i) {
        const ReadBatch& b = got.batches[i + 1];
        EXPECT_EQ(b.bytes, batches[i].bytes) << i;
        EXPECT_EQ(b.direction, batches[i].direction) << i;
        EXPECT_EQ(b.time_ns, (kWallUs + us[i]) * 1000) << i;
    }
    EXPECT_EQ(us[0], 0);     // stamped before the start: the start
    EXPECT_EQ(us[9], us[8]); // stamped before the batch before: that batch's time

    // The CSV: the rows of the delivered bytes at their batches' times, and exactly what
    // zento-decode --csv makes of the pcap.
    const std::string csv = zento_test::read_text(rec->csv_path());
    EXPECT_EQ(csv, csv_of(batches, batches.size()));
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 240 + 3);
    std::string events; // the event rows, in order
    std::istringstream lines(csv);
    for (std::string l; std::getline(lines, l);)
        if (std::regex_search(l, std::regex("^[0-9.]+,(command|gap),"))) events += l + "\n";
    const std::string empty(17, ',');
    EXPECT_EQ(events, "0.343424,command" + empty + "gyro bias\n0.683449,command" + empty +
                          "height zero\n3.323074,gap" + empty + "gap 2.3 s\n");
    const auto [status, decoded] = run_shell(quote(zento_test::bin_dir() + "/zento-decode") +
                                             " --csv " + quote(rec->pcap_path()));
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(decoded == csv) << decoded.substr(0, 600);
}

TEST_F(RecorderTest, TcpdumpReadsTheRecording) {
    if (run_shell("command -v tcpdump").first != 0) GTEST_SKIP() << "tcpdump is not installed";
    auto rec = start();
    ASSERT_NE(rec, nullptr);
    rec->received(ticks(0, 1), kT0 + milliseconds(50));
    const auto cmd = command_frame(kTypeHeightZero);
    rec->sent(Bytes(cmd.begin(), cmd.end()), kT0 + microseconds(1'000'001));
    rec->finish();
    const auto [status, out] =
        run_shell("tcpdump -r " + quote(rec->pcap_path()) + " -n -tt -x 2>&1");
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("link-type 147"), std::string::npos) << out;
    // Three records at their times, the command's bytes after its direction byte 1.
    EXPECT_NE(out.find("1765000000.000250 "), std::string::npos) << out;
    EXPECT_NE(out.find("1765000000.050250 "), std::string::npos) << out;
    EXPECT_NE(out.find("1765000001.000251 "), std::string::npos) << out;
    EXPECT_NE(out.find("01a5 5a04 e2e6 aa"), std::string::npos) << out;
}

TEST_F(RecorderTest, NamesComeFromTheStartAndAreNeverReused) {
    const std::string stem = recording_stem(kT0);
    EXPECT_TRUE(std::regex_match(stem, std::regex("zento-20[0-9]{6}-[0-9]{6}"))) << stem;
    fs::create_directories(folder);
    zento_test::write_file(folder / (stem + "-2.csv"), "someone else's");
    std::vector<std::unique_ptr<Recorder>> recs;
    for (int i = 0; i < 3; ++i)
        recs.push_back(start());
    EXPECT_EQ(recs[0]->pcap_path(), folder / (stem + ".pcap"));
    EXPECT_EQ(recs[0]->csv_path(), folder / (stem + ".csv"));
    EXPECT_EQ(recs[1]->pcap_path(), folder / (stem + "-3.pcap")); // -2 is half taken
    EXPECT_EQ(recs[2]->csv_path(), folder / (stem + "-4.csv"));
    EXPECT_FALSE(fs::exists(folder / (stem + "-2.pcap")));
    recs.clear();
    EXPECT_EQ(zento_test::read_text(folder / (stem + "-2.csv")), "someone else's");
}

// A file where the folder should be, a folder under one that may not be searched, and one on a
// symbolic-link loop are refused with the reason. Run as an ordinary user: the child drops
// root's rights, with which the second would pass.
TEST_F(RecorderTest, AFolderThatCannotBeMadeOrReachedIsNamedAsAnOrdinaryUser) {
    fs::create_directories(tmp.path() / "locked");
    fs::permissions(tmp.path() / "locked", fs::perms::none);
    fs::create_directory_symlink("loop", tmp.path() / "loop");
    tmp.put("file", "a file, not a folder");
    for (const auto& [under, reason] : {std::pair{"file", ENOTDIR},
                                        {"locked", EACCES},
                                        {"loop", ELOOP},
                                        {"loop/deeper", ELOOP}}) {
        const fs::path f = tmp.path() / under / "Zento";
        const std::string want =
            "cannot create the recording folder " + f.string() + ": " + std::strerror(reason);
        const pid_t child = fork();
        if (child == 0) {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
            std::string error;
            try {
                if (!Recorder::start(f, kT0, error) && error == want) _exit(0);
            } catch (...) {
            }
            std::fprintf(stderr, "not refused as expected: %s\n", error.c_str());
            _exit(1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << under << ": " << status;
    }
}

TEST_F(RecorderTest, AFullDiskEndsTheRecordingAndLeavesTwoReadableFilesThatAgree) {
    // A file-size limit stands in for a full disk: writes past it fail with EFBIG (the recorder
    // ignores SIGXFSZ, which would end the program). Fed with the writer waiting (it syncs every
    // 30 s), batches of a tick and 100 bytes of noise make the pcap grow faster than the CSV, so
    // it meets the limit in the middle of a write, however many batches the writer took before;
    // fed one tick per write, the CSV (which grows faster with plain ticks) meets it first. A
    // limit below the heads is a disk full from the start.
    for (const auto& [kLimit, at_once] :
         {std::pair<rlim_t, bool>{20000, true}, {20000, false}, {10, true}}) {
        SCOPED_TRACE(std::to_string(kLimit) + (at_once ? " many batches a write" : " one a write"));
        rlimit old{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
        const rlimit small{kLimit, old.rlim_max};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

        RecorderOptions options;
        options.flush_period = at_once ? seconds(30) : milliseconds(1);
        auto rec = start(options);
        std::vector<Sent> batches;
        if (rec) {
            for (int k = 0; k < 1000 && rec->status().state == RecorderState::recording; ++k) {
                batches.push_back({Direction::received, tick(k), kT0 + milliseconds(50 * k)});
                if (at_once) batches.back().bytes.insert(batches.back().bytes.end(), 100, 0x11);
                rec->received(batches.back().bytes, batches.back().t);
                if (!at_once)
                    wait_until([&] {
                        const RecorderStatus s = rec->status();
                        return s.waiting_bytes == 0 || s.state != RecorderState::recording;
                    });
            }
            if (at_once) rec->stop();
            EXPECT_TRUE(wait_until([&] { return rec->status().state == RecorderState::finished; }));
        }
        setrlimit(RLIMIT_FSIZE, &old);
        ASSERT_NE(rec, nullptr);

        const RecorderStatus st = rec->status();
        if (kLimit < 100) { // nothing whole written: no empty, unreadable files stay
            EXPECT_EQ(st.failure, "cannot write " + rec->pcap_path().string() +
                                      ": File too large; nothing was written, so both files are "
                                      "removed");
            EXPECT_FALSE(fs::exists(rec->pcap_path()) || fs::exists(rec->csv_path()));
            EXPECT_EQ(st.kept, "");
            continue;
        }
        // Whichever file met the limit is named with the system's reason.
        EXPECT_TRUE(st.failure ==
                        "cannot write " + rec->pcap_path().string() + ": File too large" ||
                    st.failure == "cannot write " + rec->csv_path().string() + ": File too large")
            << st.failure;
        EXPECT_LE(fs::file_size(rec->csv_path()), kLimit);
        EXPECT_LE(fs::file_size(rec->pcap_path()), kLimit);

        // Both files end on the same whole batch: the pcap reads to its end, and the CSV is
        // what its records give.
        const ReadAll got = read_back(*rec);
        ASSERT_GT(got.batches.size(), 100u);
        ASSERT_LT(got.batches.size(), batches.size() + 1);
        const std::size_t kept = got.batches.size() - 1;
        for (std::size_t i = 0; i < kept; ++i)
            ASSERT_EQ(got.batches[i + 1].bytes, batches[i].bytes) << i;
        EXPECT_EQ(zento_test::read_text(rec->csv_path()), csv_of(batches, kept));

        // Later batches are not taken.
        rec->received(tick(1), kT0 + seconds(60));
        EXPECT_EQ(rec->status().waiting_bytes, 0u);
    }
}

TEST_F(RecorderTest, ABufferThatFillsEndsTheRecordingInsteadOfWaiting) {
    RecorderOptions options;
    options.buffer_bytes = 4096;
    options.flush_period = seconds(30); // the writer waits: only the buffer matters
    auto rec = start(options);
    ASSERT_NE(rec, nullptr);
    std::vector<Sent> batches;
    for (int k = 0; k < 3; ++k) {
        batches.push_back({Direction::received, tick(k), kT0 + milliseconds(50 * k)});
        rec->received(batches.back().bytes, batches.back().t);
    }
    rec->received(Bytes(5000, 0x11), kT0 + seconds(1)); // more than the buffer holds
    const RecorderStatus st = rec->status();
    EXPECT_NE(st.state, RecorderState::recording);
    EXPECT_EQ(st.failure.rfind(
                  "cannot write " + rec->pcap_path().string() + ": the disk does not keep up", 0),
              0u)
        << st.failure;
    EXPECT_TRUE(wait_until([&] { return rec->status().state == RecorderState::finished; }));
    // What was taken before is written and readable.
    EXPECT_EQ(zento_test::read_text(rec->csv_path()), csv_of(batches, batches.size()));
    EXPECT_EQ(read_back(*rec).batches.size(), 4u);
}

} // namespace
