// The telemetry display of the main window: attitude and raw sensor frames fed through the
// serial test double (the same path as bytes from the port) reach the labels, gauges, lamp,
// attitude indicator, chart and latest-values record.
#include "shell/zento.h"

#include "instruments/attitude_indicator.h"
#include "link/envelope.h"
#include "platform/serial/mock_serial_port.h"
#include "platform/widgets/widgets.h"
#include "shell_test_util.h"
#include "telemetry/strip_chart.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <stdexcept>
#include <vector>

using namespace zento;
using namespace shell_test;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Attitude payload of the worked example: yaw -30, pitch 9, roll 1.5, altitude 100,
// temperature 25, pressure word 10132, rate 10.
const Bytes kAttitudeExample = {0x81, 0x2C, 0x00, 0x5A, 0x00, 0x0F, 0x03,
                                0xE8, 0x00, 0xFA, 0x27, 0x94, 0x00, 0x0A};
// Sensor payload of the worked example: AX 16, AY -16, AZ 16384, GX 0 (0x80 0x00), GY -5,
// GZ 5, HX 300, HY -300, HZ 0.
const Bytes kSensorExample = {0x00, 0x10, 0x80, 0x10, 0x40, 0x00, 0x00, 0x00, 0x80,
                              0x05, 0x00, 0x05, 0x01, 0x2C, 0x81, 0x2C, 0x00, 0x00};

// A payload with every word set to the same two bytes.
Bytes words(std::size_t count, std::uint8_t high, std::uint8_t low) {
    Bytes b;
    for (std::size_t i = 0; i < count; ++i) {
        b.push_back(high);
        b.push_back(low);
    }
    return b;
}

class TelemetryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = std::make_unique<Zento>(port, dir.qpath());
        window->exit_program = [] {};
        window->iPlotX1->setClock([this] { return clock; });
        port.setPortOpen(true);
    }
    void attitude(const Bytes& payload) { port.feed(build_frame(kTypeAttitude, payload)); }
    void sensor(const Bytes& payload) { port.feed(build_frame(kTypeSensor, payload)); }
    QCPGraphDataContainer& points(int channel) const {
        return *window->iPlotX1->plot()->graph(channel)->data();
    }
    double last(int channel) const {
        const auto& d = points(channel);
        EXPECT_GT(d.size(), 0);
        return d.size() ? (d.constEnd() - 1)->value : NAN;
    }
    std::vector<double> values(int channel) const {
        std::vector<double> v;
        for (const auto& p : points(channel))
            v.push_back(p.value);
        return v;
    }
    std::vector<QString> attitude_labels() const {
        Zento& w = *window;
        return {w.Label3->text(),  w.Label5->text(),  w.Label6->text(),     w.Label16->text(),
                w.Label17->text(), w.Label18->text(), w.Label19->text(),    w.Label20->text(),
                w.Label21->text(), w.Label24->text(), w.iLabelX1->Caption()};
    }
    std::vector<QString> sensor_labels() const {
        Zento& w = *window;
        std::vector<QString> t;
        for (QLabel* l : {w.Label7, w.Label8, w.Label9, w.Label10, w.Label11, w.Label12, w.Label13,
                          w.Label14, w.Label15})
            t.push_back(l->text());
        return t;
    }

    ProgramDir dir;
    MockSerialPort port;
    std::unique_ptr<Zento> window;
    double clock = 0;
};

} // namespace

// ---- the worked examples ----------------------------------------------------------------------

TEST_F(TelemetryTest, CaptionsBeforeTheFirstFrame) {
    EXPECT_EQ(attitude_labels(),
              (std::vector<QString>{"Height", "Roll", "Pitch", "Height", "Temp", "Pressure", "Yaw",
                                    "Pitch", "Roll", "Estimate Speed", "Temp"}));
    EXPECT_EQ(sensor_labels(), (std::vector<QString>{"X", "Y", "Z", "X", "Y", "Z", "X", "Y", "Z"}));
    EXPECT_FALSE(window->iLedRectangleX3->Active());
}

