// The telemetry display of the main window: attitude and raw sensor frames fed through the
// serial test double (the same path as bytes from the port) reach the labels, gauges, lamp,
// attitude indicator, chart and latest-values record.
#include "window_fixture.h"

#include "instruments/attitude_indicator.h"
#include "instruments/lamps.h"
#include "instruments/panel.h"
#include "shell/telemetry_display.h"
#include "chart/strip_chart.h"
#include "instruments/compass.h"
#include "instruments/gauges.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include <cmath>

using namespace zento;
using namespace zento_test;

namespace {

// Attitude payload of the worked example: yaw -30, pitch 9, roll 1.5, altitude 100,
// temperature 25, pressure word 10132, rate 10.
const Bytes kAttitudeExample = {0x81, 0x2C, 0x00, 0x5A, 0x00, 0x0F, 0x03,
                                0xE8, 0x00, 0xFA, 0x27, 0x94, 0x00, 0x0A};
// Sensor payload of the worked example: AX 16, AY -16, AZ 16384, GX 0 (0x80 0x00), GY -5,
// GZ 5, HX 300, HY -300, HZ 0.
const Bytes kSensorExample = {0x00, 0x10, 0x80, 0x10, 0x40, 0x00, 0x00, 0x00, 0x80,
                              0x05, 0x00, 0x05, 0x01, 0x2C, 0x81, 0x2C, 0x00, 0x00};

class TelemetryTest : public WindowTest {
  protected:
    void SetUp() override {
        make();
        port.clock = [this] { return std::int64_t(std::llround(clock * 1e6)) * 1000; };
        port.setPortOpen(true);
    }
    StripChart& chart() const { return *ui().chart; }
    const LatestValues& latest() const { return window->telemetry().latest_values(); }
    int frames() const { return window->telemetry().frame_count(); }
    QCPGraphDataContainer& points(int channel) const {
        return *chart().plot()->graph(channel)->data();
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
        const MainForm& f = ui();
        return {
            f.altitudeBarLabel->text(),  f.horizonRollLabel->text(),   f.horizonPitchLabel->text(),
            f.altitudeLabel->text(),     f.temperatureLabel->text(),   f.pressureLabel->text(),
            f.angleLabels[0]->text(),    f.angleLabels[1]->text(),     f.angleLabels[2]->text(),
            f.solutionRateLabel->text(), f.thermometerLabel->Caption()};
    }
    std::vector<QString> sensor_labels() const {
        std::vector<QString> t;
        for (QLabel* l : ui().sensorLabels)
            t.push_back(l->text());
        return t;
    }

    double clock = 0;
};

} // namespace

// ---- the worked examples ----------------------------------------------------------------------

TEST_F(TelemetryTest, AttitudeWorkedExample) {
    attitude(kAttitudeExample);
    EXPECT_EQ(attitude_labels(),
              (std::vector<QString>{"100m", "Roll:1.5", "Pitch:9", "Height:100m",
                                    QString::fromUtf8("Temp:25\u2103"), "Press:101320Pa", "Yaw:-30",
                                    "Pitch:9", "Roll:1.5", "Attitude solution:10 Times per second",
                                    "25C"}));
    EXPECT_DOUBLE_EQ(ui().altitudeBar->Position(), 100);
    EXPECT_DOUBLE_EQ(ui().thermometer->Position(), 25);
    EXPECT_DOUBLE_EQ(ui().compass->Direction(), -30);
    EXPECT_TRUE(ui().heartbeatLamp->Active());
    EXPECT_EQ(frames(), 1);
    // Chart with the start-up divisor 1 ("1" on Combo1): roll on 1, pitch on 2, yaw on 0.
    EXPECT_DOUBLE_EQ(last(1), 1.5);
    EXPECT_DOUBLE_EQ(last(2), 9);
    EXPECT_DOUBLE_EQ(last(0), -30);
    for (int k = 3; k < StripChart::kChannelCount; ++k)
        EXPECT_EQ(chart().pointCount(k), 0) << k;
    // The 3D window's fields, without that window being made.
    EXPECT_EQ(window->big3D(), nullptr);
    const LatestValues& r = latest();
    EXPECT_EQ((std::vector<float>{r.Pitch, r.Roll, r.Yaw}), (std::vector<float>{9, -1.5, -30}));
    EXPECT_EQ((std::vector<std::string>{r.str_pitch, r.str_roll, r.str_yaw}),
              (std::vector<std::string>{"9", "1.5", "-30"}));
}

