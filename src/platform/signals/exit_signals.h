#pragma once
// SIGTERM, SIGINT and SIGHUP end the program as the exit items do: the port closed (its lock
// file removed), a recording closed and cut back. The handler only writes the signal's number
// into a pipe (async-signal-safe); a socket notifier on the pipe's other end emits `received`
// on the user-interface thread, where the ending runs. A signal ignored at start (nohup's
// SIGHUP, a background job's SIGINT) stays ignored. The handler is reset as it runs, so the
// same signal again, while the ending runs, ends the process at once.
//
// One instance at a time; its destruction restores the default actions. Nothing on Windows.
#include <QObject>

class QSocketNotifier;

namespace zento {

class ExitSignals : public QObject {
    Q_OBJECT
  public:
    explicit ExitSignals(QObject* parent = nullptr);
    ~ExitSignals() override;
    ExitSignals(const ExitSignals&) = delete;
    ExitSignals& operator=(const ExitSignals&) = delete;

    // "SIGTERM", "SIGINT", "SIGHUP".
    static const char* name(int signal);

  signals:
    void received(int signal);

  private:
    void take();

    QSocketNotifier* notifier_ = nullptr;
    int handled_ = 0; // bit i: kSignals[i] has our handler
};

} // namespace zento