TEST_F(TelemetryTest, AttitudeWorkedExample) {
    Zento& w = *window;
    attitude(kAttitudeExample);
    EXPECT_EQ(attitude_labels(),
              (std::vector<QString>{"100m", "Roll:1.5", "Pitch:9", "Height:100m",
                                    QString::fromUtf8("Temp:25\u2103"), "Press:101320Pa", "Yaw:-30",
                                    "Pitch:9", "Roll:1.5", "Attitude solution:10 Times per second",
                                    "25C"}));
    EXPECT_DOUBLE_EQ(w.iLedBarX1->Position(), 100);
    EXPECT_DOUBLE_EQ(w.iThermometerX1->Position(), 25);
    EXPECT_DOUBLE_EQ(w.iCompassX1->Direction(), -30);
    EXPECT_TRUE(w.iLedRectangleX3->Active());
    EXPECT_EQ(w.frame_count, 1);
    // Chart with the start-up divisor 1 ("1" on Combo1): roll on 1, pitch on 2, yaw on 0.
    EXPECT_DOUBLE_EQ(last(1), 1.5);
    EXPECT_DOUBLE_EQ(last(2), 9);
    EXPECT_DOUBLE_EQ(last(0), -30);
    for (int k = 3; k < StripChart::kChannelCount; ++k)
        EXPECT_EQ(w.iPlotX1->pointCount(k), 0) << k;
    // The 3D window's fields, without that window being made.
    EXPECT_EQ(w.big3D, nullptr);
    const LatestValues& r = w.latest_values;
    EXPECT_EQ((std::vector<float>{r.Pitch, r.Roll, r.Yaw}), (std::vector<float>{9, -1.5, -30}));
    EXPECT_EQ((std::vector<std::string>{r.str_pitch, r.str_roll, r.str_yaw}),
              (std::vector<std::string>{"9", "1.5", "-30"}));
}

TEST_F(TelemetryTest, AttitudeFrameDrawsTheHorizonAtItsAngles) {
    // The indicator gets the roll and pitch texts: the same picture as drawing them directly.
    AttitudeIndicator reference;
    reference.Draw_attitude("1.5", "9");
    attitude(kAttitudeExample);
    EXPECT_EQ(window->Piczitai->picture(), reference.picture());
    reference.Draw_attitude("0", "0");
    EXPECT_NE(window->Piczitai->picture(), reference.picture());
}

TEST_F(TelemetryTest, SensorWorkedExample) {
    Zento& w = *window;
    sensor(kSensorExample);
    EXPECT_EQ(sensor_labels(),
              (std::vector<QString>{" AX:16", " AY:-16", " AZ:16384", " GX:0", " GY:-5", " GZ:5",
                                    " HX:300", " HY:-300", " HZ:0"}));
    const LatestValues& r = w.latest_values;
    EXPECT_EQ((std::vector<std::string>{r.str_Xjiasudu, r.str_Yjiasudu, r.str_Zjiasudu,
                                        r.str_Xjiaosulv, r.str_Yjiaosulv, r.str_Zjiaosulv,
                                        r.str_Xcichang, r.str_Ycichang, r.str_Zcichang}),
              (std::vector<std::string>{"16", "-16", "16384", "0", "-5", "5", "300", "-300", "0"}));
    // Start-up divisors: accelerometer and gyroscope 1/100, magnetometer 1/5.
    const double expected[9] = {0.16, -0.16, 163.84, 0, -0.05, 0.05, 60, -60, 0};
    for (int i = 0; i < 9; ++i)
        EXPECT_DOUBLE_EQ(last(3 + i), expected[i]) << "channel " << 3 + i;
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(w.iPlotX1->pointCount(k), 0);
    EXPECT_EQ(w.frame_count, 0); // only attitude frames are counted
    EXPECT_FALSE(w.iLedRectangleX3->Active());
    EXPECT_EQ(w.big3D, nullptr);
}

