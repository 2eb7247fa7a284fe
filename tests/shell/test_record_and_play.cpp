// The window's recorder, player and chart export, through the serial test double: what the port
// delivered and what the program sent is in the recording, a recording plays through the same
// receive path and shows the same values, and every failure is named in the log.
#include "test_paths.h"
#include "window_fixture.h"

#include "link/link_time.h"
#include "recording/pcap_format.h"
#include "recording/recorder.h"
#include "recording/recording_reader.h"
#include "shell/board_commands.h"
#include "shell/playback_control.h"
#include "shell/recording_control.h"
#include "shell/telemetry_display.h"
#include "telemetry/strip_chart.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>

#include <cstdio>
#include <fstream>

using namespace zento;
using namespace zento_test;

namespace {

// Attitude frame with yaw `tenths` / 10 and a sensor frame with AX = `ax`.
Bytes tick(std::uint8_t tenths, std::uint8_t ax) {
    Bytes t = build_frame(kTypeAttitude,
                          Bytes{0, tenths, 0, 5, 0, 7, 0x03, 0xE8, 0, 0xFA, 0x27, 0x94, 0, 0x0A});
    const Bytes s =
        build_frame(kTypeSensor, Bytes{0, ax, 0, 2, 0x40, 0, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6});
    t.insert(t.end(), s.begin(), s.end());
    return t;
}

struct Read {
    std::vector<std::pair<Direction, Bytes>> records; // without the empty start record
    ReaderStop stop;
};

Read read_recording(const std::filesystem::path& file) {
    std::string error;
    ReaderOptions all;
    Read r;
    auto f = RecordingFile::open(file, error, all);
    EXPECT_TRUE(f) << error;
    if (!f) return r;
    while (const auto b = f->reader().next())
        if (!b->bytes.empty())
            r.records.emplace_back(b->direction, Bytes(b->bytes.begin(), b->bytes.end()));
    r.stop = f->reader().stop();
    return r;
}

class RecordAndPlayTest : public WindowTest {
  protected:
    void SetUp() override {
        make();
        window->recording().setFolder(dir.path() / "recordings");
    }
    RecordingControl& recorder() const { return window->recording(); }
    PlaybackControl& player() const { return window->playback(); }
    // Starts, runs `body`, stops, and waits until the files are closed; returns the pcap.
    std::filesystem::path record(const std::function<void()>& body) {
        ui().startRecordingAction->trigger();
        EXPECT_TRUE(recorder().recording()) << log().toStdString();
        if (!recorder().recording()) return {};
        const std::filesystem::path pcap = recorder().recorder()->pcap_path();
        body();
        ui().stopRecordingAction->trigger();
        EXPECT_TRUE(wait_for([&] { return !recorder().recording(); }));
        return pcap;
    }
};

} // namespace

TEST_F(RecordAndPlayTest, ARecordingHoldsEveryBatchAndCommandAndTheCsvRowsOfItsFrames) {
    connect_port();
    std::vector<Bytes> batches;
    const std::filesystem::path pcap = record([&] {
        for (int i = 0; i < 20; ++i) {
            const Bytes t = tick(std::uint8_t(i), std::uint8_t(100 + i));
            // Uneven batches, as a port delivers them: split inside frames.
            const std::size_t cut = std::size_t(i * 7 % int(t.size()));
            for (const Bytes& b :
                 {Bytes(t.begin(), t.begin() + long(cut)), Bytes(t.begin() + long(cut), t.end())})
                if (!b.empty()) {
                    port.feed(b);
                    batches.push_back(b);
                }
            if (i == 10) ui().heightZeroButton->click();
        }
    });
    ASSERT_FALSE(pcap.empty());
    const QString name = QString::fromStdString(pcap.string());
    EXPECT_TRUE(log().contains(QStringLiteral("Recording to ") + name));
    EXPECT_TRUE(last_line().startsWith(QStringLiteral(">  Recording saved: ") + name));

    const Read r = read_recording(pcap);
    EXPECT_FALSE(r.stop.damaged) << r.stop.reason;
    std::vector<Bytes> received;
    std::vector<Bytes> sent;
    for (const auto& [direction, bytes] : r.records)
        (direction == Direction::received ? received : sent).push_back(bytes);
    EXPECT_EQ(received, batches);
    EXPECT_EQ(sent, (std::vector<Bytes>{{0xA5, 0x5A, 0x04, 0xE2, 0xE6, 0xAA}}));

    std::filesystem::path csv = pcap;
    csv.replace_extension(".csv");
    const std::string text = read_text(csv);
    EXPECT_EQ(text.rfind("time_s,type,yaw_deg,", 0), 0u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 40);
    EXPECT_NE(text.find(",attitude,1.9,0.5,0.7,100,25,101320,10,"), std::string::npos) << text;
    EXPECT_NE(text.find(",sensor,,,,,,,,119,2,16384,1,2,3,4,5,6"), std::string::npos) << text;
}

