#include "server/config_reload.h"

#include "common/exception.h"
#include "server/server_log.h"
#include "settings/file_system.h"

namespace vesmera {

namespace {

bool IsBlank(const std::string& bytes) {
    return bytes.find_first_not_of(" \t\r\n") == std::string::npos;
}

} // namespace

ConfigReload::ConfigReload(std::string path, IFileSystem& fs, IServerLog& log)
    : path_(std::move(path)), fs_(fs), log_(log) {}

void ConfigReload::Register(IReloadable& part) {
    parts_.push_back(&part);
}

bool ConfigReload::Run() {
    ServerConfigCheck check;
    // An editor that truncates the file before writing it leaves an empty file for a moment; a
    // reload then would stop every terminal. A file that says nothing is taken for one not yet
    // written.
    bool blank = false;
    try {
        blank = IsBlank(fs_.ReadFile(path_));
    } catch (const FileError&) {
        blank = false; // the check reads it again and says why it cannot
    }
    if (blank)
        check.problems.push_back("the file is empty (not yet written?)");
    else
        check = CheckServerConfigFile(path_, fs_);
    for (const auto& warning : check.warnings)
        log_.Write(LogPriority::Warning, "reload: " + path_ + ": warning: " + warning);
    if (!check.problems.empty()) {
        for (const auto& problem : check.problems)
            log_.Write(LogPriority::Error, "reload: " + path_ + ": " + problem);
        log_.Write(LogPriority::Error, "reload refused: the configuration in use is kept");
        return false;
    }
    std::size_t prepared = 0;
    try {
        for (; prepared < parts_.size(); ++prepared)
            parts_[prepared]->Prepare(check.config);
    } catch (const Exception& e) {
        // The part that refused has readied nothing; forgetting is harmless for it too.
        for (std::size_t i = 0; i <= prepared && i < parts_.size(); ++i)
            parts_[i]->Abandon();
        log_.Write(LogPriority::Error,
                   "reload refused: " + e.Message() + "; the configuration in use is kept");
        return false;
    }
    std::vector<std::string> changes;
    for (IReloadable* part : parts_)
        part->Commit(changes);
    std::string line = "reloaded " + path_ + ": ";
    if (changes.empty())
        line += "nothing changed";
    for (std::size_t i = 0; i < changes.size(); ++i)
        line += (i ? "; " : "") + changes[i];
    log_.Write(LogPriority::Info, line);
    return true;
}

} // namespace vesmera
