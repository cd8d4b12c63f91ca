#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "server/server_config.h"

namespace vesmera {

class IFileSystem;
class IServerLog;

// A part of the server that takes its share of a new configuration. A reload is applied in
// two steps so that it is all or nothing: every part prepares first (whatever can fail, such as
// binding a new listener, happens here and throws an Exception with the reason), and only when
// every part has prepared does each commit, which cannot fail.
class IReloadable {
public:
    virtual ~IReloadable() = default;
    // Readies `next` without changing what is served.
    virtual void Prepare(const ServerConfig& next) = 0;
    // Applies what Prepare readied, adding a short text for each thing it changed.
    virtual void Commit(std::vector<std::string>& changes) = 0;
    // Forgets what Prepare readied: another part refused the reload.
    virtual void Abandon() = 0;
};

// A part whose share of a configuration cannot fail to apply: it is applied at the commit.
class ApplyOnReload final : public IReloadable {
public:
    using Apply = std::function<void(const ServerConfig& next, std::vector<std::string>& changes)>;
    explicit ApplyOnReload(Apply apply) : apply_(std::move(apply)) {}

    void Prepare(const ServerConfig& next) override { next_ = next; }
    void Commit(std::vector<std::string>& changes) override {
        if (next_)
            apply_(*next_, changes);
        next_.reset();
    }
    void Abandon() override { next_.reset(); }

private:
    Apply apply_;
    std::optional<ServerConfig> next_;
};

// Reads the configuration file again on request (SIGHUP) and hands it to every part that has
// registered, in registration order. A file with problems (the checks of --check) or a part
// that cannot prepare refuses the reload whole: each reason is logged and the configuration in
// use stays. An applied reload is told in one log line saying what changed.
class ConfigReload {
public:
    ConfigReload(std::string path, IFileSystem& fs, IServerLog& log);

    // The part must outlive this coordinator, or be registered no longer when it goes.
    void Register(IReloadable& part);
    // True when the new configuration was applied.
    bool Run();

private:
    std::string path_;
    IFileSystem& fs_;
    IServerLog& log_;
    std::vector<IReloadable*> parts_;
};

} // namespace vesmera