TEST_F(RecordAndPlayTest, AnUnplugIsAGapAndTheRecordingGoesOnWhenThePortComesBack) {
    connect_port();
    const std::filesystem::path pcap = record([&] {
        port.feed(tick(1, 1));
        port.unplug();
        EXPECT_TRUE(recorder().recorder()->status().in_gap);
        port.plug();
        ASSERT_TRUE(wait_for([&] { return port.PortOpen(); })); // reconnects by itself
        EXPECT_FALSE(recorder().recorder()->status().in_gap);
        port.feed(tick(2, 2));
    });
    EXPECT_EQ(read_recording(pcap).records.size(), 2u);
}

TEST_F(RecordAndPlayTest, AFolderThatCannotBeUsedIsNamedAndNothingStarts) {
    write_file(dir.path() / "file", "not a folder");
    recorder().setFolder(dir.path() / "file");
    ui().startRecordingAction->trigger();
    EXPECT_FALSE(recorder().recording());
    EXPECT_TRUE(last_line().startsWith(QStringLiteral(">  Recording not started: ")))
        << last_line().toStdString();
    EXPECT_TRUE(ui().startRecordingAction->isEnabled());
}

TEST_F(RecordAndPlayTest, ARecordingPlaysThroughTheReceivePathAndShowsWhatLiveShowed) {
    connect_port();
    const std::filesystem::path pcap = record([&] {
        for (int i = 0; i < 30; ++i)
            port.feed(tick(std::uint8_t(i), std::uint8_t(i)));
    });
    const QString live_yaw = ui().angleLabels[0]->text();
    const QString live_ax = ui().sensorLabels[0]->text();
    ui().portSwitch->click(); // disconnect
    make();                   // a fresh window, as a colleague would open the files
    ASSERT_TRUE(wait_check());
    ASSERT_TRUE(player().play(QString::fromStdString(pcap.string()), PlaybackSpeed::fastest));
    EXPECT_FALSE(ui().portSwitch->isEnabled()) << "a playback is not a board";
    EXPECT_FALSE(ui().heightZeroButton->isEnabled());
    EXPECT_FALSE(ui().startRecordingAction->isEnabled());
    ASSERT_TRUE(wait_for([&] { return !player().playing(); }));
    EXPECT_EQ(ui().angleLabels[0]->text(), live_yaw);
    EXPECT_EQ(ui().sensorLabels[0]->text(), live_ax);
    EXPECT_EQ(ui().chart->pointCount(0), 30);
    EXPECT_TRUE(last_line().contains(QStringLiteral("ended at"))) << last_line().toStdString();
    EXPECT_TRUE(last_line().endsWith(QStringLiteral(": end of the recording")));
    EXPECT_TRUE(ui().portSwitch->isEnabled());
    EXPECT_TRUE(ui().heightZeroButton->isEnabled());
    // The port is the byte source again.
    connect_port();
    port.feed(tick(99, 99));
    EXPECT_EQ(ui().angleLabels[0]->text(), QStringLiteral("Yaw:9.9"));
}

TEST_F(RecordAndPlayTest, ADamagedRecordingPlaysUpToTheDamageAndANonRecordingIsRefused) {
    Bytes file;
    append_pcap_header(file);
    for (int i = 0; i < 5; ++i)
        append_pcap_records(file, 1'000'000 + i * 50'000, Direction::received,
                            tick(std::uint8_t(10 + i), 0));
    file.resize(file.size() - 9); // the last record cut short
    const std::string path = dir.put("cut.pcap", file);
    ASSERT_TRUE(player().play(QString::fromStdString(path), PlaybackSpeed::fastest));
    ASSERT_TRUE(wait_for([&] { return !player().playing(); }));
    EXPECT_EQ(ui().angleLabels[0]->text(), QStringLiteral("Yaw:1.3")) << "four whole ticks";
    EXPECT_TRUE(
        log().contains(QStringLiteral("The recording is damaged: truncated record at byte")))
        << log().toStdString();

    const int before = lines();
    const std::string text = dir.put("notes.txt", std::string(100000, 'x'));
    EXPECT_FALSE(player().play(QString::fromStdString(text)));
    ASSERT_EQ(lines(), before + 1);
    EXPECT_TRUE(last_line().startsWith(QStringLiteral(">  Cannot play ")))
        << last_line().toStdString();
    EXPECT_TRUE(ui().portSwitch->isEnabled());
}

