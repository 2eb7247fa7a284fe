#include "capture/command_plan.h"

#include "link/envelope.h"

namespace zento {

CommandPlan::Step CommandPlan::next(double t, double still) {
    if (done()) return {};
    const std::uint8_t c = commands_[at_];
    if (!started_) {
        started_ = true;
        since_ = t;
        said_ = false;
    }
    Action a = Action::send;
    if (c == kTypeGyroBias && still < kStillNeeded) {
        if (t - since_ < kGiveUp) {
            if (said_) return {};
            said_ = true;
            return {Action::wait, c};
        }
        a = Action::give_up;
    }
    ++at_;
    started_ = false;
    return {a, c};
}

} // namespace zento
