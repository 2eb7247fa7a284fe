#pragma once
// When the system refuses a serial device for lack of permission (EACCES: on Linux, ttyUSB and
// ttyACM devices belong to the group dialout, uucp on some systems), what the user can do
// about it, in one line for the log.
#include <string>

namespace zento {

// The advice for a device owned by `group`.
std::string permission_advice(const std::string& group);

// "" when the current user may read and write `device`, or when what stands in the way is not
// a permission (a missing device, a device in use); otherwise the advice for the device's group.
// POSIX only ("" elsewhere).
std::string device_permission_advice(const std::string& device);

} // namespace zento
