#include "net/dialog_zero.h"

#include "common/exception.h"
#include "net/weight_server.h"

namespace vesmera {

void DialogZeroAction(bool networkMode, ILineChannel& mainClient, ILineChannelFactory& factory,
                      const HeldSettings& settings, std::optional<std::string> selectedTab,
                      const std::function<void()>& localZeroCommand) {
    if (!networkMode) {
        if (localZeroCommand) {
            localZeroCommand();
        }
        return;
    }
    // The button reports nothing, whatever fails: the connected test of a reset connection,
    // the connect, the send.
    try {
        if (!mainClient.Connected() || !selectedTab) {
            return;
        }
        ZeroOnce(factory, ExchangeUser::DialogZero, settings.ip, settings.TcpPort(), *selectedTab);
    } catch (const Exception&) {
    }
}

} // namespace vesmera