// A live run at 250 ticks a second (batches cut inside frames, a burst of 50 ticks, a damaged
// frame) recorded, then played at 1x, 10x and as fast as possible, each in a fresh window: the
// chart holds the live run's points, times and values; the export equals zento-decode --ticks.
TEST_F(RecordAndPlayTest, APlaybackAtAnySpeedDrawsTheLiveRunAndExportsWhatZentoDecodeWrites) {
    std::int64_t now = link_clock_ns() / 1000 * 1000;
    port.clock = [&] { return now; };
    connect_port();
    Bytes stream;
    for (int k = 0; k < 800; ++k) {
        Bytes t = tick(std::uint8_t(k % 200), std::uint8_t(k % 250));
        if (k == 300) t[30] ^= 1; // the sensor frame's checksum fails
        stream.insert(stream.end(), t.begin(), t.end());
    }
    const std::filesystem::path pcap = record([&] {
        for (std::size_t at = 0, b = 0; at < stream.size(); ++b) {
            const std::size_t n =
                std::min(stream.size() - at, b == 100 ? 2200 : 120 + b * 37 % 120);
            now += b == 100 ? 200'000'000 : 16'000'000;
            port.feed(Bytes(stream.begin() + long(at), stream.begin() + long(at + n)));
            at += n;
        }
    });
    using Points = std::vector<std::vector<std::pair<double, double>>>;
    auto points = [&] {
        Points p(StripChart::kChannelCount);
        for (int k = 0; k < StripChart::kChannelCount; ++k)
            for (const QCPGraphData& d : *ui().chart->plot()->graph(k)->data())
                p[std::size_t(k)].emplace_back(d.key, d.value);
        return p;
    };
    const Points live = points();
    ASSERT_EQ(live[0].size(), 800u);
    EXPECT_EQ(live[3].size(), 799u);
    // Every tick has a time of its own, the burst's too: laid out at the board's pace (but those
    // of the first batch, with nothing before them to lay them out against).
    for (std::size_t i = 3; i < live[0].size(); ++i) {
        ASSERT_GT(live[0][i].first, live[0][i - 1].first) << i;
        ASSERT_LT(live[0][i].first - live[0][i - 1].first, 0.0161) << i;
    }
    ui().portSwitch->click();

    const std::filesystem::path out = dir.path() / "ticks.csv";
    for (const PlaybackSpeed speed :
         {PlaybackSpeed::x1, PlaybackSpeed::x10, PlaybackSpeed::fastest}) {
        SCOPED_TRACE(int(speed));
        make();
        ASSERT_TRUE(wait_check());
        ASSERT_TRUE(player().play(QString::fromStdString(pcap.string()), speed));
        ASSERT_TRUE(wait_for([&] { return !player().playing(); }));
        EXPECT_TRUE(points() == live);
    }
    recorder().ask_export_file = [&](const QString&) {
        return QString::fromStdString(out.string());
    };
    ui().exportChartAction->trigger();
    ASSERT_TRUE(wait_for([&] { return !recorder().exporting(); }));
    EXPECT_TRUE(last_line().startsWith(QStringLiteral(">  Chart data exported to ")))
        << last_line().toStdString();
    const std::string exported = read_text(out);
    EXPECT_EQ(std::count(exported.begin(), exported.end(), '\n'), 1 + 800);
    EXPECT_NE(exported.find(",,,,,,,,,\n"), std::string::npos) << "tick 300: attitude only";
    const std::string decode = zento_test::bin_dir() + "/zento-decode --ticks " + pcap.string();
    FILE* p = ::popen(decode.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string decoded;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        decoded.append(buf, n);
    EXPECT_EQ(::pclose(p), 0);
    EXPECT_EQ(exported, decoded);
}
