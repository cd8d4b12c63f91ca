#pragma once

#include "app/main_window_views.h"
#include "app/settings_store.h"
#include "app/terminal_list.h"

namespace vesmera {

// The apply step's settings: Vesmera.ini through the settings store, ZidOzod.ini through the
// terminal list file, both in the executable directory.
class StoreSettingsSource final : public ISettingsSource {
public:
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
