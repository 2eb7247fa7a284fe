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
#include "shell/paths_and_times.h"
#include "shell/playback_control.h"
#include "shell/recording_control.h"
#include "shell/telemetry_display.h"
#include "statistics/statistics_window.h"
#include "chart/strip_chart.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <cstdio>
#include <fstream>
#include <sstream>

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

// A pcap of one tick a record, at these times (µs since 1970), yaw counting up from `tenths`.
Bytes pcap_of(std::initializer_list<std::int64_t> us, std::uint8_t tenths = 0) {
    Bytes file;
    append_pcap_header(file);
    for (const std::int64_t t : us)
        append_pcap_records(file, t, Direction::received, tick(tenths++, 1));
    return file;
}

// The chart's points, per channel: (time, value).
using Points = std::vector<std::vector<std::pair<double, double>>>;
Points chart_points(const StripChart& chart) {
    Points p(StripChart::kChannelCount);
    for (int k = 0; k < StripChart::kChannelCount; ++k)
        for (const QCPGraphData& d : *chart.plot()->graph(k)->data())
            p[std::size_t(k)].emplace_back(d.key, d.value);
    return p;
}

// Those drawn (not gaps) from `lo` to `hi`.
Points points_within(const Points& all, double lo, double hi) {
    Points p(all.size());
    for (std::size_t k = 0; k < all.size(); ++k)
        for (const auto& [t, v] : all[k])
            if (t >= lo && t <= hi && !std::isnan(v)) p[k].emplace_back(t, v);
    return p;
}

// What zento-decode writes for the recording with the option.
std::string decoded(const char* option, const std::filesystem::path& pcap) {
    const std::string decode =
        zento_test::bin_dir() + "/zento-decode " + option + " " + pcap.string();
    FILE* p = ::popen(decode.c_str(), "r");
    std::string out;
    char buf[4096];
    for (std::size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    EXPECT_TRUE(p && ::pclose(p) == 0) << decode;
    return out;
}

struct Read {
    std::vector<std::pair<Direction, Bytes>> records; // without the empty start record
    ReaderStop stop;
};

Read read_recording(const std::filesystem::path& file) {
    std::string error;
    Read r;
    auto f = RecordingFile::open(file, error);
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
    std::vector<Bytes> received, sent;
    for (const auto& [direction, bytes] : r.records)
        (direction == Direction::received ? received : sent).push_back(bytes);
    EXPECT_EQ(received, batches);
    EXPECT_EQ(sent, (std::vector<Bytes>{{0xA5, 0x5A, 0x04, 0xE2, 0xE6, 0xAA}}));

    const std::string text = read_text(std::filesystem::path(pcap).replace_extension(".csv"));
    EXPECT_EQ(text.rfind("time_s,type,yaw_deg,", 0), 0u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 40 + 1); // and the command's row
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
        ASSERT_TRUE(clock.advance_until([&] { return port.PortOpen(); })); // reconnects by itself
        EXPECT_FALSE(recorder().recorder()->status().in_gap);
        port.feed(tick(2, 2));
    });
    EXPECT_EQ(read_recording(pcap).records.size(), 2u);
}

TEST_F(RecordAndPlayTest, CtrlRStartsARecordingAndStopsIt) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    for (const bool on : {true, false, true}) { // and starts the next
        QTest::keyClick(window.get(), Qt::Key_R, Qt::ControlModifier);
        EXPECT_TRUE(wait_for([&] { return recorder().recording() == on; })) << on;
    }
}

TEST_F(RecordAndPlayTest, AFolderThatCannotBeUsedIsNamedAndNothingStarts) {
    write_file(dir.path() / "file", "not a folder");
    std::filesystem::create_directory_symlink("loop", dir.path() / "loop"); // threw once
    for (const char* name : {"file", "loop"}) {
        recorder().setFolder(dir.path() / name);
        ui().startRecordingAction->trigger();
        EXPECT_FALSE(recorder().recording());
        EXPECT_TRUE(last_line().startsWith(QStringLiteral(">  Recording not started: ")));
    }
    EXPECT_TRUE(ui().startRecordingAction->isEnabled());
}

