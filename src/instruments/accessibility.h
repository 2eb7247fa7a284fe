#pragma once
// The instrument widgets to assistive technology: lamps and the switch as indicators and a
// button, the compass and the gauges as values, the panel as a group, its caption as text.

namespace zento {

// Registers the accessibility factory for the instrument widgets (idempotent).
void install_widget_accessibility();

} // namespace zento
