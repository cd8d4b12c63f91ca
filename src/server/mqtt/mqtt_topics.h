#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vesmera {

// A terminal's name as one topic level. '%', '/', '+', '#', control characters (C0, DEL,
// C1), Unicode non-characters and bytes that are not UTF-8 become "%XX" for each of their
// bytes (upper-case hex); everything else stays as written. Since '%' itself is always
// escaped, two names never share a level.
std::string EscapeTopicLevel(std::string_view name);
// The name a level stands for; nothing for a level that escaping never makes (a raw '/', '+'
// or '#', a bad or needless "%XX"), so each name has exactly one level.
std::optional<std::string> UnescapeTopicLevel(std::string_view level);

// The topics under one prefix:
//   <prefix>/status                        "online" or "offline", retained
//   <prefix>/terminals/<name>              the reading JSON, retained
//   <prefix>/terminals/<name>/zero         a zero request (any payload)
//   <prefix>/terminals/<name>/zero/result  "queued", "not_linked" or "unknown"
class MqttTopics {
public:
    explicit MqttTopics(std::string prefix) : prefix_(std::move(prefix)) {}

    std::string Status() const { return prefix_ + "/status"; }
    std::string Terminal(std::string_view name) const;
    // The filter that every terminal's zero request matches.
    std::string ZeroFilter() const { return prefix_ + "/terminals/+/zero"; }
    // The level of a zero request's topic, or nothing for any other topic.
    std::optional<std::string_view> ZeroLevel(std::string_view topic) const;
    std::string ZeroResult(std::string_view level) const;

private:
    std::string prefix_;
};

} // namespace vesmera
