#include "health/sensor_figures.h"

#include <algorithm>
#include <cmath>

namespace zento::health {

namespace {
constexpr std::size_t kMaxPending = 16384; // ticks; nobody works them: keep the newest half
constexpr double kPause = 1.0;             // no tick for longer is a pause in the stream
} // namespace

SensorFigures::SensorFigures(const HealthScales& scales) : scales_(scales) {
    ticks_.reserve(1024);
    set_scales(scales);
}

void SensorFigures::connect() {
    t_bias_command_.reset();
    set_scales(scales_);
}

void SensorFigures::set_scales(const HealthScales& s) {
    scales_ = s;
    ticks_.clear();
    next_ = 0;
    pending_att_ = false;
    for (auto* w : {&still_, &solutions_, &accel_, &field_, &roll_, &pitch_, &dip_, &heading_})
        w->clear();
    field_change_.clear();
    gyro_before_.clear();
    gyro_after_.clear();
    still_field_.reset();
    still_from_.reset();
    hard_iron_.reset(std::max(1.0, 0.04 * scales_.mag_counts_per_gauss));
}

void SensorFigures::bias_command(double t) {
    t_bias_command_ = t;
    moved_said_ = false;
    gyro_after_.merge_into(gyro_before_);
    gyro_after_.clear();
}

void SensorFigures::push(const Tick& k) {
    if (ticks_.size() >= kMaxPending) {
        ticks_.erase(ticks_.begin(), ticks_.begin() + std::ptrdiff_t(kMaxPending / 2));
        next_ = 0;
    }
    ticks_.push_back(k);
}

void SensorFigures::attitude(double t, const AttitudeRecord& r, std::uint64_t loss) {
    Tick k;
    k.t = t;
    k.yaw = r.yaw, k.pitch = r.pitch, k.roll = r.roll, k.rate = r.rate;
    k.loss = loss;
    k.has_att = true;
    push(k);
    pending_att_ = true;
}

void SensorFigures::sensor(double t, const SensorRecord& r, std::uint64_t loss) {
    if (!pending_att_ || ticks_.empty() || ticks_.back().loss != loss) {
        Tick fresh; // its attitude frame was lost
        fresh.t = t;
        fresh.loss = loss;
        push(fresh);
    }
    pending_att_ = false;
    Tick& k = ticks_.back();
    for (int i = 0; i < 3; ++i) {
        k.acc[i] = r.acc[i];
        k.gyro[i] = r.gyro[i];
        k.mag[i] = r.mag[i];
    }
    k.has_sensor = true;
}

bool SensorFigures::work(double rate) {
    if (rate <= 0) return false;
    const auto m = std::size_t(std::max(1L, std::lround(0.05 * rate)));
    const auto block = std::size_t(std::max(4L, std::lround(0.5 * rate)));
    bool moved = false;
    while (next_ + block + m <= ticks_.size()) {
        moved |= work_block(next_, block, m, rate);
        next_ += block;
    }
    if (next_ > m) {
        ticks_.erase(ticks_.begin(), ticks_.begin() + std::ptrdiff_t(next_ - m));
        next_ = m;
    }
    hard_iron_.refit();
    return moved;
}

bool SensorFigures::work_block(std::size_t begin, std::size_t size, std::size_t m, double rate) {
    const StillBlock b = still_block({ticks_.data() + begin, size}, scales_);
    const Tick& first = ticks_[begin];
    const Tick& last = ticks_[begin + size - 1];
    if (still_from_ && (!b.still || first.loss != still_loss_)) still_from_.reset();
    if (b.still) {
        if (!still_from_) still_from_ = first.t;
        still_to_ = last.t;
        still_loss_ = last.loss;
    }
    // Turned or moved within the time the board takes its gyroscope bias after the command:
    // that bias is wrong.
    bool moved_at_bias = false;
    if (b.moved && t_bias_command_ && !moved_said_ && first.t >= *t_bias_command_ &&
        last.t < *t_bias_command_ + kBiasGrace) {
        moved_at_bias = moved_said_ = true;
    }
    for (std::size_t j = begin; j < begin + size; ++j)
        work_tick(j, b.still, m, rate);
    if (const auto change = still_field_.add(b)) {
        const auto sec = std::int64_t(std::floor(last.t));
        field_change_.add(sec, [&](Max& x) { x.add(*change); });
    }
    return moved_at_bias;
}

void SensorFigures::work_tick(std::size_t j, bool still, std::size_t m, double rate) {
    const Tick& k = ticks_[j];
    const auto sec = std::int64_t(std::floor(k.t));
    if (k.has_att) solutions_.add(sec, [&](Acc& a) { a.add(k.rate); });
    if (!k.has_sensor) return;
    const Vec3d a = {k.acc[0] / scales_.accel_counts_per_g, k.acc[1] / scales_.accel_counts_per_g,
                     k.acc[2] / scales_.accel_counts_per_g};
    const Vec3d mag = {k.mag[0], k.mag[1], k.mag[2]};
    const double an = std::hypot(a[0], a[1], a[2]);
    const double mn = std::hypot(mag[0], mag[1], mag[2]);
    accel_.add(sec, [&](Acc& x) { x.add(an); });
    field_.add(sec, [&](Acc& x) { x.add(mn / scales_.mag_counts_per_gauss); });
    hard_iron_.add(k.t, k.mag);
    if (!k.has_att) return;

    still_.add(sec, [&](Acc& x) { x.add(still ? 1.0 : 0.0); });
    if (const auto diff = heading_error(mag, k.roll, k.pitch, k.yaw))
        heading_.add(sec, [&](Acc& x) { x.add(*diff); });
    if (still) {
        if (const auto e = tilt_error(a, k.roll, k.pitch)) {
            roll_.add(sec, [&](Acc& x) { x.add(e->roll); });
            pitch_.add(sec, [&](Acc& x) { x.add(e->pitch); });
        }
        if (const auto d = dip_angle(a, an, mag, mn)) dip_.add(sec, [&](Acc& x) { x.add(*d); });
    }
    // The gyroscope against the attitude's rates: with no frame lost between the ends of the
    // difference, and none of the ticks the board never sent in a pause.
    if (j < m || j + m >= ticks_.size()) return;
    const Tick& before = ticks_[j - m];
    const Tick& after = ticks_[j + m];
    if (!before.has_att || !after.has_att || before.loss != after.loss) return;
    if (after.t - before.t > 2.0 * double(m) / rate + kPause) return;
    const bool commanded = t_bias_command_ && k.t >= *t_bias_command_;
    if (commanded && k.t < *t_bias_command_ + kBiasGrace) return;
    const Vec3d body = body_rates(before, after, k, 2.0 * double(m) / rate);
    (commanded ? gyro_after_ : gyro_before_).add(sec, [&](GyroAcc& g) {
        for (int i = 0; i < 3; ++i)
            g.a[i].add(k.gyro[i] / scales_.gyro_counts_per_dps - body[i], body[i]);
    });
}

void SensorFigures::measure(double now, Measures& m) const {
    const bool commanded = bias_commanded();
    for (const Span s : {kRecent, kTotal}) {
        auto of = [&](const auto& w) { return s == kRecent ? w.recent(now) : w.total(); };
        SensorSpan& x = m.sensors[s];
        x.solutions = of(solutions_);
        x.still = of(still_);
        x.accel = of(accel_);
        x.field = of(field_);
        x.roll = of(roll_);
        x.pitch = of(pitch_);
        x.dip = of(dip_);
        x.heading = of(heading_);
        x.field_change = of(field_change_);
        const GyroAcc after = of(gyro_after_);
        x.gyro_before_bias = of(gyro_before_);
        x.gyro = commanded ? after : x.gyro_before_bias;
        x.agreement = gyro_agreement(after, x.gyro_before_bias);
    }
    m.bias_commanded = commanded;
    m.fit = fit();
    m.mag_counts_per_gauss = scales_.mag_counts_per_gauss;
}

} // namespace zento::health
