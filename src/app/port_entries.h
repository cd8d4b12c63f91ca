#pragma once

#include <string>
#include <vector>

namespace vesmera {

// The entries of the dialog's port list: "Com1" to "Com50", then the serial devices present
// on this machine, then the current setting when it is a device path not yet listed, so that
// saving the dialog never erases a port the user chose by path.
std::vector<std::string> PortEntries(const std::string& currentPort,
                                     const std::vector<std::string>& devicesPresent);

// /dev/serial/by-id/* (names that survive re-plugging), then /dev/ttyUSB* and /dev/ttyACM*,
// each group sorted. `devRoot` is "/dev" outside tests.
std::vector<std::string> ListSerialDevices(const std::string& devRoot = "/dev");

} // namespace vesmera