// ---- value texts at the edges -----------------------------------------------------------------

TEST_F(TelemetryTest, NegativeZeroShowsZeroEverywhere) {
    Zento& w = *window;
    attitude(words(7, 0x80, 0x00));
    sensor(words(9, 0x80, 0x00));
    EXPECT_EQ(
        attitude_labels(),
        (std::vector<QString>{"0m", "Roll:0", "Pitch:0", "Height:0m",
                              QString::fromUtf8("Temp:0\u2103"), "Press:0Pa", "Yaw:0", "Pitch:0",
                              "Roll:0", "Attitude solution:0 Times per second", "0C"}));
    for (const QString& t : sensor_labels())
        EXPECT_TRUE(t.endsWith(":0") && !t.contains('-')) << t.toStdString();
    EXPECT_EQ(w.latest_values.str_roll, "0");
    EXPECT_FALSE(std::signbit(w.latest_values.Roll));
    EXPECT_FALSE(std::signbit(w.latest_values.Yaw));
    EXPECT_EQ(w.latest_values.str_Xjiaosulv, "0");
}

TEST_F(TelemetryTest, ExtremeWordsAndTruncatedYaw) {
    Zento& w = *window;
    attitude(words(7, 0xFF, 0xFF));
    EXPECT_EQ(w.Label19->text(), "Yaw:-3276.7");
    EXPECT_EQ(w.Label18->text(), "Press:-327670Pa");
    EXPECT_EQ(w.Label24->text(), "Attitude solution:-32767 Times per second");
    EXPECT_FLOAT_EQ(w.latest_values.Yaw, -3276);
    EXPECT_FLOAT_EQ(w.latest_values.Roll, 3276.7f);
    attitude(words(7, 0x7F, 0xFF));
    EXPECT_EQ(w.Label19->text(), "Yaw:3276.7");
    EXPECT_EQ(w.Label3->text(), "3276.7m"); // beyond the bar's range: passed on unchanged
    EXPECT_DOUBLE_EQ(w.iLedBarX1->Position(), double(3276.7f));
    EXPECT_EQ(w.Label18->text(), "Press:327670Pa");
    EXPECT_FLOAT_EQ(w.latest_values.Roll, -3276.7f);

    // Yaw -12.7: the record keeps -12, its text and the compass -12.7.
    Bytes p = kAttitudeExample;
    p[0] = 0x80;
    p[1] = 127;
    attitude(p);
    EXPECT_FLOAT_EQ(w.latest_values.Yaw, -12);
    EXPECT_EQ(w.latest_values.str_yaw, "-12.7");
    EXPECT_DOUBLE_EQ(w.iCompassX1->Direction(), double(-12.7f));

    // Sign-magnitude, not two's complement.
    Bytes s = words(9, 0xFF, 0xFF);
    s[2] = 0x7F;
    s[4] = 0xFF;
    s[5] = 0xFE;
    sensor(s);
    EXPECT_EQ(w.Label7->text(), " AX:-32767");
    EXPECT_EQ(w.Label8->text(), " AY:32767");
    EXPECT_EQ(w.Label9->text(), " AZ:-32766");
}

// ---- heartbeat, choosers, check boxes, follow -------------------------------------------------

TEST_F(TelemetryTest, HeartbeatFlipsOncePerAttitudeFrame) {
    LedRectangle* lamp = window->iLedRectangleX3;
    attitude(kAttitudeExample);
    EXPECT_TRUE(lamp->Active());
    sensor(kSensorExample); // not a heartbeat
    EXPECT_TRUE(lamp->Active());
    Bytes two = build_frame(kTypeAttitude, kAttitudeExample);
    const Bytes again = two;
    two.insert(two.end(), again.begin(), again.end());
    port.feed(two);
    EXPECT_TRUE(lamp->Active()); // two frames leave it as it was
    attitude(kAttitudeExample);
    EXPECT_FALSE(lamp->Active());
    EXPECT_EQ(window->frame_count, 4);
}

