#include "platform/timing/clock.h"

#include <QElapsedTimer>
#include <QTimer>

namespace zento {

namespace {

class SystemTimer final : public Timer {
  public:
    SystemTimer(QObject* parent, bool precise) : Timer(parent), timer_(new QTimer(this)) {
        if (precise) timer_->setTimerType(Qt::PreciseTimer);
        connect(timer_, &QTimer::timeout, this, &Timer::timeout);
    }
    void start() override {
        timer_->setSingleShot(single_shot_);
        timer_->start(interval_);
    }
    void stop() override { timer_->stop(); }
    bool isActive() const override { return timer_->isActive(); }

  private:
    QTimer* timer_;
};

class SystemClock final : public Clock {
  public:
    SystemClock() { since_.start(); }
    std::int64_t now_ms() const override { return since_.elapsed(); }
    Timer* make_timer(QObject* parent, bool precise) override {
        return new SystemTimer(parent, precise);
    }

  private:
    QElapsedTimer since_;
};

} // namespace

Clock& system_clock() {
    static SystemClock clock;
    return clock;
}

} // namespace zento
