#include "telemetry/frame_json.h"

#include "telemetry/value_text.h"

#include <cstdio>

namespace zento {

namespace {

void number(std::string& out, float v) {
    char buf[kValueTextMax];
    out.append(buf, value_text(v, buf));
}

void triple(std::string& out, const char* name, const float (&v)[3]) {
    out += name;
    for (int i = 0; i < 3; ++i) {
        out += i ? ", " : "[";
        number(out, v[i]);
    }
    out += ']';
}

} // namespace

void frame_json(const TelemetryFrame& f, std::string& out) {
    // Whole seconds and microseconds, rounded down (a time before 1970 too).
    const std::int64_t us = f.time_ns / 1000 - (f.time_ns % 1000 < 0);
    const std::int64_t s = us / 1000000 - (us % 1000000 < 0);
    char t[40];
    const int n = std::snprintf(t, sizeof t, "{\"t\": %lld.%06lld, ", static_cast<long long>(s),
                                static_cast<long long>(us - s * 1000000));
    out.assign(t, std::size_t(n));
    if (f.type == TelemetryFrame::Type::attitude) {
        const AttitudeRecord& a = f.attitude;
        const std::pair<const char*, float> fields[] = {{"\"attitude\": {\"yaw\": ", a.yaw},
                                                        {", \"pitch\": ", a.pitch},
                                                        {", \"roll\": ", a.roll},
                                                        {", \"altitude\": ", a.altitude},
                                                        {", \"temperature\": ", a.temperature},
                                                        {", \"pressure\": ", a.pressure_pa()},
                                                        {", \"rate\": ", a.rate}};
        for (const auto& [name, v] : fields) {
            out += name;
            number(out, v);
        }
    } else {
        triple(out, "\"sensor\": {\"accel\": ", f.sensor.acc);
        triple(out, ", \"gyro\": ", f.sensor.gyro);
        triple(out, ", \"mag\": ", f.sensor.mag);
    }
    out += "}}\n";
}

} // namespace zento
