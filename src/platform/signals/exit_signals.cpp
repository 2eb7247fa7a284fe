#include "platform/signals/exit_signals.h"

#include <QSocketNotifier>

#ifndef _WIN32
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace zento {

namespace {

#ifndef _WIN32
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int pipe_fds[2] = {-1, -1}; // [0] read by the notifier, [1] written by the handler

void on_signal(int sig) {
    const int saved = errno;
    const unsigned char b = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(pipe_fds[1], &b, 1); // full pipe: one is enough
    errno = saved;
}
#endif

} // namespace

ExitSignals::ExitSignals(QObject* parent) : QObject(parent) {
#ifndef _WIN32
    if (pipe_fds[0] >= 0 || ::pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(pipe_fds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ExitSignals::take);
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        struct sigaction old {};
        if (::sigaction(kSignals[i], nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
        struct sigaction sa {};
        sa.sa_handler = on_signal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART | SA_RESETHAND;
        if (::sigaction(kSignals[i], &sa, nullptr) == 0) handled_ |= 1 << i;
    }
#endif
}

ExitSignals::~ExitSignals() {
#ifndef _WIN32
    if (!notifier_) return;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        if (handled_ & (1 << i)) ::signal(kSignals[i], SIG_DFL);
    delete notifier_;
    for (int& fd : pipe_fds) {
        ::close(fd);
        fd = -1;
    }
#endif
}

const char* ExitSignals::name(int signal) {
#ifndef _WIN32
    switch (signal) {
    case SIGTERM:
        return "SIGTERM";
    case SIGINT:
        return "SIGINT";
    case SIGHUP:
        return "SIGHUP";
    default:
        break;
    }
#endif
    (void)signal;
    return "a signal";
}

void ExitSignals::take() {
#ifndef _WIN32
    unsigned char b = 0;
    while (::read(pipe_fds[0], &b, 1) == 1)
        emit received(int(b));
#endif
}

} // namespace zento
