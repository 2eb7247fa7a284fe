#pragma once
// The sensor figures' records: the board's ticks as their frames bring them (an attitude frame
// and the sensor frame after it with the same loss stamp make one tick), stored as they come
// and worked half a second of ticks (a block) at a time into the statistics of each check
// (health/sensor_checks.h), kept per second of the ticks' own time for the last 10 s and since
// connect (health/window_stats.h), and into the hard-iron estimate (health/hard_iron.h).
//
// Body rates come from central differences over about 0.1 s (m ticks either side), so a block
// is worked once the m ticks after it came; the m ticks before it are kept for the same
// reason. The gyroscope's figures leave out the ticks of the 2 s after the bias command, while
// the board collects its bias, and count those after it apart from those before.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "health/hard_iron.h"
#include "health/health_settings.h"
#include "health/measures.h"
#include "health/sensor_checks.h"
#include "health/window_stats.h"
#include "telemetry/decoders.h"

namespace zento::health {

inline constexpr double kBiasGrace = 2.0; // the board collects its bias this long after the command

class SensorFigures {
  public:
    explicit SensorFigures(const HealthScales& scales);

    // Connected: everything starts again, the bias command forgotten.
    void connect();
    // New scales: the records start again (a bias command is kept).
    void set_scales(const HealthScales& s);
    const HealthScales& scales() const { return scales_; }
    // "Marked bias" at t (the frames' time): ticks from t on count after it.
    void bias_command(double t);
    bool bias_commanded() const { return t_bias_command_.has_value(); }

    // A frame of tick time t with its loss stamp.
    void attitude(double t, const AttitudeRecord& r, std::uint64_t loss);
    void sensor(double t, const SensorRecord& r, std::uint64_t loss);

    // Works the whole blocks stored so far, at the board's `rate` ticks per second (nothing
    // while it is not known), and fits the hard-iron sphere again. True when the board moved
    // within the 2 s after the bias command (once per command): its bias was taken moving.
    bool work(double rate);

    // For how long the board has been lying still up to the latest worked block (0: not now).
    double still_seconds() const { return still_from_ ? still_to_ - *still_from_ : 0.0; }
    void measure(double now, Measures& m) const;
    const std::optional<SphereFit>& fit() const { return hard_iron_.fit(); }

  private:
    void push(const Tick& k);
    bool work_block(std::size_t begin, std::size_t size, std::size_t m, double rate);
    void work_tick(std::size_t j, bool still, std::size_t m, double rate);

    HealthScales scales_;
    // Ticks waiting to be worked; [0, next_) already worked (the look-back of the differences).
    std::vector<Tick> ticks_;
    std::size_t next_ = 0;
    bool pending_att_ = false; // the latest tick has its attitude frame and waits for its sensor's

    Windowed<Acc> still_, solutions_, accel_, field_, roll_, pitch_, dip_, heading_;
    Windowed<Max> field_change_;
    Windowed<GyroAcc> gyro_before_, gyro_after_;
    std::optional<double> t_bias_command_;
    bool moved_said_ = false;
    // The run of still blocks that the latest worked block ends: its first and last tick's
    // times, and the loss stamp at its end (a frame lost between two blocks ends the run).
    std::optional<double> still_from_;
    double still_to_ = 0;
    std::uint64_t still_loss_ = 0;
    StillField still_field_;
    HardIron hard_iron_;
};

} // namespace zento::health
