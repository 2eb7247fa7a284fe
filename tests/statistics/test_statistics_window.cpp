// The Statistics window on recordings of the simulated board: it shows the core's figures, in
// the settings file's scales, and the still intervals; the core's message for an interval
// without figures, and never "nan" or "inf"; another interval or closing stops what runs; the
// exports are written and read back.
#include "board_stream.h"
#include "qt_test.h"
#include "recording/pcap_format.h"
#include "statistics/recording_frames.h"
#include "statistics/statistics_window.h"
#include "test_folder.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTableWidget>

#include <gtest/gtest.h>
#include <qcustomplot.h>

using namespace zento;
using zento_test::wait_for;

namespace {

// The simulated board (resting from 15 s to 18 s of every 20 s), one record a tick at 20 Hz;
// the frames of the ticks from bad_from to bad_to seconds have a byte changed (all lost).
std::string recording(const zento_test::TempDir& dir, int ticks, double bad_from = -1,
                      double bad_to = -1) {
    board::BoardStream board(5, 20);
    std::vector<std::uint8_t> file, tick;
    append_pcap_header(file);
    for (int k = 0; k < ticks; ++k) {
        tick.clear();
        board.append_tick(tick, std::uint64_t(k));
        if (k >= bad_from * 20 && k < bad_to * 20) tick[6] ^= 1, tick[26] ^= 1;
        append_pcap_records(file, 1'700'000'000'000'000 + k * 50'000LL, Direction::received, tick);
    }
    return dir.put("board.pcap", file);
}

class StatisticsWindowTest : public ::testing::Test {
  protected:
    bool show(const std::string& file) {
        w.open(QString::fromStdString(file));
        return wait_for([&] { return !w.busy(); });
    }
    bool choose(double from, double to) {
        w.chooseRange(from, to);
        return wait_for([&] { return !w.busy(); });
    }
    // A cell's number ("≤ 12.3 °/h (τ 4 s)": 12.3).
    double cell(int row, int col) const {
        return w.figureTable->item(row, col)
            ->text()
            .remove(QStringLiteral("≤ "))
            .section(' ', 0, 0)
            .toDouble();
    }
    // Every text the window shows, its plots' tick labels included, that says NaN or infinity.
    std::string not_numbers() const {
        QStringList all, bad;
        for (const QLabel* l : w.findChildren<QLabel*>())
            all << l->text();
        for (const QLineEdit* e : w.findChildren<QLineEdit*>())
            all << e->text();
        for (const QTableWidget* t : w.findChildren<QTableWidget*>())
            for (int r = 0; r < t->rowCount(); ++r)
                for (int c = 0; c < t->columnCount(); ++c)
                    if (t->item(r, c)) all << t->item(r, c)->text();
        for (QCustomPlot* p : w.findChildren<QCustomPlot*>()) {
            p->replot();
            for (const QCPAxis* a : p->axisRect()->axes())
                all << a->tickVectorLabels().toList();
        }
        const QRegularExpression word(QStringLiteral("\\b(nan|inf|infinity)\\b"),
                                      QRegularExpression::CaseInsensitiveOption);
        for (const QString& t : all)
            if (word.match(t).hasMatch()) bad << t;
        return bad.join(QStringLiteral(" | ")).toStdString();
    }

    zento_test::TempDir dir;
    StatisticsWindow w{SettingsFile(dir.path() / "Zento.ini")};
};

} // namespace

