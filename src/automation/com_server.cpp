#include "automation/com_server.h"

#include "automation/type_library.h"
#include "common/message_box.h"

namespace vesmera {

TComServer::TComServer(StartSwitches switches, std::function<void()> quit)
    : switches_(switches), quit_(std::move(quit)) {}

std::int32_t TComServer::CountObject(bool created) {
    const std::int32_t now = created ? ++count_ : --count_;
    everHeld_ = everHeld_ || created;
    if (!created && now == 0)
        LastReleased();
    return now;
}

void TComServer::EndIfUnusedAfter(IScheduler& scheduler, std::uint32_t ms) {
    if (switches_.mode != StartMode::smAutomation)
        return;
    unusedCheck_ = ScheduledTask(scheduler);
    unusedCheck_.After(ms, [this] {
        // A copy that held something and let it go has ended at that release already.
        if (!everHeld_ && count_.load() == 0)
            LastReleased();
    });
}

void TComServer::LastReleased() {
    if (switches_.mode == StartMode::smAutomation && quit_)
        quit_();
}

bool TComServer::CanClose() const {
    if (count_.load() <= 0)
        return true;
    return ShowMessageBox({kComServerWarningCaption, kComServerWarningText, MessageButtons::YesNo,
                           MessageResult::No, MessageIcon::Warning}) == MessageResult::Yes;
}

std::string TComServer::GetServerName() const {
    return VesmeraTypeLibrary().name;
}

} // namespace vesmera