TEST_F(TelemetryTest, ChooserChangeScalesOnlyLaterPointsAndNeverTheLabels) {
    Zento& w = *window;
    attitude(kAttitudeExample);
    clock = 0.05;
    w.Combo1->setCurrentIndex(3); // "1/10"
    attitude(kAttitudeExample);
    EXPECT_EQ(values(1), (std::vector<double>{1.5, 0.15}));
    EXPECT_EQ(values(2), (std::vector<double>{9, 0.9}));
    EXPECT_EQ(values(0), (std::vector<double>{-30, -3}));
    EXPECT_EQ(w.Label21->text(), "Roll:1.5");
    EXPECT_EQ(w.latest_values.str_roll, "1.5");

    // The chooser is read for every reading: a change between AX's and AY's points applies
    // from AY on (the group's divisor is not fetched once per frame).
    w.sensor_step_hook = [&](int reading, int part) {
        if (reading == 1 && part == 4) w.Combo2->setCurrentIndex(0); // "1"
    };
    sensor(kSensorExample);
    EXPECT_DOUBLE_EQ(last(3), 0.16);
    EXPECT_DOUBLE_EQ(last(4), -16);
    EXPECT_DOUBLE_EQ(last(5), 16384);
    EXPECT_EQ(w.Label7->text(), " AX:16");
}

TEST_F(TelemetryTest, ChooserWithoutASelectionDrawsUndivided) {
    // An editable chooser can end up with no entry selected; the value is then drawn as it is
    // rather than indexing past the divisor table.
    window->Combo4->setCurrentIndex(-1);
    sensor(kSensorExample);
    EXPECT_DOUBLE_EQ(last(9), 300);
    EXPECT_DOUBLE_EQ(last(10), -300);
}

TEST_F(TelemetryTest, CheckBoxHidesExactlyItsThreeChannelsAndShowsTheirTracesAgain) {
    Zento& w = *window;
    for (int i = 0; i < 5; ++i) {
        clock = i * 0.05;
        attitude(kAttitudeExample);
        sensor(kSensorExample);
    }
    ASSERT_TRUE(w.Check3->isChecked());
    w.Check3->click(); // Gyroscope: channels 6-8
    for (int k = 0; k < StripChart::kChannelCount; ++k)
        EXPECT_EQ(w.iPlotX1->channelVisible(k), k < 6 || k > 8) << k;
    clock = 0.3;
    sensor(kSensorExample); // hidden channels still record
    w.Check3->click();
    for (int k = 0; k < StripChart::kChannelCount; ++k) {
        EXPECT_TRUE(w.iPlotX1->channelVisible(k)) << k;
        EXPECT_EQ(w.iPlotX1->pointCount(k), k < 3 ? 5 : 6) << k;
    }
}

TEST_F(TelemetryTest, FollowTheLatestAfterTheAxisWasDragged) {
    Zento& w = *window;
    for (int i = 0; i < 400; ++i) { // 20 s of board time at 20 Hz
        clock = i * 0.05;
        attitude(kAttitudeExample);
    }
    w.iPlotX1->updateView();
    EXPECT_TRUE(w.iPlotX1->tracking());
    EXPECT_NEAR(w.iPlotX1->xRange().upper, clock, 1e-9);
    // The user drags the time axis back.
    w.iPlotX1->plot()->xAxis->setRange(2, 2 + StripChart::kWindowSeconds);
    EXPECT_FALSE(w.iPlotX1->tracking());
    clock = 20;
    attitude(kAttitudeExample);
    w.iPlotX1->updateView();
    EXPECT_NEAR(w.iPlotX1->xRange().lower, 2, 1e-9); // stays where the user left it
    w.Command6->click();                             // "Follow the latest"
    w.iPlotX1->updateView();
    EXPECT_TRUE(w.iPlotX1->tracking());
    EXPECT_NEAR(w.iPlotX1->xRange().upper, 20, 1e-9);
    EXPECT_NEAR(w.iPlotX1->xRange().size(), StripChart::kWindowSeconds, 1e-9);
}

