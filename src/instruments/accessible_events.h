#pragma once
// Change notifications of the instrument widgets for assistive technology.
// By default an event goes to Qt's accessibility bus, and only while a client listens
// (QAccessible::isActive()), so driving the widgets costs nothing when nobody is listening.
// A sink replaces that route, for example to observe the notifications in a check.
class QAccessibleEvent;

namespace zento::accessible_events {

using Sink = void (*)(QAccessibleEvent*);

// Installs `sink` (nullptr restores the default route); returns the previous one.
Sink set_sink(Sink sink);

// Sends one event along the current route.
void send(QAccessibleEvent* event);

// True when an event would go anywhere: lets callers skip building it.
bool wanted();

} // namespace zento::accessible_events