TEST_F(TelemetryTest, AttitudeFrameDrawsTheHorizonAtItsAngles) {
    // The indicator gets the roll and pitch texts: the same picture as drawing them directly.
    AttitudeIndicator reference;
    reference.Draw_attitude("1.5", "9");
    attitude(kAttitudeExample);
    EXPECT_EQ(ui().horizon->picture(), reference.picture());
    reference.Draw_attitude("0", "0");
    EXPECT_NE(ui().horizon->picture(), reference.picture());
}

TEST_F(TelemetryTest, SensorWorkedExample) {
    sensor(kSensorExample);
    EXPECT_EQ(sensor_labels(),
              (std::vector<QString>{" AX:16", " AY:-16", " AZ:16384", " GX:0", " GY:-5", " GZ:5",
                                    " HX:300", " HY:-300", " HZ:0"}));
    const LatestValues& r = latest();
    EXPECT_EQ(
        (std::vector<std::string>{r.str_acc_x, r.str_acc_y, r.str_acc_z, r.str_gyro_x, r.str_gyro_y,
                                  r.str_gyro_z, r.str_mag_x, r.str_mag_y, r.str_mag_z}),
        (std::vector<std::string>{"16", "-16", "16384", "0", "-5", "5", "300", "-300", "0"}));
    // Start-up divisors: accelerometer and gyroscope 1/100, magnetometer 1/5.
    const double expected[9] = {0.16, -0.16, 163.84, 0, -0.05, 0.05, 60, -60, 0};
    for (int i = 0; i < 9; ++i)
        EXPECT_DOUBLE_EQ(last(3 + i), expected[i]) << "channel " << 3 + i;
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(chart().pointCount(k), 0);
    EXPECT_EQ(frames(), 0); // only attitude frames are counted
    EXPECT_FALSE(ui().heartbeatLamp->Active());
    EXPECT_EQ(window->big3D(), nullptr);
}

// ---- value texts at the edges -----------------------------------------------------------------

TEST_F(TelemetryTest, NegativeZeroShowsZeroEverywhere) {
    attitude(words(7, 0x80, 0x00));
    sensor(words(9, 0x80, 0x00));
    EXPECT_EQ(
        attitude_labels(),
        (std::vector<QString>{"0m", "Roll:0", "Pitch:0", "Height:0m",
                              QString::fromUtf8("Temp:0\u2103"), "Press:0Pa", "Yaw:0", "Pitch:0",
                              "Roll:0", "Attitude solution:0 Times per second", "0C"}));
    for (const QString& t : sensor_labels())
        EXPECT_TRUE(t.endsWith(":0") && !t.contains('-')) << t.toStdString();
    EXPECT_EQ(latest().str_roll, "0");
    EXPECT_FALSE(std::signbit(latest().Roll));
    EXPECT_FALSE(std::signbit(latest().Yaw));
    EXPECT_EQ(latest().str_gyro_x, "0");
}

TEST_F(TelemetryTest, ExtremeWordsAndTruncatedYaw) {
    attitude(words(7, 0xFF, 0xFF));
    EXPECT_EQ(ui().angleLabels[0]->text(), "Yaw:-3276.7");
    EXPECT_EQ(ui().pressureLabel->text(), "Press:-327670Pa");
    EXPECT_EQ(ui().solutionRateLabel->text(), "Attitude solution:-32767 Times per second");
    EXPECT_FLOAT_EQ(latest().Yaw, -3276);
    EXPECT_FLOAT_EQ(latest().Roll, 3276.7f);
    attitude(words(7, 0x7F, 0xFF));
    EXPECT_EQ(ui().angleLabels[0]->text(), "Yaw:3276.7");
    EXPECT_EQ(ui().altitudeBarLabel->text(),
              "3276.7m"); // beyond the bar's range: passed on unchanged
    EXPECT_DOUBLE_EQ(ui().altitudeBar->Position(), double(3276.7f));
    EXPECT_EQ(ui().pressureLabel->text(), "Press:327670Pa");
    EXPECT_FLOAT_EQ(latest().Roll, -3276.7f);

    // Yaw -12.7: the record keeps -12, its text and the compass -12.7.
    Bytes p = kAttitudeExample;
    p[0] = 0x80;
    p[1] = 127;
    attitude(p);
    EXPECT_FLOAT_EQ(latest().Yaw, -12);
    EXPECT_EQ(latest().str_yaw, "-12.7");
    EXPECT_DOUBLE_EQ(ui().compass->Direction(), double(-12.7f));

    // Sign-magnitude, not two's complement.
    Bytes s = words(9, 0xFF, 0xFF);
    s[2] = 0x7F;
    s[4] = 0xFF;
    s[5] = 0xFE;
    sensor(s);
    EXPECT_EQ(ui().sensorLabels[0]->text(), " AX:-32767");
    EXPECT_EQ(ui().sensorLabels[1]->text(), " AY:32767");
    EXPECT_EQ(ui().sensorLabels[2]->text(), " AZ:-32766");
}