// Deleted or moved while recording: the recording ends saying so, and names as saved only files
// that exist (at their new place).
TEST_F(RecordAndPlayTest, AFolderDeletedOrMovedWhileRecordingEndsTheRecordingSayingWhere) {
    connect_port();
    const std::filesystem::path folder = dir.path() / "recordings", moved = dir.path() / "moved";
    for (const bool deleted : {true, false}) {
        ui().startRecordingAction->trigger();
        ASSERT_TRUE(recorder().recording());
        const QString pcap = from_path(recorder().recorder()->pcap_path());
        port.feed(tick(1, 1));
        const int before = lines();
        deleted ? void(std::filesystem::remove_all(folder))
                : std::filesystem::rename(folder, moved);
        ASSERT_TRUE(wait_for([&] { return !recorder().recording(); }));
        const QStringList said = lines_since(before);
        const QString now =
            deleted ? "" : from_path(std::filesystem::canonical(moved) / to_path(pcap).filename());
        EXPECT_TRUE(said.join('|').startsWith(
            ">  Recording stopped: " + pcap +
            (deleted ? " was deleted while recording"
                     : " was moved to " + now + " while recording; what was written stays " +
                           "readable|>  Recording saved: " + now + " and .csv (")))
            << said.join('|').toStdString();
        EXPECT_EQ(said.size(), deleted ? 1 : 2);
        EXPECT_TRUE(deleted || read_recording(to_path(now)).records.size() == 1);
    }
}

// While recording, a recording is not played into it: opening one asks to stop the recording
// first, and play() alone is refused; the recording holds only what the port delivered.
TEST_F(RecordAndPlayTest, OpeningARecordingWhileRecordingAsksToStopItFirst) {
    connect_port();
    const QString other = QString::fromStdString(dir.put("other.pcap", pcap_of({1'000'000}, 51)));
    ui().startRecordingAction->trigger();
    const std::filesystem::path pcap = recorder().recorder()->pcap_path();
    port.feed(tick(1, 1));
    EXPECT_FALSE(player().play(other, PlaybackSpeed::fastest));
    EXPECT_EQ(last_line(), ">  Playback not started: " + other +
                               " would play into the running recording; stop the recording first");
    int asked = 0; // the user declines, then stops the recording
    player().ask_stop_recording = [&] { return ++asked == 2; };
    player().ask_file = [&] { return other; };
    for (int i = 0; i < 2; ++i)
        ui().openRecordingAction->trigger();
    EXPECT_EQ(asked, 2);
    ASSERT_TRUE(wait_for([&] { return !player().playing() && !recorder().recording(); }));
    EXPECT_EQ(ui().angleLabels[0]->text(), QStringLiteral("Yaw:5.1")); // it played
    EXPECT_EQ(read_recording(pcap).records,
              (decltype(Read::records){{Direction::received, tick(1, 1)}}));
}

TEST_F(RecordAndPlayTest, ALongFolderPathIsKeptWhole) {
    // 2 x 60 CJK characters: 360 bytes, beyond the 254 of the port keys' reader.
    const std::string name = QString(60, QChar(0x8BB0)).toStdString();
    const std::filesystem::path folder = dir.path() / name / name;
    recorder().setFolder(folder);
    EXPECT_EQ(recorder().folder(), folder);
    EXPECT_EQ(record([] {}).parent_path(), folder);
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
    Bytes file = pcap_of({1'000'000, 1'050'000, 1'100'000, 1'150'000, 1'200'000}, 10);
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
    EXPECT_TRUE(last_line().startsWith(">  Playback not started: " + QString::fromStdString(text) +
                                       " is not a recording"))
        << last_line().toStdString();
    EXPECT_TRUE(ui().portSwitch->isEnabled());
}

