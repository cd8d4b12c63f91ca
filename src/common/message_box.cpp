#include "common/message_box.h"

#include <cstdio>
#include <utility>

namespace vesmera {

namespace {
MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}
} // namespace

MessageResult ShowMessageBox(const MessageBoxRequest& request) {
    if (Handler())
        return Handler()(request);
    std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.text.c_str());
    return request.defaultResult;
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    return std::exchange(Handler(), std::move(handler));
}

void ShowErrorBox(const std::string& caption, const std::string& text) {
    ShowMessageBox(
        {caption, WithFullStop(text), MessageButtons::Ok, MessageResult::Ok, MessageIcon::Error});
}

std::string WithFullStop(std::string text) {
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        text += '.';
    return text;
}

} // namespace vesmera
