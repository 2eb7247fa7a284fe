#include "shell/pulse_lamp.h"

#include "instruments/lamps.h"

namespace zento {

PulseLamp::PulseLamp(Lamp* lamp, int hold_ms, const char* timer_id, QObject* parent, Clock& clock)
    : QObject(parent), lamp_(lamp), timer_(clock.make_timer(this)) {
    timer_->setObjectName(QString::fromLatin1(timer_id));
    timer_->setSingleShot(true);
    timer_->setInterval(hold_ms);
    connect(timer_, &Timer::timeout, this, [this] { lamp_->setActive(false); });
}

void PulseLamp::pulse() {
    lamp_->setActive(true);
    timer_->start();
}

} // namespace zento
