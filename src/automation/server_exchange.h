#pragma once

#include <cstdint>
#include <string>

#include "net/line_channel.h"

namespace vesmera {

// The automation members that talk to the weight server, each with its own row of time-outs
// and precondition in the weight-server exchange table.
enum class ServerMember {
    DataGetWeight,
    DataGetStatus,
    DataSetNull,
    ScAutoGetWeightNet,
    ScAutoGetStatusNet,
    ScAutoSetNullNet,
};

struct ServerAddress {
    std::string host;
    std::uint16_t port;
};

// The local answer of the automation objects when the weight server cannot be asked.
std::string ServerNotAsked();

// One poll for `name` on a channel of its own: the weight line for the weight members, the
// status line for the status members (both lines are always read), or "-5008" when any step
// of the exchange fails. The channel is released either way.
std::string AskServer(ILineChannelFactory& channels, const ServerAddress& server,
                      const std::string& name, ServerMember member);

// The zero request for `name` on a channel of its own; nothing is read and every failure is
// ignored, since the request has no answer and nobody to be told.
void ZeroOnServer(ILineChannelFactory& channels, const ServerAddress& server,
                  const std::string& name, ServerMember member);

// Whether a member waits for the main window's connection before asking.
bool NeedsMainConnection(ServerMember member);

} // namespace vesmera
