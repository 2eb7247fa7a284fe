#pragma once
// A lamp that each pulse lights for a while: the pulse lights it and (re)starts a single-shot
// timer; the lamp goes out when the timer runs down, so a steady stream of pulses keeps it lit
// without a flicker. Used for the receive and send lamps and the message lamp.
#include "platform/timing/clock.h"

#include <QObject>

namespace zento {

class Lamp;

class PulseLamp : public QObject {
    Q_OBJECT
  public:
    // `timer_id`: the timer's objectName (its designer id, e.g. "Timer2").
    PulseLamp(Lamp* lamp, int hold_ms, const char* timer_id, QObject* parent,
              Clock& clock = system_clock());

    void pulse();
    Lamp* lamp() const { return lamp_; }
    Timer* timer() const { return timer_; }

  private:
    Lamp* lamp_;
    Timer* timer_;
};

} // namespace zento
