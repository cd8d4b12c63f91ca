#pragma once

#include <utility>

namespace vesmera {

// Runs a timer handler unless one is already running. A handler that opens a nested event loop
// (a message box) would otherwise let its own timer fire into it again.
class TickGuard {
public:
    template <typename Handler> bool Run(Handler&& handler) {
        if (running_) {
            return false;
        }
        running_ = true;
        struct Leave {
            bool& flag;
            ~Leave() { flag = false; }
        } leave{running_};
        std::forward<Handler>(handler)();
        return true;
    }
    bool Running() const { return running_; }

private:
    bool running_ = false;
};

} // namespace vesmera
