#include "shell/pulse_lamp.h"

#include "instruments/lamps.h"

#include <QTimer>

namespace zento {

PulseLamp::PulseLamp(Lamp* lamp, int hold_ms, const char* timer_id, QObject* parent)
    : QObject(parent), lamp_(lamp), timer_(new QTimer(this)) {
    timer_->setObjectName(QString::fromLatin1(timer_id));
    timer_->setSingleShot(true);
    timer_->setInterval(hold_ms);
    connect(timer_, &QTimer::timeout, this, [this] { lamp_->setActive(false); });
}

void PulseLamp::pulse() {
    lamp_->setActive(true);
    timer_->start();
}

} // namespace zento