// A jump of the recording's time of more than a minute either way is a gap, played at once and
// named; the position never passes the length, also of a file that grows while it plays.
TEST_F(RecordAndPlayTest, TimeJumpsArePlayedAsGapsAndThePositionNeverPassesTheLength) {
    constexpr std::int64_t kT = 1'000'000'000'000'000, kFar = 2'500'000'000'000'000; // µs
    const Bytes jumps = pcap_of({kT, kT + 50'000, kT + kFar, kT + kFar + 50'000, kT + 100'000});
    ASSERT_TRUE(
        player().play(QString::fromStdString(dir.put("jumps.pcap", jumps)), PlaybackSpeed::x10));
    ASSERT_TRUE(wait_for([&] { return !player().playing(); })); // not at the jump ahead
    EXPECT_TRUE(log().contains("time jumps ahead by 2500000000 s at byte ")) << log().toStdString();
    EXPECT_TRUE(log().contains("time jumps back by 2500000000 s at byte "));
    EXPECT_EQ(ui().positionLabel->text(), QStringLiteral("00:00.1 / 00:00.1"));

    // Paused once its length (2 s) is known, it grows by three seconds.
    const Bytes all = pcap_of(
        {kT, kT + 1'000'000, kT + 2'000'000, kT + 3'000'000, kT + 4'000'000, kT + 5'000'000});
    const std::size_t half = 24 + (all.size() - 24) / 2;
    const std::string growing =
        dir.put("growing.pcap", Bytes(all.begin(), all.begin() + long(half)));
    ASSERT_TRUE(player().play(QString::fromStdString(growing)));
    ui().pauseButton->click();
    ASSERT_TRUE(wait_for([&] { return player().port()->length().has_value(); }));
    std::ofstream(growing, std::ios::binary | std::ios::app)
        << std::string(all.begin() + long(half), all.end());
    ui().speedChooser->setCurrentIndex(6); // as fast as possible
    ui().pauseButton->click();
    ASSERT_TRUE(wait_for([&] { return !player().playing(); }));
    EXPECT_EQ(ui().angleLabels[0]->text(), QStringLiteral("Yaw:0.5"));
    EXPECT_EQ(ui().positionLabel->text(), QStringLiteral("00:05.0 / 00:05.0"));
}

// A recording opened while connected closes the port as the switch does: the log says so and
// the switch shows the port closed while the recording plays and after. The chart shows the
// recording alone.
TEST_F(RecordAndPlayTest, PlayingWhileConnectedDisconnectsAsTheSwitchDoes) {
    Bytes file;
    append_pcap_header(file);
    for (int i = 0; i < 2; ++i) // 50 s long: still playing when checked
        append_pcap_records(file, 1'000'000 + i * 50'000'000, Direction::received, tick(1, 0));
    connect_port();
    port.feed(tick(5, 0));
    const int before = lines();
    ASSERT_TRUE(player().play(QString::fromStdString(dir.put("long.pcap", file))));
    ASSERT_TRUE(wait_for([&] { return ui().chart->pointCount(0) == 1; })); // the played only
    EXPECT_FLOAT_EQ(ui().chart->plot()->graph(0)->data()->at(0)->value, 0.1f);
    EXPECT_TRUE(lines_since(before).contains(QStringLiteral(">  Disconnect ...")));
    ASSERT_TRUE(wait_check());
    EXPECT_TRUE(player().playing());
    EXPECT_EQ(last_line(), QStringLiteral(">  Com Port Closed ..."));
    for (int stopped = 0; stopped < 2; ++stopped, ui().stopPlaybackButton->click()) {
        EXPECT_EQ(ui().portSwitch->caption(), QStringLiteral("Port Close")) << stopped;
        EXPECT_FALSE(ui().portSwitch->Active()) << stopped;
    }
}

// Record > Statistics... is of the recording that plays, else of the one being made, else of one
// asked for, starting in the recording folder (none chosen: no window).
TEST_F(RecordAndPlayTest, StatisticsAreOfTheRecordingPlayingOrBeingMadeElseOfOneAsked) {
    Bytes file;
    append_pcap_header(file);
    for (int i = 0; i < 2; ++i) // 50 s long: still playing when asked
        append_pcap_records(file, 1'000'000 + i * 50'000'000, Direction::received, tick(1, 0));
    const QString played = QString::fromStdString(dir.put("long.pcap", file));
    ASSERT_TRUE(player().play(played));
    ui().statisticsAction->trigger();
    StatisticsWindow* stats = window->statistics();
    ASSERT_TRUE(stats && stats->isVisible());
    EXPECT_EQ(stats->file(), played);
    ui().stopPlaybackButton->click();
    const std::filesystem::path pcap = record([&] { ui().statisticsAction->trigger(); });
    EXPECT_EQ(stats->file(), from_path(pcap));
    QString asked_in;
    stats->ask_file = [&](const QString& folder) { return asked_in = folder, QString(); };
    stats->close();
    ui().statisticsAction->trigger();
    EXPECT_EQ(asked_in, from_path(recorder().folder()));
    EXPECT_FALSE(stats->isVisible());
}

// A live run at 250 ticks a second (batches cut inside frames, a burst of 50 ticks, a damaged
// frame) recorded, then played at 1x, 10x and as fast as possible, each in a fresh window: the
// chart holds the live run's points, times and values; the export equals zento-decode --ticks.
TEST_F(RecordAndPlayTest, APlaybackAtAnySpeedDrawsTheLiveRunAndExportsWhatZentoDecodeWrites) {
    std::int64_t now = link_clock_ns() / 1000 * 1000;
    port.clock = [&] { return now; };
    connect_port();
    const std::int64_t start = now; // the recording's start
    std::vector<double> arrived;    // each tick's: when its batch came, from the start (s)
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
            while ((arrived.size() + 1) * stream.size() / 800 <= at)
                arrived.push_back(double(now - start) / 1e9);
        }
    });
    auto points = [&] { return chart_points(*ui().chart); };
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
    EXPECT_EQ(exported, decoded("--ticks", pcap));
    // zento-decode shares the receive path's times: each row's time is checked against when its
    // tick came too: from the recording's start, never falling, at or before its batch, and no
    // earlier than the board's pace lays out the 55 ticks of the burst.
    std::istringstream rows(exported);
    std::string row;
    std::getline(rows, row);
    double last = -1;
    for (std::size_t k = 0; std::getline(rows, row) && k < arrived.size(); ++k) {
        const double t = std::stod(row);
        ASSERT_TRUE(t >= last && t <= arrived[k] + 1e-6 && t > arrived[k] - 0.25)
            << "tick " << k << " at " << t << ", its batch at " << arrived[k];
        last = t;
    }
    ui().chart->saveImageButton()->click(); // an image: beside the recordings, named like them
    const auto* dialog = ui().chart->findChild<QFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->directory().absolutePath(), QString::fromStdString(recorder().folder()));
    EXPECT_TRUE(dialog->selectedFiles().value(0).contains(
        QRegularExpression("/zento-chart-\\d{8}-\\d{6}\\.png$")));
}

