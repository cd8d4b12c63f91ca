#include "automation/start_mode.h"

#include <algorithm>

#include "common/letter_case.h"

namespace vesmera {

namespace {

bool HasSwitch(const std::vector<std::string>& arguments, std::string_view word) {
    return std::any_of(arguments.begin(), arguments.end(), [&](const std::string& arg) {
        return arg.size() > 1 && (arg[0] == '-' || arg[0] == '/') &&
               EqualNoCase(std::string_view(arg).substr(1), word);
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
