#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/environment.h"
#include "common/exception.h"

namespace vesmera {

// Who a registration is for: every user of the machine, or the one running it.
enum class RegistryScope { Machine, PerUser };

inline constexpr const char* kRegistryEntryError = "Error creating system registry entry";

class RegistrationError : public Exception {
public:
    RegistrationError() : Exception(kRegistryEntryError) {}
};

// The registration of this platform: one activation file per class, so that the bus starts
// the program with /AUTOMATION for a client, and one introspection file per interface, the
// installed type description. Paths are relative to the data dir.
struct BusFile {
    std::string relativePath;
    std::string content;
};

std::vector<BusFile> RegistrationFiles(const std::string& executable);

// The Exec= value: the executable, quoted (with \ " $ ` escaped) when it holds a blank or
// another character the bus would split or unquote, then " /AUTOMATION".
std::string ServiceExecLine(const std::string& executable);

// $XDG_DATA_HOME (default ~/.local/share) per user, the first entry of $XDG_DATA_DIRS
// (default /usr/local/share) for the machine.
std::filesystem::path RegistrationDataDir(RegistryScope scope, const EnvironmentLookup& env);

// Writes every file, each replaced atomically; a failure raises RegistrationError.
void RegisterServerFiles(const std::filesystem::path& dataDir, const std::string& executable);
// Removes the files; what is already gone is passed over.
void UnregisterServerFiles(const std::filesystem::path& dataDir);

} // namespace vesmera