// A live run of 80 s at 250 ticks a second (batches of four, one of 50 after a stall) recorded,
// then played paused in a fresh window and sought back and forth: each seek shows the labels of
// the last batch at or before the position, and the chart the points the live run had in the
// 8.64 s before it, times and values (a short step forward reads on to it instead).
TEST_F(RecordAndPlayTest, ASeekShowsTheLabelsAndTheChartPointsTheLiveRunHadThen) {
    std::int64_t now = link_clock_ns() / 1000 * 1000;
    port.clock = [&] { return now; };
    connect_port();
    std::vector<std::pair<std::int64_t, QString>> labels; // after each batch
    const std::filesystem::path pcap = record([&] {
        for (int k = 0; k < 20000;) {
            Bytes batch;
            for (int i = 0; i < (k == 10000 ? 50 : 4); ++i, ++k) {
                const Bytes t = tick(std::uint8_t(k % 200), std::uint8_t(k % 250));
                batch.insert(batch.end(), t.begin(), t.end());
            }
            now += k == 10050 ? 200'000'000 : 16'000'000;
            port.feed(batch);
            labels.emplace_back(now, ui().angleLabels[0]->text() + ui().sensorLabels[0]->text());
        }
    });
    const Points live = chart_points(*ui().chart);
    ui().portSwitch->click();
    make();
    ASSERT_TRUE(wait_check());
    ASSERT_TRUE(player().play(QString::fromStdString(pcap.string())));
    player().togglePause();
    ASSERT_TRUE(wait_for([&] { return player().port()->length().has_value(); }));
    EXPECT_FALSE(ui().pausedLabel->isHidden());
    const std::int64_t origin = player().port()->origin();
    for (const double s : {75.5, 3.3, 40.05, 45.0, 0.02, 79.9}) {
        player().seek(std::chrono::nanoseconds(std::llround(s * 1e9)));
        const std::int64_t t = origin + std::llround(s * 1e9);
        const auto last = std::upper_bound(labels.begin(), labels.end(), std::pair(t, QString()),
                                           [](auto& a, auto& b) { return a.first < b.first; });
        ASSERT_NE(last, labels.begin());
        EXPECT_EQ(ui().angleLabels[0]->text() + ui().sensorLabels[0]->text(), (last - 1)->second)
            << s;
        // What the live run had then: up to the last batch received, 8.64 s back from there.
        const double hi = link_seconds((last - 1)->first), lo = hi - StripChart::kWindowSeconds;
        const Points shown = chart_points(*ui().chart);
        EXPECT_TRUE(points_within(shown, lo, hi) == points_within(live, lo, hi)) << s;
        EXPECT_LE(shown[0].front().first, std::max(lo, live[0].front().first)) << s;
    }
    EXPECT_TRUE(player().playing());
}