TEST_F(StatisticsWindowTest, ShowsTheCoresFiguresInTheSettingsScalesAndExportsThem) {
    dir.put("Zento.ini", "[Health]\nGyroCountsPerDps=32.8\n");
    const std::string file = recording(dir, 62 * 20);
    ASSERT_TRUE(show(file));
    const RecordingFrames read = read_recording_frames(file);
    StatsOptions options;
    options.scales.gyro_counts_per_dps = 32.8;
    const IntervalStats want = interval_stats(*read.log, options);
    ASSERT_TRUE(w.stats());
    EXPECT_EQ(w.stats()->channel[4].counts_per_unit, 32.8);
    for (int c = 0; c < kStatsChannels; ++c) {
        const ChannelStats& s = want.channel[std::size_t(c)];
        ASSERT_TRUE(s.valid);
        std::vector<std::pair<int, double>> shown = {{2, s.mean},
                                                     {3, s.sd},
                                                     {4, s.min},
                                                     {5, s.max},
                                                     {6, s.mean * s.counts_per_unit},
                                                     {10, s.noise_density}};
        if (c < 6) shown.insert(shown.end(), {{11, s.random_walk}, {12, s.bias_instability}});
        for (const auto& [col, v] : shown)
            EXPECT_NEAR(cell(c, col), v, 1e-3 * std::abs(v)) << "row " << c << ", column " << col;
    }
    EXPECT_EQ(w.stillIntervals(), still_intervals(*read.log, options.scales));
    ASSERT_EQ(w.stillTable->rowCount(), 3);
    EXPECT_EQ(w.stillTable->item(1, 0)->text(),
              QString::number(w.stillIntervals()[1].from, 'f', 2));
    w.chooseStill(1);
    ASSERT_TRUE(wait_for([&] { return !w.busy(); }));
    ASSERT_TRUE(w.stats());
    EXPECT_EQ(w.stats()->from, w.stillIntervals()[1].from);
    EXPECT_EQ(w.stats()->to, w.stillIntervals()[1].to);
    EXPECT_EQ(not_numbers(), "");

    const auto out = [&](const char* name) { return QString::fromStdString(dir / name); };
    ASSERT_TRUE(w.exportTable(out("t.csv")));
    EXPECT_EQ(zento_test::read_text(dir / "t.csv"), stats_csv(*w.stats()));
    ASSERT_TRUE(w.exportCurves(out("c.csv")));
    EXPECT_EQ(zento_test::read_text(dir / "c.csv"), allan_csv(*w.stats()));
    ASSERT_TRUE(w.exportPlots(out("p.png")));
    EXPECT_EQ(QImage(out("p.png")).size(), QSize(1920, 480));
    ASSERT_TRUE(w.exportPlots(out("p.svg")));
    EXPECT_TRUE(QSvgRenderer(out("p.svg")).isValid());
    // A folder where the file should be: nothing written, and said.
    EXPECT_FALSE(w.exportTable(QString::fromStdString(dir.path().string())));
    EXPECT_TRUE(w.messageLabel->text().startsWith(QStringLiteral("Not saved: ")))
        << w.messageLabel->text().toStdString();
}

TEST_F(StatisticsWindowTest, IntervalsWithoutFiguresShowTheCoresMessageAndNoNanOrInf) {
    const std::string file = recording(dir, 60 * 20, 40, 42);
    ASSERT_TRUE(show(file));
    const RecordingFrames read = read_recording_frames(file);
    for (const auto& [from, to] : std::initializer_list<std::pair<double, double>>{
             {5000, 6000}, {10, 10.02}, {40.2, 41.8}, {30, 20}}) {
        SCOPED_TRACE(from);
        ASSERT_TRUE(choose(from, to));
        StatsOptions o;
        o.from = from;
        o.to = to;
        QString want = QString::fromStdString(interval_stats(*read.log, o).problem);
        ASSERT_FALSE(want.isEmpty());
        want[0] = want[0].toUpper();
        EXPECT_EQ(w.messageLabel->text().toStdString(), (want + QLatin1Char('.')).toStdString());
        EXPECT_EQ(w.stats(), nullptr);
        EXPECT_EQ(w.figureTable->item(0, 2)->text(), QString());
        EXPECT_FALSE(w.exportTableButton->isEnabled());
        EXPECT_EQ(not_numbers(), "");
    }
    // Typed text that is not a number, and a file that is not a recording.
    w.fromEdit->setText(QStringLiteral("1,5"));
    w.rangeButton->click();
    EXPECT_FALSE(w.busy());
    EXPECT_TRUE(w.messageLabel->text().startsWith(QStringLiteral("Give the interval as seconds")));
    ASSERT_TRUE(show(dir.put("notes.txt", "hello")));
    EXPECT_TRUE(w.messageLabel->text().endsWith(
        QStringLiteral("is not a recording: it is neither a pcap file nor a capture of the board's "
                       "frames (no frame in its first 5 bytes)")));
}

TEST_F(StatisticsWindowTest, AnotherIntervalOrClosingStopsWhatRuns) {
    const std::string file = recording(dir, 3600 * 20);
    w.show();
    w.open(QString::fromStdString(file));
    ASSERT_TRUE(w.busy());
    ASSERT_TRUE(choose(100, 200)); // while it reads
    ASSERT_TRUE(w.stats());
    EXPECT_EQ(w.stats()->from, 100);
    w.chooseWhole();
    ASSERT_TRUE(w.busy());
    w.close();
    EXPECT_FALSE(w.busy());
    EXPECT_EQ(w.messageLabel->text().toStdString(), "Stopped.");
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.stats(), nullptr) << "what a stopped job found is not shown";
}
