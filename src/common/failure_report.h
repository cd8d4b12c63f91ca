#pragma once

#include <functional>
#include <string>
#include <utility>

namespace vesmera {

// The message of the last failure of the serial channel or the line channel, kept so the
// main window can show why a port does not open or a server does not answer (the polls
// themselves only count failures). A successful poll clears it.
class FailureReport {
public:
    using Listener = std::function<void(const std::string& text)>;

    void SetListener(Listener listener) { listener_ = std::move(listener); }
    void Failed(const std::string& message) { Change(message); }
    void Succeeded() { Change(std::string()); }
    const std::string& Text() const { return text_; }

private:
    void Change(const std::string& text) {
        if (text == text_)
            return;
        text_ = text;
        if (listener_)
            listener_(text_);
    }

    std::string text_;
    Listener listener_;
};

} // namespace vesmera
