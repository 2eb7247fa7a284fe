// The recording's CSV rows and the chart export: exact texts, times, frames split over batches.
#include "recording/recording_csv.h"
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

} // namespace
