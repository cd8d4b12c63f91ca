#pragma once

#include <functional>

#include "common/held_settings.h"
#include "link/shared_weight.h"
#include "net/line_channel.h"
#include "net/weight_server.h"

namespace vesmera {

// What the automation objects read and run, all owned by the main window's module. The
// objects keep no state of their own and look at these at the moment of each call.
struct AutomationContext {
    const HeldSettings& settings;
    const SharedWeightState& weight;
    ILineChannel& mainChannel;   // IdTCPClient1, asked only for its connected test
    ServerCallPool& serverCalls; // per-call exchanges with the weight server
    // Button1's click. It runs after the serial exchange in flight, so it calls done once its
    // own exchange has ended; callers answer their client from there.
    std::function<void(std::function<void()> done)> zeroCommand;
};

} // namespace vesmera
