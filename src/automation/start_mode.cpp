#include "automation/start_mode.h"

#include <algorithm>

namespace vesmera {

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

bool HasSwitch(const std::vector<std::string>& arguments, std::string_view word) {
    return std::any_of(arguments.begin(), arguments.end(), [&](const std::string& arg) {
        return arg.size() > 1 && (arg[0] == '-' || arg[0] == '/') &&
               EqualsIgnoringCase(std::string_view(arg).substr(1), word);
    });
}

} // namespace

StartSwitches ParseStartSwitches(const std::vector<std::string>& arguments) {
    struct Rule {
        const char* word;
        StartSwitches result;
    };
    static const Rule rules[] = {
        {"AUTOMATION", {StartMode::smAutomation, false}},
        {"EMBEDDING", {StartMode::smAutomation, false}},
        {"REGSERVER", {StartMode::smRegServer, false}},
        {"UNREGSERVER", {StartMode::smUnregServer, false}},
        {"REGSERVERPERUSER", {StartMode::smRegServer, true}},
        {"UNREGSERVERPERUSER", {StartMode::smUnregServer, true}},
    };
    for (const auto& rule : rules)
        if (HasSwitch(arguments, rule.word))
            return rule.result;
    return {};
}

} // namespace vesmera
