#pragma once
// The telemetry display: decoded records to the labels, gauges, compass, horizon, chart points
// and the latest-values record; the update rate; the chart's scale choosers, trace boxes and
// "Follow the latest".
//
// Every event of the link (a command sent, a gap) is a mark on the chart at its time.
// Every attitude record: the heartbeat lamp flips (shown at the batch's end: a batch of two
// frames leaves it as it was), chart channels 1 (roll), 2 (pitch), 0 (yaw) get their points, and
// the frame is counted for the update rate. Every sensor record: chart channels 3..11 (AX..HZ)
// get theirs. A chart point is at the frame's time (telemetry_batch.h), its value divided by the
// divisor its group's chooser selects now (1 when the chooser selects no entry), so a change
// affects later points only.
//
// What shows only the latest value is set once per batch of bytes from the port, from the last
// record of each type in it (at 250 Hz a batch holds about four of each; the ones before the
// last would never be seen): attitude, in this order: altitude to the bar and its two labels,
// temperature to the thermometer and its two labels, pressure, the solution rate, the horizon is
// drawn, its two labels, the compass, the IMU labels, the latest-values record; sensor: for
// AX..HZ in turn its label and its text in the latest-values record.
//
// Texts are the value texts, built on the stack; a label is written only when its text changes,
// and repaints only the glyphs that changed (ValueLabel).
#include "platform/timing/clock.h"
#include "telemetry/frame_dispatch.h"
#include "telemetry/latest_values.h"

#include <QObject>

#include <array>
#include <cstdint>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace zento {

class AttitudeIndicator;
class Compass;
class LedBar;
class LedRectangle;
class StripChart;
class TextLabel;
class Thermometer;
class ValueLabel;

struct TelemetryControls {
    LedBar* altitudeBar;
    ValueLabel* altitudeBarLabel; // "100m"
    ValueLabel* altitudeLabel;    // "Height:100m"
    Thermometer* thermometer;
    TextLabel* thermometerLabel;   // "25C"
    ValueLabel* temperatureLabel;  // "Temp:25℃"
    ValueLabel* pressureLabel;     // "Press:101320Pa"
    ValueLabel* solutionRateLabel; // "Attitude solution:200 Times per second"
    LedRectangle* heartbeatLamp;
    AttitudeIndicator* horizon;
    ValueLabel* horizonRollLabel;  // "Roll:1.5"
    ValueLabel* horizonPitchLabel; // "Pitch:9"
    Compass* compass;
    std::array<ValueLabel*, 3> angleLabels;  // "Yaw:-30", "Pitch:9", "Roll:1.5"
    std::array<ValueLabel*, 9> sensorLabels; // " AX:..." .. " HZ:..."
    QLabel* updateRateLabel;                 // "20 FPS"
    StripChart* chart;
    std::array<QComboBox*, 4> scaleChoosers; // IMU, Acceleration, Gyroscope, Magnetometer
    std::array<QCheckBox*, 4> traceChecks;
    QPushButton* followButton;
};

class TelemetryDisplay : public QObject, public TelemetrySink {
    Q_OBJECT
  public:
    // `clock`: what the one-second rate tick runs on.
    TelemetryDisplay(const TelemetryControls& controls, QObject* parent, Clock& clock);

    // Start-up: the choosers' first selections (1, 1/100, 1/100, 1/5) and the divisor table.
    void Form_Load();

    void batch(const TelemetryBatch& b) override;

    // One-second tick: shows the frames counted since the last tick as "<n> FPS".
    void Show_update_rate();
    // Forgets the frames counted so far (those run through at once to show a moment sought).
    void restart_rate() { frame_count_ = 0; }

    // The divisor a chooser selects; 1 when it selects no entry.
    double chart_divisor(int group) const;

    // The latest values that the 3D window shows; written whether or not it was ever opened.
    const LatestValues& latest_values() const { return latest_; }
    std::int16_t frame_count() const { return frame_count_; }
    Timer* rate_timer() const { return rate_timer_; }

  private:
    void Rec_attitude(double t, const AttitudeRecord& r);
    void Rec_sensor(double t, const SensorRecord& r);
    void batch_end();
    void show_attitude(const AttitudeRecord& r);
    void show_sensor(const SensorRecord& r);

    TelemetryControls c_;
    std::optional<AttitudeRecord> attitude_; // the batch's latest, not shown yet
    std::optional<SensorRecord> sensor_;
    bool heartbeat_flip_ = false;     // an odd number of attitude frames in the batch so far
    std::array<float, 7> scale_div{}; // divisor of each chooser entry, filled at start-up
    LatestValues latest_;
    std::int16_t frame_count_ = 0; // attitude frames since the last tick (wraps)
    Timer* rate_timer_;
};

} // namespace zento
