#pragma once

#include <functional>
#include <string>

#include "app/main_window_views.h"
#include "app/settings_store.h"
#include "app/terminal_list.h"

namespace vesmera {

// The apply step's settings: Vesmera.ini through the settings store, ZidOzod.ini through the
// terminal list file, both in the settings folder.
class StoreSettingsSource final : public ISettingsSource {
public:
    StoreSettingsSource() = default; // the built settings folder
    // Another directory (given with a trailing '/') on the given file system.
    StoreSettingsSource(std::function<std::string()> directory, IFileSystem& fs)
        : store_(std::move(directory), fs), list_(fs) {}

    HeldSettings Load() override { return store_.Load(); }
    void ReadTerminalList(std::vector<std::string>& names) override {
        list_.Read(store_.TerminalListPath(), names);
    }
    SettingsStore& Store() { return store_; }

private:
    SettingsStore store_;
    TerminalListFile list_;
};

} // namespace vesmera
