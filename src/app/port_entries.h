#pragma once

#include <string>
#include <vector>

namespace vesmera {

// A list's entries with the stored value added at the end when no entry matches it (letter case
// aside), so that saving the dialog unchanged writes back what was read ("Com51", a speed of
// 4800, the colour 0x00FFFF). An empty value adds nothing and stays unselected.
std::vector<std::string> WithStoredValue(std::vector<std::string> entries,
                                         const std::string& stored);

// One entry of the dialog's port list: what it shows, and what the setting stores.
struct PortEntry {
    std::string label;
    std::string value;
    bool operator==(const PortEntry&) const = default;
};

// The entries of the dialog's port list: "Com1" to "Com50", then the serial devices present
// on this machine, then the current setting when no entry stores it (letter case aside). A
// /dev/serial/by-id/ device shows its link's name and stores its full path, a name that
// survives re-plugging; the others show and store their path.
std::vector<PortEntry> PortEntries(const std::string& currentPort,
                                   const std::vector<std::string>& devicesPresent);

// /dev/serial/by-id/* (names that survive re-plugging), then /dev/ttyUSB* and /dev/ttyACM*,
// each group sorted. `devRoot` is "/dev" outside tests.
std::vector<std::string> ListSerialDevices(const std::string& devRoot = "/dev");

} // namespace vesmera