// A run with both commands and an unplug of 2.3 s: the recording's CSV has their rows (as
// zento-decode --csv writes them), the chart marks them live and played, and the playback's log
// lists them at their times.
TEST_F(RecordAndPlayTest, CommandsAndAnUnplugAreEventsOfTheCsvTheChartAndThePlaybacksLog) {
    std::int64_t now = link_clock_ns() / 1000 * 1000;
    port.clock = [&] { return now; };
    connect_port();
    const std::filesystem::path pcap = record([&] {
        for (int k = 0; k < 40; ++k) {
            now += 50'000'000;
            port.feed(tick(std::uint8_t(k), 1));
            if (k == 10) {
                ui().markBiasButton->click();
                window->commands().dialog()->startButton->click();
            }
            if (k == 20) ui().heightZeroButton->click();
            if (k == 30) {
                port.unplug();
                now += 2'250'000'000;
                port.plug();
                ASSERT_TRUE(clock.advance_until([&] { return port.PortOpen(); }));
            }
        }
    });
    EXPECT_EQ(ui().chart->markCount(), 3);
    const std::string csv = read_text(std::filesystem::path(pcap).replace_extension(".csv"));
    const std::string empty(17, ',');
    for (const std::string& row :
         {"0.550000,command" + empty + "gyro bias\n", "1.050000,command" + empty + "height zero\n",
          "3.850000,gap" + empty + "gap 2.3 s\n"})
        EXPECT_NE(csv.find(row), std::string::npos) << row;
    EXPECT_EQ(csv, decoded("--csv", pcap));
    ui().portSwitch->click();
    make();
    ASSERT_TRUE(wait_check());
    ASSERT_TRUE(player().play(QString::fromStdString(pcap.string()), PlaybackSpeed::fastest));
    ASSERT_TRUE(wait_for([&] { return !player().playing(); }));
    EXPECT_EQ(ui().chart->markCount(), 3);
    for (const char* line : {">  At 00:00.5 of the recording: command gyro bias",
                             ">  At 00:01.0 of the recording: command height zero",
                             ">  At 00:03.8 of the recording: gap 2.3 s"})
        EXPECT_TRUE(lines_of(log()).contains(QString::fromLatin1(line))) << line;
}