// ---- bad frames and failing outputs -----------------------------------------------------------

TEST_F(TelemetryTest, FramesShorterThanTheirLayoutAreSkippedWhole) {
    Zento& w = *window;
    attitude(kAttitudeExample);
    sensor(kSensorExample);
    const auto shown = attitude_labels();
    const auto sensed = sensor_labels();
    // Valid envelopes with payloads one byte short (and empty); the checksum byte would be read
    // as a field if the decoder ran past the payload.
    attitude(Bytes(kAttitudeExample.begin(), kAttitudeExample.end() - 1));
    attitude({});
    sensor(Bytes(kSensorExample.begin(), kSensorExample.end() - 1));
    sensor({});
    EXPECT_EQ(attitude_labels(), shown);
    EXPECT_EQ(sensor_labels(), sensed);
    EXPECT_EQ(w.frame_count, 1);
    EXPECT_EQ(w.iPlotX1->pointCount(0), 1);
    EXPECT_EQ(w.iPlotX1->pointCount(3), 1);
    // Called directly with spans that end where the frame ends (ASan would see a read past).
    const Bytes a = build_frame(kTypeAttitude, kAttitudeExample);
    for (std::size_t n = 0; n < a.size() - 3; ++n) { // rx_frame: length byte to checksum
        const Bytes cut(a.begin() + 2, a.begin() + 2 + std::ptrdiff_t(n));
        w.Rec_attitude(cut);
    }
    EXPECT_EQ(w.frame_count, 1);
    // Longer payloads: the extra bytes are ignored.
    Bytes longer = kAttitudeExample;
    longer.insert(longer.end(), {0xFF, 0xFF, 0x12});
    attitude(longer);
    EXPECT_EQ(attitude_labels(), shown);
    EXPECT_EQ(w.frame_count, 2);
}

TEST_F(TelemetryTest, AFailingAttitudeStepIsSkippedAndTheOthersRun) {
    for (int failing = 1; failing <= 13; ++failing) {
        SCOPED_TRACE(failing);
        window.reset(); // the old window lets go of the port before the new one takes it
        window = std::make_unique<Zento>(port, dir.qpath());
        Zento& v = *window;
        v.exit_program = [] {};
        v.attitude_step_hook = [failing](int step) {
            if (step == failing) throw std::runtime_error("widget failed");
        };
        attitude(kAttitudeExample);
        if (failing != 1) { // step 1 decodes the angles: without it they stay 0
            EXPECT_EQ(v.Label19->text(), failing == 11 ? "Yaw" : "Yaw:-30");
            EXPECT_EQ(v.Label5->text(), failing == 8 ? "Roll" : "Roll:1.5");
            EXPECT_EQ(v.latest_values.str_yaw, failing == 12 ? "" : "-30");
            EXPECT_EQ(v.iPlotX1->pointCount(0), failing == 10 ? 0 : 1);
        } else {
            EXPECT_EQ(v.Label19->text(), "Yaw:0");
        }
        EXPECT_EQ(v.Label16->text(), failing == 2 ? "Height" : "Height:100m");
        EXPECT_EQ(v.Label18->text(), failing == 4 ? "Pressure" : "Press:101320Pa");
        EXPECT_EQ(v.iLedRectangleX3->Active(), failing != 6);
        EXPECT_EQ(v.frame_count, failing == 13 ? 0 : 1);
    }
}

