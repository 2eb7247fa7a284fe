#pragma once
// A clock that stands still until the test moves it: the window's timers (lamps, port check,
// reconnect watch, rate tick, receive pacing) run out inside advance(), in the order of their
// times, each at its own time, so a test says "200 ms later" instead of waiting 200 ms.
#include "platform/timing/clock.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace zento_test {

class DrivenClock final : public zento::Clock {
    class DrivenTimer final : public zento::Timer {
      public:
        DrivenTimer(DrivenClock* clock, QObject* parent) : Timer(parent), clock_(clock) {}
        ~DrivenTimer() override {
            if (clock_) std::erase(clock_->timers_, this);
        }
        void start() override {
            active_ = true;
            due_ = clock_->now_ + interval_;
            order_ = clock_->started_++;
        }
        void stop() override { active_ = false; }
        bool isActive() const override { return active_; }

        DrivenClock* clock_;
        bool active_ = false;
        std::int64_t due_ = 0;
        std::uint64_t order_ = 0; // timers due together run in the order they were started
    };

  public:
    DrivenClock() = default;
    DrivenClock(const DrivenClock&) = delete;
    DrivenClock& operator=(const DrivenClock&) = delete;
    ~DrivenClock() override {
        for (DrivenTimer* t : timers_)
            t->clock_ = nullptr, t->active_ = false;
    }

    std::int64_t now_ms() const override { return now_; }
    zento::Timer* make_timer(QObject* parent, bool) override {
        return timers_.emplace_back(new DrivenTimer(this, parent));
    }

    // Moves time on by `ms`, running each timer that comes due on the way (and the events its
    // timeout posted).
    void advance(std::int64_t ms) {
        const std::int64_t end = now_ + ms;
        while (DrivenTimer* t = next(end))
            fire(*t);
        now_ = end;
    }
    // Moves time on, timer by timer, until `done` holds; false if it does not within `limit_ms`.
    bool advance_until(const std::function<bool()>& done, std::int64_t limit_ms = 60'000) {
        const std::int64_t end = now_ + limit_ms;
        while (!done()) {
            DrivenTimer* t = next(end);
            if (!t) {
                now_ = end;
                return done();
            }
            fire(*t);
        }
        return true;
    }

  private:
    DrivenTimer* next(std::int64_t end) const {
        DrivenTimer* first = nullptr;
        for (DrivenTimer* t : timers_)
            if (t->active_ && t->due_ <= end &&
                (!first || t->due_ < first->due_ ||
                 (t->due_ == first->due_ && t->order_ < first->order_)))
                first = t;
        return first;
    }
    void fire(DrivenTimer& t) {
        now_ = std::max(now_, t.due_);
        if (t.isSingleShot()) {
            t.active_ = false;
        } else {
            t.due_ = now_ + std::max(t.interval(), 1);
            t.order_ = started_++;
        }
        emit t.timeout();
        QCoreApplication::processEvents();
    }

    std::int64_t now_ = 0;
    std::uint64_t started_ = 0;
    std::vector<DrivenTimer*> timers_;
};

} // namespace zento_test
