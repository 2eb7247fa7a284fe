// The recording's CSV rows and the chart export: exact texts, times, frames split over batches.
#include "recording/recording_csv.h"
#include "recording/tick_csv.h"
#include "recording_test_util.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>

using namespace zento;
using namespace rec_test;

namespace {

TEST(RecordingCsv, TimesHaveSixDecimals) {
    const std::vector<std::pair<std::int64_t, const char*>> cases = {
        {0, "0.000000"},       {1, "0.000001"},          {50'000, "0.050000"},
        {999'999, "0.999999"}, {1'000'000, "1.000000"},  {86'400'000'001, "86400.000001"},
        {-250, "-0.000250"},   {-3'000'001, "-3.000001"}};
    for (const auto& [us, text] : cases)
        EXPECT_EQ(seconds_text(us), text) << us;
}

TEST(RecordingCsv, RowsOfTheWorkedExamplesInAnyLocale) {
    // A locale with a decimal comma, where the system has one: the rows must not change.
    const std::string old = std::setlocale(LC_ALL, nullptr);
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "C"})
        if (std::setlocale(LC_ALL, name)) break;
    std::string out;
    CsvRows rows;
    Bytes stream;
    append_frame(stream, kTypeAttitude, kAttitudeExample);
    append_frame(stream, kTypeSensor, kSensorExample);
    rows.feed(stream, 1'234'567, out);
    std::setlocale(LC_ALL, old.c_str());
    EXPECT_EQ(out, "1.234567," + kAttitudeRow + "1.234567," + kSensorRow);
    EXPECT_EQ(rows.rows(), 2u);
    // Every row has as many cells as the header.
    const auto cells = [](std::string_view line) {
        return std::count(line.begin(), line.end(), ',');
    };
    EXPECT_EQ(cells(kCsvHeader), cells(kAttitudeRow) + 1);
    EXPECT_EQ(cells(kCsvHeader), cells(kSensorRow) + 1);
}

