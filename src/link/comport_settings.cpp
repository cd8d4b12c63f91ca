#include "link/comport_settings.h"

#include "link/comport.h"

namespace vesmera {

void TComSettingGroup::ApplyLineState() {
    FComPort.ApplyLineState();
}

void TComSettingGroup::ApplyTimeouts() {
    FComPort.ApplyTimeouts();
}

void TComSettingGroup::ApplyBuffer() {
    FComPort.ApplyBuffer();
}

} // namespace vesmera
