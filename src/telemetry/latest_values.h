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
    std::string str_Xjiaosulv, str_Yjiaosulv, str_Zjiaosulv; // gyroscope X Y Z
    std::string str_Xjiasudu, str_Yjiasudu, str_Zjiasudu;    // accelerometer X Y Z
    std::string str_Xcichang, str_Ycichang, str_Zcichang;    // magnetometer X Y Z
};

} // namespace zento
