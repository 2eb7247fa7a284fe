#pragma once
// When the board lies still, as the health figures judge it and the statistics find their still
// intervals: over kStillSeconds, roll and pitch each within kStillAngle degrees, each
// accelerometer axis within kStillAccel g and each gyroscope axis within kStillGyro deg/s
// (max - min of the readings), with no frame lost.
namespace zento {

inline constexpr double kStillSeconds = 0.5;
inline constexpr double kStillAngle = 0.3, kStillAccel = 0.02, kStillGyro = 1.5;

} // namespace zento