// ---- heartbeat, choosers, check boxes, follow -------------------------------------------------

TEST_F(TelemetryTest, HeartbeatFlipsOncePerAttitudeFrame) {
    LedRectangle* lamp = ui().heartbeatLamp;
    attitude(kAttitudeExample);
    EXPECT_TRUE(lamp->Active());
    sensor(kSensorExample); // not a heartbeat
    EXPECT_TRUE(lamp->Active());
    Bytes two = build_frame(kTypeAttitude, kAttitudeExample);
    const Bytes again = two;
    two.insert(two.end(), again.begin(), again.end());
    int changes = 0;
    QObject::connect(lamp, &LedRectangle::activeChanged, [&] { ++changes; });
    port.feed(two);
    EXPECT_TRUE(lamp->Active()); // two frames leave it as it was
    EXPECT_EQ(changes, 0);       // (and it does not blink within the batch)
    attitude(kAttitudeExample);
    EXPECT_FALSE(lamp->Active());
    EXPECT_EQ(frames(), 4);
}

TEST_F(TelemetryTest, ABatchShowsItsLatestFramesAndChartsEveryOne) {
    // Three attitude and two sensor frames in one batch (as at high rates), then a batch that
    // ends inside a frame: every frame reaches the chart and the count, the labels, gauges,
    // horizon and latest values show the last complete frame of each type.
    auto attitude_frame = [](std::uint8_t k) { // roll 1.k, altitude 100.k
        Bytes p = kAttitudeExample;
        p[5] = std::uint8_t(10 + k);
        p[7] = std::uint8_t(0xE8 + k);
        return build_frame(kTypeAttitude, p);
    };
    auto sensor_frame = [](std::uint8_t ax) {
        Bytes p = kSensorExample;
        p[1] = ax;
        return build_frame(kTypeSensor, p);
    };
    Bytes batch;
    for (const Bytes& f : {attitude_frame(1), sensor_frame(17), attitude_frame(2), sensor_frame(18),
                           attitude_frame(3)})
        batch.insert(batch.end(), f.begin(), f.end());
    const Bytes fourth = attitude_frame(4);
    batch.insert(batch.end(), fourth.begin(), fourth.begin() + 9); // the next one begins
    port.feed(batch);

    EXPECT_EQ(frames(), 3);
    EXPECT_EQ(values(1), (std::vector<double>{1.1f, 1.2f, 1.3f}));
    EXPECT_EQ(values(3), (std::vector<double>{17.0 / 100, 18.0 / 100})); // AX at 1/100
    EXPECT_EQ(ui().altitudeLabel->text(), "Height:100.3m");
    EXPECT_EQ(ui().altitudeBarLabel->text(), "100.3m");
    EXPECT_EQ(ui().horizonRollLabel->text(), "Roll:1.3");
    EXPECT_EQ(ui().angleLabels[2]->text(), "Roll:1.3");
    EXPECT_DOUBLE_EQ(ui().altitudeBar->Position(), 100.3f);
    EXPECT_EQ(latest().str_roll, "1.3");
    EXPECT_EQ(ui().sensorLabels[0]->text(), " AX:18");
    EXPECT_EQ(latest().str_acc_x, "18");
    AttitudeIndicator reference;
    reference.Draw_attitude("1.3", "9");
    EXPECT_EQ(ui().horizon->picture(), reference.picture());

    port.feed(std::span(fourth).subspan(9)); // the rest of the fourth: shown with its batch
    EXPECT_EQ(frames(), 4);
    EXPECT_EQ(ui().altitudeLabel->text(), "Height:100.4m");
    EXPECT_EQ(ui().sensorLabels[0]->text(), " AX:18"); // no sensor frame in that batch
    EXPECT_EQ(values(1).back(), double(1.4f));
}

