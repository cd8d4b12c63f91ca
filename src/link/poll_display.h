#pragma once

#include <string>

namespace vesmera {

// What the ends of polls and supervision ticks show, in the order the link gives them. The
// main window applies them to the indicator and the message screen (LinkViews); a program
// without a display passes NoPollDisplay and reads the shared weight state instead.
class IPollDisplay {
public:
    virtual ~IPollDisplay() = default;
    // The digits take the reading's colour. Throws Exception when the colour setting names no
    // colour: the poll then counts as failed.
    virtual void ShowReadingColour(bool stable) = 0;
    // The digits' colour on entering the link-lost state; never fails.
    virtual void ShowLinkLostColour(bool stable) = 0;
    // The indicator in place of the message screen.
    virtual void ShowIndicator() = 0;
    // The message screen in place of the indicator, with this text.
    virtual void ShowMessage(const std::string& text) = 0;
    // The weight text of the shared weight value, after every poll.
    virtual void ShowWeight(long double weight) = 0;
};

class NoPollDisplay final : public IPollDisplay {
public:
    void ShowReadingColour(bool) override {}
    void ShowLinkLostColour(bool) override {}
    void ShowIndicator() override {}
    void ShowMessage(const std::string&) override {}
    void ShowWeight(long double) override {}
};

} // namespace vesmera
