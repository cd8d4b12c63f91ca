#include "app/port_entries.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/letter_case.h"

namespace vesmera {

namespace {

bool Listed(const std::vector<std::string>& entries, std::string_view text) {
    return std::any_of(entries.begin(), entries.end(),
                       [&](const std::string& entry) { return EqualNoCase(entry, text); });
}

} // namespace

std::vector<PortEntry> PortEntries(const std::string& currentPort,
                                   const std::vector<std::string>& devicesPresent) {
    std::vector<PortEntry> entries;
    entries.reserve(50 + devicesPresent.size() + 1);
    const auto stored = [&entries](std::string_view value) {
        return std::any_of(entries.begin(), entries.end(),
                           [&](const PortEntry& entry) { return EqualNoCase(entry.value, value); });
    };
    for (int i = 1; i <= 50; ++i) {
        const std::string name = "Com" + std::to_string(i);
        entries.push_back({name, name});
    }
    for (const auto& device : devicesPresent) {
        if (stored(device))
            continue;
        const std::filesystem::path path(device);
        const bool byId = path.parent_path().filename() == "by-id" &&
                          path.parent_path().parent_path().filename() == "serial";
        entries.push_back({byId ? path.filename().string() : device, device});
    }
    if (!currentPort.empty() && !stored(currentPort))
        entries.push_back({currentPort, currentPort});
    return entries;
}

std::vector<std::string> WithStoredValue(std::vector<std::string> entries,
                                         const std::string& stored) {
    if (!stored.empty() && !Listed(entries, stored))
        entries.push_back(stored);
    return entries;
}

namespace {

std::vector<std::string> Matching(const std::filesystem::path& dir, const std::string& prefix) {
    std::vector<std::string> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) == 0)
            found.push_back(it->path().string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace

std::vector<std::string> ListSerialDevices(const std::string& devRoot) {
    const std::filesystem::path root(devRoot);
    std::vector<std::string> devices = Matching(root / "serial" / "by-id", "");
    for (const char* prefix : {"ttyUSB", "ttyACM"}) {
        auto group = Matching(root, prefix);
        devices.insert(devices.end(), group.begin(), group.end());
    }
    return devices;
}

} // namespace vesmera