TEST_F(TelemetryTest, ChooserChangeScalesOnlyLaterPointsAndNeverTheLabels) {
    attitude(kAttitudeExample);
    clock = 0.05;
    ui().scaleChoosers[0]->setCurrentIndex(3); // "1/10"
    attitude(kAttitudeExample);
    EXPECT_EQ(values(1), (std::vector<double>{1.5, 0.15}));
    EXPECT_EQ(values(2), (std::vector<double>{9, 0.9}));
    EXPECT_EQ(values(0), (std::vector<double>{-30, -3}));
    Bytes turned = kAttitudeExample; // yaw 170: across -180/180 from -30, the trace breaks
    turned[0] = 0x06, turned[1] = 0xA4;
    attitude(turned);
    EXPECT_TRUE(values(0).size() == 4 && std::isnan(values(0)[2]) && values(0)[3] == 17);
    EXPECT_EQ(ui().angleLabels[2]->text(), "Roll:1.5");
    EXPECT_EQ(latest().str_roll, "1.5");

    // Each group has its own chooser.
    sensor(kSensorExample);
    ui().scaleChoosers[1]->setCurrentIndex(0); // accelerometer "1"
    clock = 0.1;
    sensor(kSensorExample);
    EXPECT_EQ(values(3), (std::vector<double>{0.16, 16}));
    EXPECT_EQ(values(5), (std::vector<double>{163.84, 16384}));
    EXPECT_EQ(values(7), (std::vector<double>{-0.05, -0.05}));
    EXPECT_EQ(ui().sensorLabels[0]->text(), " AX:16");
}

TEST_F(TelemetryTest, ChooserWithoutASelectionDrawsUndivided) {
    // An editable chooser can end up with no entry selected; the value is then drawn as it is
    // rather than indexing past the divisor table.
    ui().scaleChoosers[3]->setCurrentIndex(-1);
    sensor(kSensorExample);
    EXPECT_DOUBLE_EQ(last(9), 300);
    EXPECT_DOUBLE_EQ(last(10), -300);
}

TEST_F(TelemetryTest, CheckBoxHidesExactlyItsThreeChannelsAndShowsTheirTracesAgain) {
    for (int i = 0; i < 5; ++i) {
        clock = i * 0.05;
        attitude(kAttitudeExample);
        sensor(kSensorExample);
    }
    ASSERT_TRUE(ui().traceChecks[2]->isChecked());
    ui().traceChecks[2]->click(); // Gyroscope: channels 6-8
    for (int k = 0; k < StripChart::kChannelCount; ++k)
        EXPECT_EQ(chart().channelVisible(k), k < 6 || k > 8) << k;
    clock = 0.3;
    sensor(kSensorExample); // hidden channels still record
    ui().traceChecks[2]->click();
    for (int k = 0; k < StripChart::kChannelCount; ++k) {
        EXPECT_TRUE(chart().channelVisible(k)) << k;
        EXPECT_EQ(chart().pointCount(k), k < 3 ? 5 : 6) << k;
    }
}

// "Follow the latest" gives the axes back to the data after a drag (the chart's own tests
// cover the following itself).
TEST_F(TelemetryTest, FollowTheLatestAfterTheAxisWasDragged) {
    attitude(kAttitudeExample);
    chart().plot()->xAxis->setRange(-20, -20 + StripChart::kWindowSeconds);
    EXPECT_FALSE(chart().tracking());
    ui().followButton->click();
    EXPECT_TRUE(chart().tracking());
}

// ---- bad frames -----------------------------------------------------------

TEST_F(TelemetryTest, FramesShorterThanTheirLayoutAreSkippedWhole) {
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
    EXPECT_EQ(frames(), 1);
    EXPECT_EQ(chart().pointCount(0), 1);
    EXPECT_EQ(chart().pointCount(3), 1);
    // Longer payloads: the extra bytes are ignored.
    Bytes longer = kAttitudeExample;
    longer.insert(longer.end(), {0xFF, 0xFF, 0x12});
    attitude(longer);
    EXPECT_EQ(attitude_labels(), shown);
    EXPECT_EQ(frames(), 2);
}

