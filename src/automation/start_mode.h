#pragma once

#include <string>
#include <vector>

namespace vesmera {

enum class StartMode { smStandalone, smAutomation, smRegServer, smUnregServer };

struct StartSwitches {
    StartMode mode = StartMode::smStandalone;
    bool perUser = false; // registration scope of the per-user switches
};

// Searches the arguments (without the program name) for a switch: "-" or "/" followed by the
// switch word in any letter case. The first hit in the fixed order AUTOMATION/EMBEDDING,
// REGSERVER, UNREGSERVER, REGSERVERPERUSER, UNREGSERVERPERUSER decides, whatever the
// position of the arguments.
StartSwitches ParseStartSwitches(const std::vector<std::string>& arguments);

} // namespace vesmera
