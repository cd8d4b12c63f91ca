#pragma once

#include <string>

#include "common/color.h"

namespace vesmera {

// What the polls give the segment indicator: its text, its digit colour and visibility. The
// logic only writes to a view; what is shown is known from what it wrote.
class IIndicatorView {
public:
    virtual ~IIndicatorView() = default;
    virtual void SetIndicatorString(const std::string& text) = 0;
    virtual void SetNumberForeColor(TColor color) = 0;
    virtual void SetVisible(bool visible) = 0;
};

// What the polls give the message screen: the whole text of its lines and visibility.
class IMessageView {
public:
    virtual ~IMessageView() = default;
    virtual void SetText(const std::string& text) = 0;
    virtual void SetVisible(bool visible) = 0;
};

// A poll timer as the polls see it: only its enabled flag.
class ITimerSwitch {
public:
    virtual ~ITimerSwitch() = default;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool IsEnabled() const = 0;
};

} // namespace vesmera
