#pragma once

#include <functional>

#include "common/held_settings.h"
#include "link/shared_weight.h"
#include "net/line_channel.h"

namespace vesmera {

// What the automation objects read and run, all owned by the main window's module. The
// objects keep no state of their own and look at these at the moment of each call.
struct AutomationContext {
    const HeldSettings& settings;
    const SharedWeightState& weight;
    ILineChannel& mainChannel;         // IdTCPClient1, asked only for its connected test
    ILineChannelFactory& channels;     // per-call channels to the weight server
    std::function<void()> zeroCommand; // Button1's click
};

} // namespace vesmera
