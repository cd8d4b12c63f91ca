#include "automation/bus_registration.h"

#include <fstream>
#include <pwd.h>
#include <unistd.h>

#include "automation/bus_interface.h"
#include "automation/type_library.h"

namespace vesmera {

namespace {

constexpr const char* kServicesDir = "dbus-1/services/";
constexpr const char* kInterfacesDir = "dbus-1/interfaces/";

bool NeedsQuoting(const std::string& path) {
    return path.empty() || path.find_first_of(" \t\n\"'\\$`") != std::string::npos;
}

void WriteAtomically(const std::filesystem::path& target, const std::string& content) {
    std::error_code error;
    std::filesystem::create_directories(target.parent_path(), error);
    if (error)
        throw RegistrationError();
    const std::filesystem::path temporary = target.string() + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            std::filesystem::remove(temporary, error);
            throw RegistrationError();
        }
    }
    std::filesystem::rename(temporary, target, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        throw RegistrationError();
    }
}

std::string HomeDir(const EnvironmentLookup& env) {
    if (auto home = env("HOME"); home && !home->empty())
        return *home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

} // namespace

std::string ServiceExecLine(const std::string& executable) {
    std::string line;
    if (NeedsQuoting(executable)) {
        line = "\"";
        for (char c : executable) {
            if (c == '"' || c == '\\' || c == '$' || c == '`')
                line += '\\';
            line += c;
        }
        line += "\"";
    } else {
        line = executable;
    }
    return line + " /AUTOMATION";
}

std::vector<BusFile> RegistrationFiles(const std::string& executable) {
    std::vector<BusFile> files;
    for (const ClassInfo* info : FactoryList())
        files.push_back({std::string(kServicesDir) + info->ProgId() + ".service",
                         "[D-BUS Service]\nName=" + info->ProgId() +
                             "\nExec=" + ServiceExecLine(executable) + "\n"});
    for (const ClassInfo* info : FactoryList()) {
        const BusInterface iface = BusInterfaceOf(*info->defaultInterface);
        files.push_back(
            {std::string(kInterfacesDir) + iface.name + ".xml", InterfaceDocument(iface)});
    }
    return files;
}

std::filesystem::path RegistrationDataDir(RegistryScope scope, const EnvironmentLookup& env) {
    if (scope == RegistryScope::PerUser) {
        if (auto home = env("XDG_DATA_HOME"); home && !home->empty())
            return *home;
        return std::filesystem::path(HomeDir(env)) / ".local/share";
    }
    if (auto dirs = env("XDG_DATA_DIRS")) {
        std::string_view rest = *dirs;
        while (!rest.empty()) {
            const auto colon = rest.find(':');
            const std::string_view first = rest.substr(0, colon);
            if (!first.empty())
                return std::string(first);
            if (colon == std::string_view::npos)
                break;
            rest.remove_prefix(colon + 1);
        }
    }
    return "/usr/local/share";
}

void RegisterServerFiles(const std::filesystem::path& dataDir, const std::string& executable) {
    for (const auto& file : RegistrationFiles(executable))
        WriteAtomically(dataDir / file.relativePath, file.content);
}

void UnregisterServerFiles(const std::filesystem::path& dataDir) {
    for (const auto& file : RegistrationFiles(std::string())) {
        std::error_code ignored;
        std::filesystem::remove(dataDir / file.relativePath, ignored);
    }
}

} // namespace vesmera