TEST_F(TelemetryTest, AFailingSensorOutputIsSkippedAndTheOthersRun) {
    Zento& w = *window;
    w.sensor_step_hook = [](int reading, int part) {
        if (reading == 4 && part == 2) throw std::runtime_error("label failed"); // GY's label
        if (reading == 6 && part == 4) throw std::runtime_error("chart failed"); // HX's point
    };
    sensor(kSensorExample);
    EXPECT_EQ(w.Label11->text(), "Y");
    EXPECT_EQ(w.latest_values.str_Yjiaosulv, "-5");
    EXPECT_DOUBLE_EQ(last(7), -0.05);
    EXPECT_EQ(w.Label13->text(), " HX:300");
    EXPECT_EQ(w.iPlotX1->pointCount(9), 0);
    EXPECT_EQ(w.Label15->text(), " HZ:0");
    EXPECT_DOUBLE_EQ(last(11), 0);
}

TEST_F(TelemetryTest, FaultyStreamLosesNoValidFrame) {
    // Valid frames around damaged ones: every valid frame is shown and counted, the damaged
    // ones are reported, nothing else is decoded from them.
    Zento& w = *window;
    Bytes stream;
    int valid = 0;
    for (int i = 0; i < 50; ++i) {
        Bytes a = build_frame(kTypeAttitude, kAttitudeExample);
        if (i % 7 == 3)
            a[6] ^= 0x40; // payload damaged: checksum error
        else
            ++valid;
        stream.insert(stream.end(), a.begin(), a.end());
        const Bytes s = build_frame(kTypeSensor, kSensorExample);
        stream.insert(stream.end(), s.begin(), s.end());
    }
    for (std::size_t at = 0; at < stream.size(); at += 13) // uneven batches
        port.feed(std::span(stream).subspan(at, std::min<std::size_t>(13, stream.size() - at)));
    EXPECT_EQ(w.frame_count, valid);
    EXPECT_EQ(w.iPlotX1->pointCount(0), valid);
    EXPECT_EQ(w.iPlotX1->pointCount(3), 50);
    EXPECT_EQ(w.Label19->text(), "Yaw:-30");
    EXPECT_EQ(lines_of(w.msg_text()).count(">  Check-Sum Error!"), 50 - valid);
}

TEST_F(TelemetryTest, OpaqueControlsShowTheColourOfTheFramesBeneathThem) {
    // The controls that every frame changes paint their own background; it must be the colour
    // of the (possibly nested, translucent) group frames they lie on, or they show as boxes.
    Zento& w = *window;
    w.show();
    QApplication::processEvents();
    const QImage shot = w.grab().toImage();
    const auto at = [&](QWidget* widget, QPoint local) {
        return shot.pixelColor(widget->mapTo(&w, local));
    };
    // Right end of a caption (no text there) against the frame's interior beside the control.
    EXPECT_EQ(at(w.Label16, {w.Label16->width() - 2, 8}), at(w.Frame_Other, {132, 56}));
    EXPECT_EQ(at(w.Label19, {w.Label19->width() - 2, 8}), at(w.Frame_IMU, {100, 68}));
    EXPECT_EQ(at(w.iCompassX1, {1, 1}), at(w.Fram_Zento, {866, 20}));
}

TEST_F(TelemetryTest, TheDegreeSignIsDrawn) {
    // "Temp:25℃" must show its last character: some CJK fonts map U+2103 to an empty glyph.
    Zento& w = *window;
    w.show();
    attitude(kAttitudeExample);
    QApplication::processEvents();
    const auto ink_columns = [&] {
        const QImage img = w.Label17->grab().toImage();
        int last = -1;
        for (int x = 0; x < img.width(); ++x)
            for (int y = 0; y < img.height(); ++y)
                if (qGray(img.pixel(x, y)) < 128) last = x;
        return last;
    };
    const int with_sign = ink_columns();
    w.Label17->setText(QStringLiteral("Temp:25"));
    QApplication::processEvents();
    EXPECT_GT(with_sign, ink_columns() + 3);
}