TEST(RecordingCsv, AFrameTakesTheTimeOfTheBatchThatCompletesIt) {
    Bytes stream;
    append_frame(stream, kTypeAttitude, kAttitudeExample);
    append_frame(stream, 0x7F, Bytes{1, 2, 3}); // other type: no row
    append_frame(stream, kTypeSensor,
                 Bytes(kSensorExample.begin(), kSensorExample.end() - 1)); // short: none
    append_frame(stream, kTypeSensor, kSensorExample);
    Bytes bad;
    append_frame(bad, kTypeAttitude, kAttitudeExample);
    bad[bad.size() - 2] ^= 1; // checksum
    stream.insert(stream.end(), bad.begin(), bad.end());
    append_frame(stream, kTypeAttitude, kAttitudeExample);

    CsvRows rows;
    std::string out;
    // Cut inside the first frame, inside the sensor frame and inside the last frame.
    const std::size_t cuts[] = {0, 7, 60, stream.size() - 3, stream.size()};
    for (int i = 0; i < 4; ++i)
        rows.feed(std::span<const std::uint8_t>(stream).subspan(cuts[i], cuts[i + 1] - cuts[i]),
                  (i + 1) * 100'000, out);
    EXPECT_EQ(out,
              "0.200000," + kAttitudeRow + "0.300000," + kSensorRow + "0.400000," + kAttitudeRow);
}

// Event rows: a command named by its type, a gap by its length; a gap is more than a second
// between two batches of bytes (the empty start record is none).
TEST(RecordingCsv, EventRowsNameTheCommandOrTheGapsLength) {
    const auto frame = [](std::uint8_t type) { return build_frame(type, {}); };
    const std::pair<LinkEvent, const char*> labels[] = {
        {command_event(frame(kTypeGyroBias), 0), "gyro bias"},
        {command_event(frame(kTypeHeightZero), 0), "height zero"},
        {command_event(frame(0xE5), 0), "command e5"},
        {command_event(Bytes{1, 2}, 0), "command"},
        {{LinkEvent::Kind::gap, 0, 2'349'999'999}, "gap 2.3 s"},
        {{LinkEvent::Kind::gap, 0, 2'350'000'000}, "gap 2.4 s"},
        {{LinkEvent::Kind::gap, 0, 61'000'000'000}, "gap 61.0 s"}};
    for (const auto& [e, label] : labels)
        EXPECT_EQ(event_label(e), label);
    CsvRows rows;
    std::string out;
    const Bytes att = build_frame(kTypeAttitude, kAttitudeExample);
    for (const std::int64_t us : {-1, 0, 1'000'000, 2'000'001, 2'500'000}) // -1: the start
        rows.record(Direction::received, us < 0 ? Bytes{} : att, std::max<std::int64_t>(us, 0),
                    out);
    rows.record(Direction::sent, frame(kTypeHeightZero), 2'600'000, out);
    const std::string empty(17, ',');
    EXPECT_EQ(out, "0.000000," + kAttitudeRow + "1.000000," + kAttitudeRow + "2.000001,gap" +
                       empty + "gap 1.0 s\n2.000001," + kAttitudeRow + "2.500000," + kAttitudeRow +
                       "2.600000,command" + empty + "height zero\n");
}

// Export rows: a tick split over two batches keeps one time, a tick whose sensor frame was lost
// leaves its cells empty, values as decoded and in physical units; a file that cannot be
// written is named.
TEST(TickCsv, SplitAndBrokenTicksAndFilesThatCannotBeWritten) {
    Bytes a, s;
    append_frame(a, kTypeAttitude, kAttitudeExample);
    append_frame(s, kTypeSensor, kSensorExample);
    Bytes broken = s;
    broken[5] ^= 1;
    auto cat = [](std::initializer_list<Bytes> parts) {
        Bytes out;
        for (const Bytes& p : parts)
            out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    FrameDispatch dispatch;
    TickHistory history;
    dispatch.add_sink(history);
    const std::int64_t t0 = 1'765'000'000'000'000'000;
    dispatch.feed(a, t0);
    dispatch.feed(cat({s, a, broken}), t0 + 10'000'000);
    dispatch.feed(cat({a, s}), t0 + 20'000'000);
    std::string text = tick_csv_header();
    for (const TickRow& r : history.rows())
        append_tick_row(text, r, history.origin(), {});
    const std::string full = "-30,1.5,9,16,-16,16384,0,-5,5,300,-300,0,0.00098,-0.00098,1.00000,"
                             "0.000,-0.305,0.305,0.2752,-0.2752,0.0000\n";
    EXPECT_EQ(text, "time_s,yaw_deg,roll_deg,pitch_deg,accel_x_counts,accel_y_counts,"
                    "accel_z_counts,gyro_x_counts,gyro_y_counts,gyro_z_counts,mag_x_counts,"
                    "mag_y_counts,mag_z_counts,accel_x_g,accel_y_g,accel_z_g,gyro_x_dps,"
                    "gyro_y_dps,gyro_z_dps,mag_x_gauss,mag_y_gauss,mag_z_gauss\n0.000000," +
                        full + "0.010000,-30,1.5,9" + std::string(18, ',') + "\n0.020000," + full);

    zento_test::TempDir tmp;
    const std::vector<TickRow> rows = history.rows();
    const std::string file = tmp / "ticks.csv";
    EXPECT_EQ(save_tick_csv(file, rows, history.origin(), {}), "");
    EXPECT_EQ(zento_test::read_text(file), text);
    EXPECT_EQ(save_tick_csv(tmp.path(), rows, 0, {}),
              "cannot write " + tmp.path().string() + ": it is a folder");
    const std::string nowhere = tmp / "no/such/folder/ticks.csv";
    EXPECT_EQ(save_tick_csv(nowhere, rows, 0, {}),
              "cannot write " + nowhere + ": No such file or directory");
}

} // namespace
