#include "shell/telemetry_display.h"

#include "instruments/attitude_indicator.h"
#include "link/link_time.h"
#include "instruments/value_label.h"
#include "telemetry/channels.h"
#include "chart/strip_chart.h"
#include "telemetry/value_text.h"
#include "instruments/compass.h"
#include "instruments/gauges.h"
#include "instruments/lamps.h"
#include "instruments/panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <iterator>
#include <string_view>

namespace zento {

namespace {

// A decoded value and its value text.
struct Value {
    float v;
    std::size_t n;
    char t[kValueTextMax];

    explicit Value(float x) : v(x) { n = value_text(x, t); }
    std::string_view text() const { return {t, n}; }
    QString qstring() const { return QString::fromLatin1(t, qsizetype(n)); }
};

// A label text assembled on the stack (texts here are a few dozen characters at most).
class Text {
  public:
    Text& operator<<(const char* latin1) {
        while (*latin1)
            put(char16_t(static_cast<unsigned char>(*latin1++)));
        return *this;
    }
    Text& operator<<(const Value& value) {
        for (std::size_t i = 0; i < value.n; ++i)
            put(char16_t(static_cast<unsigned char>(value.t[i])));
        return *this;
    }
    Text& operator<<(char16_t c) {
        put(c);
        return *this;
    }
    QStringView view() const { return QStringView(buf_, qsizetype(n_)); }

