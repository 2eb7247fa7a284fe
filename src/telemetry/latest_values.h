#pragma once
// Latest-values record: the public fields of the 3D window big3D. The attitude decoder writes
// Pitch, Roll, Yaw and the three angle texts on every attitude frame, the sensor decoder the nine
// sensor texts on every raw sensor frame, whether or not the 3D window exists. The 3D window is
// the only reader. Fields start at 0 and "".
#include <string>

namespace zento {

struct LatestValues {
    float Roll = 0;  // the board's roll with its sign turned
    float Pitch = 0; // the board's pitch
    float Yaw = 0;   // the board's yaw cut to whole degrees toward zero
    std::string str_pitch, str_roll, str_yaw;
    std::string str_gyro_x, str_gyro_y, str_gyro_z; // gyroscope X Y Z
    std::string str_acc_x, str_acc_y, str_acc_z;    // accelerometer X Y Z
    std::string str_mag_x, str_mag_y, str_mag_z;    // magnetometer X Y Z
};

} // namespace zento
