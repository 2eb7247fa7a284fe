#pragma once
// The faults the health figures must name: for each, the figure that turns bad, how to start it
// on a running Rig, the seconds it may take (the aim is 3 s; checks made only while the board
// lies still wait for its next rest, from 35 s to 38 s of a run), and a piece of its
// "Health: " line. Shared by the tests and the measurements (bench/health).
#include <functional>
#include <vector>

#include "health_rig.h"

namespace health_test {

struct FaultCase {
    const char* name;
    zento::FigureId figure;
    std::function<void(Rig&)> start; // applied at the fault's start
    double limit;                    // seconds from the fault's start to bad, at most
    const char* line;                // a piece of the "Health: " line it writes
};

inline zento::board::SensorFaults with(std::function<void(zento::board::SensorFaults&)> f) {
    zento::board::SensorFaults s;
    f(s);
    return s;
}

// A scale set in the window that is not the board's.
inline std::function<void(Rig&)> scale_set(double zento::HealthScales::*which, double value) {
    return [=](Rig& r) {
        zento::HealthScales s;
        s.*which = value;
        r.monitor.set_scales(s);
    };
}

inline std::vector<FaultCase> fault_cases() {
    using zento::FigureId;
    using zento::HealthScales;
    namespace board = zento::board;
    return {{"mag-offset", FigureId::heading,
             [](Rig& r) {
                 r.board.model().set_faults(with([](auto& s) { s.mag_offset = {300, -200, 150}; }));
             },
             3.0, "uncalibrated magnetometer"},
            {"mag-disturbance", FigureId::field_while_still,
             [](Rig& r) {
                 r.board.model().set_faults(with([](auto& s) { s.mag_disturbance = true; }));
             },
             8.5, "magnetic field changes while the board is still (disturbance?)"},
            {"mag-disturbance heading", FigureId::heading,
             [](Rig& r) {
                 r.board.model().set_faults(with([](auto& s) { s.mag_disturbance = true; }));
             },
             8.0, "disturbance"},
            {"accel-offset", FigureId::tilt,
             [](Rig& r) {
                 r.board.model().set_faults(with([](auto& s) { s.accel_offset = {0, 1500, 0}; }));
             },
             8.5, "accelerometer off"},
            {"no-bias-removal", FigureId::gyro_bias,
             [](Rig& r) {
                 // A board whose bias was never collected: a fresh one, then the command
                 // that it ignores.
                 r.board.model() = board::BoardModel(r.seed);
                 r.board.model().set_faults(with([](auto& s) { s.no_bias_removal = true; }));
                 r.marked_bias();
             },
             3.5, "bias is still there after Marked bias"},
            {"burst 500 ms", FigureId::frame_gaps,
             [](Rig& r) { r.per_burst = board::ticks_per_burst(500, 20); }, 3.0, "bursts"},
            {"drop 0.002", FigureId::broken_frames,
             [](Rig& r) { r.board.drops().set_probability(0.002); }, 5.0, "bytes are lost"},
            {"faults 0.1", FigureId::checksum_errors,
             [](Rig& r) { r.board.faults().set_probability(0.1); }, 5.0, "checksum"},
            {"cable pulled", FigureId::bytes_rate, [](Rig& r) { r.line = Rig::Line::silent; }, 3.0,
             "nothing arrives"},
            {"wrong baud rate", FigureId::attitude_rate,
             [](Rig& r) { r.line = Rig::Line::garbled; }, 3.0, "wrong baud rate"},
            {"wrong baud rate, skipped", FigureId::skipped_bytes,
             [](Rig& r) { r.line = Rig::Line::garbled; }, 3.0, "belong to no frame"},
            {"stream stops for 1.5 s", FigureId::longest_gap,
             [](Rig& r) {
                 r.line = Rig::Line::silent;
                 r.run_for(1.5);
                 r.line = Rig::Line::ok;
             },
             3.0, "stream stopped"},
            {"gyroscope scale set twice the board's", FigureId::gyro_rates,
             scale_set(&HealthScales::gyro_counts_per_dps, 32.8), 3.0, "gyroscope scale setting"},
            {"accelerometer scale set wrong", FigureId::accel_norm,
             scale_set(&HealthScales::accel_counts_per_g, 8192), 3.0, "instead of 1 g"},
            {"magnetometer scale set wrong", FigureId::mag_norm,
             scale_set(&HealthScales::mag_counts_per_gauss, 10900), 3.0, "far from the earth's"}};
}

} // namespace health_test