  private:
    void put(char16_t c) {
        if (n_ < std::size(buf_)) buf_[n_++] = c;
    }
    char16_t buf_[128];
    std::size_t n_ = 0;
};

// Sets the label's text unless it already shows it (no allocation, no relayout then).
void set_caption(ValueLabel* label, const Text& text) {
    label->setValueText(text.view());
}

} // namespace

TelemetryDisplay::TelemetryDisplay(const TelemetryControls& controls, QObject* parent, Clock& clock)
    : QObject(parent), c_(controls), rate_timer_(clock.make_timer(this)) {
    rate_timer_->setObjectName(QStringLiteral("Timer1"));
    rate_timer_->setInterval(1000);
    connect(rate_timer_, &Timer::timeout, this, &TelemetryDisplay::Show_update_rate);
    rate_timer_->start();

    for (int g = 0; g < 4; ++g) {
        QCheckBox* box = c_.traceChecks[std::size_t(g)];
        connect(box, &QCheckBox::clicked, this,
                [this, box, g] { c_.chart->setGroupVisible(g, box->isChecked()); });
    }
    connect(c_.followButton, &QPushButton::clicked, this, [this] { c_.chart->setTracking(true); });
}

void TelemetryDisplay::Form_Load() {
    const int first[4] = {0, 6, 6, 2}; // 1, 1/100, 1/100, 1/5
    for (std::size_t g = 0; g < 4; ++g)
        c_.scaleChoosers[g]->setCurrentIndex(first[g]);
    scale_div = {1, 2, 5, 10, 20, 50, 100};
}

double TelemetryDisplay::chart_divisor(int group) const {
    const int i = c_.scaleChoosers[std::size_t(group)]->currentIndex();
    if (i < 0 || i >= int(scale_div.size())) return 1.0;
    return double(scale_div[std::size_t(i)]);
}

void TelemetryDisplay::Show_update_rate() {
    c_.updateRateLabel->setText(QString::number(frame_count_) + QStringLiteral(" FPS"));
    frame_count_ = 0;
}

void TelemetryDisplay::batch(const TelemetryBatch& b) {
    for (const LinkEvent& e : b.events)
        c_.chart->addMark(link_seconds(e.time_ns), QString::fromStdString(event_label(e)),
                          e.kind == LinkEvent::Kind::gap);
    for (const TelemetryFrame& f : b.frames) {
        const double t = link_seconds(f.time_ns);
        if (f.type == TelemetryFrame::Type::attitude)
            Rec_attitude(t, f.attitude);
        else
            Rec_sensor(t, f.sensor);
    }
    batch_end();
}

void TelemetryDisplay::Rec_attitude(double t, const AttitudeRecord& r) {
    heartbeat_flip_ = !heartbeat_flip_;
    const double div = chart_divisor(0);
    for (const int k : {1, 2, 0}) // angles wrap round
        c_.chart->addPoint(k, t, double(channel_value(k, r)) / div, 360.0 / div);
    frame_count_ = std::int16_t(frame_count_ + 1);
    attitude_ = r;
}

void TelemetryDisplay::Rec_sensor(double t, const SensorRecord& r) {
    for (int k = 3; k < kChannelCount; ++k)
        c_.chart->addPoint(k, t, double(channel_value(k, r)) / chart_divisor(channel_group(k)));
    sensor_ = r;
}

void TelemetryDisplay::batch_end() {
    if (heartbeat_flip_) c_.heartbeatLamp->setActive(!c_.heartbeatLamp->Active());
    heartbeat_flip_ = false;
    if (attitude_) show_attitude(*attitude_);
    if (sensor_) show_sensor(*sensor_);
    attitude_.reset();
    sensor_.reset();
}

void TelemetryDisplay::show_attitude(const AttitudeRecord& r) {
    const Value yaw(r.yaw), pitch(r.pitch), roll(r.roll), altitude(r.altitude);
    const Value temperature(r.temperature), pressure(r.pressure_pa()), rate(r.rate);

    c_.altitudeBar->setPosition(altitude.v);
    set_caption(c_.altitudeBarLabel, Text() << altitude << "m");
    set_caption(c_.altitudeLabel, Text() << "Height:" << altitude << "m");

    c_.thermometer->setPosition(temperature.v);
    set_caption(c_.temperatureLabel, Text() << "Temp:" << temperature << u'\u2103');
    const Text caption = Text() << temperature << "C";
    if (QStringView(c_.thermometerLabel->Caption()) != caption.view())
        c_.thermometerLabel->setCaption(caption.view().toString());

    set_caption(c_.pressureLabel, Text() << "Press:" << pressure << "Pa");
    set_caption(c_.solutionRateLabel, Text()
                                          << "Attitude solution:" << rate << " Times per second");

    c_.horizon->Draw_attitude(roll.qstring(), pitch.qstring());
    set_caption(c_.horizonRollLabel, Text() << "Roll:" << roll);
    set_caption(c_.horizonPitchLabel, Text() << "Pitch:" << pitch);
    c_.compass->setDirection(yaw.v);

    set_caption(c_.angleLabels[0], Text() << "Yaw:" << yaw);
    set_caption(c_.angleLabels[1], Text() << "Pitch:" << pitch);
    set_caption(c_.angleLabels[2], Text() << "Roll:" << roll);

    latest_.Pitch = r.pitch_3d();
    latest_.Roll = r.roll_3d();
    latest_.Yaw = r.yaw_3d();
    latest_.str_pitch.assign(pitch.text());
    latest_.str_roll.assign(roll.text());
    latest_.str_yaw.assign(yaw.text());
}

void TelemetryDisplay::show_sensor(const SensorRecord& r) {
    static constexpr const char* kPrefix[9] = {
        " AX:", " AY:", " AZ:", " GX:", " GY:", " GZ:", " HX:", " HY:", " HZ:"};
    static constexpr std::string LatestValues::*kField[9] = {
        &LatestValues::str_acc_x,  &LatestValues::str_acc_y,  &LatestValues::str_acc_z,
        &LatestValues::str_gyro_x, &LatestValues::str_gyro_y, &LatestValues::str_gyro_z,
        &LatestValues::str_mag_x,  &LatestValues::str_mag_y,  &LatestValues::str_mag_z};
    for (int i = 0; i < 9; ++i) {
        const Value v(r.reading(i));
        set_caption(c_.sensorLabels[std::size_t(i)], Text() << kPrefix[i] << v);
        (latest_.*kField[i]).assign(v.text());
    }
}

} // namespace zento