TEST_F(TelemetryTest, FaultyStreamLosesNoValidFrame) {
    // Valid frames around damaged ones: every valid frame is shown and counted, the damaged
    // ones are reported, nothing else is decoded from them.
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
    EXPECT_EQ(frames(), valid);
    EXPECT_EQ(chart().pointCount(0), valid);
    EXPECT_EQ(chart().pointCount(3), 50);
    EXPECT_EQ(ui().angleLabels[0]->text(), "Yaw:-30");
    EXPECT_EQ(lines_of(log()).count(">  Check-Sum Error!"), 50 - valid);
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
    QLabel* altitude = ui().altitudeLabel;
    QLabel* yaw = ui().angleLabels[0];
    EXPECT_EQ(at(altitude, {altitude->width() - 2, 8}), at(ui().otherFrame, {132, 56}));
    EXPECT_EQ(at(yaw, {yaw->width() - 2, 8}), at(ui().groupFrames[0], {100, 68}));
    EXPECT_EQ(at(ui().compass, {1, 1}), at(ui().telemetryFrame, {866, 20}));
}

TEST_F(TelemetryTest, TheDegreeSignIsDrawn) {
    // "Temp:25℃" must show its last character: some CJK fonts map U+2103 to an empty glyph.
    window->show();
    attitude(kAttitudeExample);
    QApplication::processEvents();
    const auto ink_columns = [&] {
        const QImage img = ui().temperatureLabel->grab().toImage();
        int last = -1;
        for (int x = 0; x < img.width(); ++x)
            for (int y = 0; y < img.height(); ++y)
                if (qGray(img.pixel(x, y)) < 128) last = x;
        return last;
    };
    const int with_sign = ink_columns();
    ui().temperatureLabel->setText(QStringLiteral("Temp:25"));
    QApplication::processEvents();
    EXPECT_GT(with_sign, ink_columns() + 3);
}

// Frames at the extremes of every value: each label shows its longest text in full, and no
// other control lies over any part of a text.
TEST_F(TelemetryTest, TextsAtTheExtremesFitTheirLabelsAndNothingCoversThem) {
    Zento& w = *window;
    w.show();
    std::vector<QWidget*> texts; // QLabels and the thermometer's text label
    for (QLabel* l : w.findChildren<QLabel*>())
        if (l->isVisible() && !l->wordWrap()) texts.push_back(l);
    texts.push_back(ui().thermometerLabel);
    const auto text_of = [](QWidget* t) {
        if (auto* l = qobject_cast<QLabel*>(t)) return l->text();
        return static_cast<TextLabel*>(t)->Caption();
    };
    // Where the text of `t` is drawn (as the label aligns it), in window coordinates, and the
    // width it has.
    const auto text_rect = [&](QWidget* t) {
        const QFontMetrics fm(t->font());
        const auto* l = qobject_cast<QLabel*>(t);
        Qt::Alignment align = l ? l->alignment() : Qt::AlignCenter;
        if (!(align & Qt::AlignVertical_Mask)) align |= Qt::AlignVCenter;
        const QRect inside = t->contentsRect();
        const QRect r = QStyle::alignedRect(
            Qt::LeftToRight, align, QSize(fm.horizontalAdvance(text_of(t)), fm.height()), inside);
        return std::make_pair(QRect(t->mapTo(&w, r.topLeft()), r.size()), inside.width());
    };
    const std::pair<Bytes, Bytes> extremes[] = {
        {words(7, 0xFF, 0xFF), words(9, 0xFF, 0xFF)}, // -3276.7, -327670Pa, -32767
        {words(7, 0x7F, 0xFF), words(9, 0x7F, 0xFF)}, // 3276.7, 327670Pa, 32767
        {words(7, 0x8F, 0xFF), words(9, 0x80, 0x01)}, // -409.5, -1
    };
    for (const auto& [a, s] : extremes) {
        attitude(a);
        sensor(s);
        QApplication::processEvents();
        for (QWidget* t : texts) {
            const auto [rect, room] = text_rect(t);
            const std::string name =
                t->objectName().toStdString() + " \"" + text_of(t).toStdString() + "\"";
            EXPECT_LE(rect.width(), room) << name << " is clipped";
            for (QWidget* other : w.findChildren<QWidget*>()) {
                if (other == t || !other->isVisible() || other->isAncestorOf(t) ||
                    t->isAncestorOf(other) || other->isWindow())
                    continue;
                const QRect there(other->mapTo(&w, QPoint(0, 0)), other->size());
                // A sibling drawn beneath the label (earlier in its parent) covers nothing.
                if (other->parentWidget() == t->parentWidget() &&
                    other->parentWidget()->children().indexOf(other) <
                        t->parentWidget()->children().indexOf(t))
                    continue;
                EXPECT_FALSE(there.intersects(rect))
                    << name << " lies under " << other->objectName().toStdString() << " "
                    << other->metaObject()->className();
            }
        }
    }
}
