#pragma once

#include <functional>
#include <string>

#include "common/held_settings.h"

namespace vesmera {

class IFileSystem;

// The texts the settings dialog writes: integers are never written as numbers, only as the
// texts of the dialog's lists and fields.
struct SettingsTexts {
    std::string port;
    std::string baudRate;
    std::string channel;
    std::string delay;
    std::string skin;
    std::string color1;
    std::string color2;
    std::string background;
    std::string ip;
    std::string serverPort;
    bool networkMode = false;
    std::string protocol;
};

// Vesmera.ini in the settings folder: load all twelve settings, save all, save the skin.
class SettingsStore {
public:
    // directory() gives the settings folder with a trailing '/' (the executable directory, or
    // the user's config folder in an installed build); it is asked again at each Load, as the
    // apply step recomputes it.
    explicit SettingsStore(std::function<std::string()> directory, IFileSystem& fs);
    SettingsStore(); // the built settings folder and its file system

    // Never fails: a missing or unreadable file gives the defaults.
    HeldSettings Load();
    // Writes the twelve keys in the dialog's order as one replacement of the file; fails with
    // "Unable to write to <path>" when the file system refuses it, the file keeping every old
    // value.
    void SaveAll(const SettingsTexts& texts);
    void SaveSkin(const std::string& skin);

    std::string SettingsPath() const;     // <dir>Vesmera.ini
    std::string TerminalListPath() const; // <dir>ZidOzod.ini

private:
    std::function<std::string()> directory_;
    IFileSystem* fs_;
};

} // namespace vesmera
