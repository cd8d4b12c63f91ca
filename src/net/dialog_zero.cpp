#include "net/dialog_zero.h"

#include "common/exception.h"

namespace vesmera {

void DialogZeroAction(bool networkMode, ILineChannel& mainClient, ServerCallPool& calls,
                      const HeldSettings& settings, std::optional<std::string> selectedTab,
                      const std::function<void()>& localZeroCommand) {
    if (!networkMode) {
        if (localZeroCommand) {
            localZeroCommand();
        }
        return;
    }
    // The button reports nothing, whatever fails: the connected test of a reset connection,
    // the connect, the send, a full pool.
    try {
        if (!MayAskServer(ExchangeUser::DialogZero, networkMode, mainClient) || !selectedTab) {
            return;
        }
    } catch (const Exception&) {
        return;
    }
    calls.Start(ExchangeUser::DialogZero, settings.ip, settings.TcpPort(), *selectedTab,
                [](const ExchangeOutcome&) {});
}

} // namespace vesmera