// The playback bar: Space pauses ("Paused") and plays, End / Home go to the end and the start,
// Left / Right a second, Shift+Left / Shift+Right a batch; a click on the slider or the chart
// goes there.
TEST_F(RecordAndPlayTest, TheBarsKeysAndSliderMoveThePositionAndPausedReadsPaused) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    std::vector<std::int64_t> us; // 20 ticks, 0.5 s apart, yaw 0, 0.1, ... 1.9
    for (int k = 0; k < 20; ++k)
        us.push_back(1'000'000'000'000'000 + k * 500'000);
    Bytes file;
    append_pcap_header(file);
    for (std::size_t k = 0; k < us.size(); ++k)
        append_pcap_records(file, us[k], Direction::received, tick(std::uint8_t(k), 1));
    ASSERT_TRUE(player().play(QString::fromStdString(dir.put("bar.pcap", file))));
    EXPECT_EQ(ui().speedChooser->count(), 7);
    EXPECT_EQ(ui().positionSlider->accessibleName(), QStringLiteral("Position"));
    const auto key = [&](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(window.get(), k, m);
        return ui().angleLabels[0]->text();
    };
    key(Qt::Key_Space);
    EXPECT_TRUE(ui().pausedLabel->isVisible());
    EXPECT_EQ(ui().pauseButton->text(), QStringLiteral("Play"));
    EXPECT_EQ(ui().pausedLabel->text(), QStringLiteral("Paused"));
    ASSERT_TRUE(wait_for([&] { return player().port()->length().has_value(); }));
    EXPECT_EQ(key(Qt::Key_End), QStringLiteral("Yaw:1.9"));
    EXPECT_EQ(ui().positionLabel->text(), QStringLiteral("00:09.5 / 00:09.5"));
    EXPECT_EQ(ui().positionSlider->maximum(), 9);
    EXPECT_EQ(ui().positionSlider->value(), 9);
    EXPECT_EQ(key(Qt::Key_Home), QStringLiteral("Yaw:0"));
    EXPECT_EQ(key(Qt::Key_Right), QStringLiteral("Yaw:0.2"));
    EXPECT_EQ(key(Qt::Key_Right, Qt::ShiftModifier), QStringLiteral("Yaw:0.3"));
    EXPECT_EQ(key(Qt::Key_Left, Qt::ShiftModifier), QStringLiteral("Yaw:0.2"));
    EXPECT_EQ(key(Qt::Key_Left), QStringLiteral("Yaw:0"));
    emit ui().chart->timeClicked(link_seconds(player().port()->origin()) + 2.0); // a click there
    EXPECT_EQ(ui().angleLabels[0]->text(), QStringLiteral("Yaw:0.4"));
    QSlider* slider = ui().positionSlider;
    QTest::mouseClick(slider, Qt::LeftButton, {},
                      QPoint(slider->width() / 2, slider->height() / 2));
    ASSERT_TRUE(wait_for([&] { return ui().angleLabels[0]->text() != QStringLiteral("Yaw:0.4"); }));
    EXPECT_NEAR(std::chrono::duration<double>(player().port()->position()).count(), 4.5, 1.01);
    key(Qt::Key_Space);
    EXPECT_FALSE(ui().pausedLabel->isVisible());
    EXPECT_EQ(ui().pauseButton->text(), QStringLiteral("Pause"));
}
