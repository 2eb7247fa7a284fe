#pragma once
// When zento-capture sends the commands it was given: in their order, each as soon as it may
// go. The height zero goes at once; the gyroscope bias only once the board has lain still for
// kStillNeeded seconds (as the health monitor judges it: HealthMonitor::still_seconds), and is
// given up after kGiveUp seconds of waiting, the commands after it going on.
//
// Times are seconds on any one clock (the receive path's); the plan reads none.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zento {

class CommandPlan {
  public:
    static constexpr double kStillNeeded = 2.0;
    static constexpr double kGiveUp = 30.0;

    enum class Action {
        none,    // nothing now
        wait,    // the gyroscope bias waits for a still board (said once)
        send,    // send `command` now
        give_up, // the gyroscope bias was not sent: the board did not lie still in time
    };
    struct Step {
        Action action = Action::none;
        std::uint8_t command = 0; // the command frame's type (link/envelope.h)
    };

    explicit CommandPlan(std::vector<std::uint8_t> commands) : commands_(std::move(commands)) {}

    // What to do at `t`, the board having lain still for `still` seconds. Call it on every
    // batch and now and then without one (a silent board still makes the wait run out); after
    // `send` or `give_up` the next command is taken at the next call.
    Step next(double t, double still);
    bool done() const { return at_ == commands_.size(); }

  private:
    std::vector<std::uint8_t> commands_;
    std::size_t at_ = 0;
    double since_ = 0; // when the current command became the next one
    bool started_ = false;
    bool said_ = false;
};

} // namespace zento
