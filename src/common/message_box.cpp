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

} // namespace vesmera
