#include "platform/serial/device_access.h"

#ifndef _WIN32
#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zento {

std::string permission_advice(const std::string& group) {
    if (group.empty() || group == "root")
        return "you may not use this device; ask for read and write access to it";
    return "only members of the group " + group + " may use it: add yourself with sudo usermod " +
           "-aG " + group + " $USER, then log in again";
}

std::string device_permission_advice([[maybe_unused]] const std::string& device) {
#ifdef _WIN32
    return {};
#else
    if (::access(device.c_str(), R_OK | W_OK) == 0 || errno != EACCES) return {};
    struct stat st {};
    std::string group;
    if (::stat(device.c_str(), &st) == 0)
        if (const struct group* g = ::getgrgid(st.st_gid)) group = g->gr_name;
    return permission_advice(group);
#endif
}

} // namespace zento
