#pragma once
// The time that the window's paced and timed parts run on: a monotonic clock and timers on it.
// In the program it is the system's (QElapsedTimer, QTimer); a test drives one of its own
// (tests/common/driven_clock.h), so that a lamp's hold, the 200 ms port check, the reconnect
// watch, the one-second rate tick or the receive pacing runs out when the test says so, not
// after a real wait.
#include <QObject>

#include <cstdint>

namespace zento {

// A timer on a Clock, with the part of QTimer's interface the window uses: a repeating or
// single-shot timeout one interval after start(); start() on an active timer starts it afresh;
// stop() on a stopped one does nothing. timeout() is emitted on the UI thread, never inside
// start() or stop(). The objectName is the timer's designer id ("Timer4").
class Timer : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    void setInterval(int ms) { interval_ = ms < 0 ? 0 : ms; }
    int interval() const { return interval_; }
    void setSingleShot(bool on) { single_shot_ = on; }
    bool isSingleShot() const { return single_shot_; }
    void start(int ms) {
        setInterval(ms);
        start();
    }
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

  signals:
    void timeout();

  protected:
    int interval_ = 0;
    bool single_shot_ = false;
};

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start; never goes back.
    virtual std::int64_t now_ms() const = 0;
    // A new, stopped timer on this clock, owned by `parent`. `precise`: to the millisecond (the
    // system's coarse timers may run out 5 % late).
    virtual Timer* make_timer(QObject* parent, bool precise = false) = 0;
};

// The system's clock: QElapsedTimer and QTimer.
Clock& system_clock();

} // namespace zento
