#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vesmera {

class TLCDAnimator;

// A screen that holds a reference to an animator and must forget it when the animator goes.
class IAnimatorClient {
public:
    virtual void AnimatorRemoved(TLCDAnimator& animator) = 0;

protected:
    ~IAnimatorClient() = default;
};

// The script of text lines that an attached screen runs one line per animation tick. The
// animator itself does nothing; the screen's tick reads Code and CurrentLine.
class TLCDAnimator {
public:
    using TEndCodeEvent = std::function<void(TLCDAnimator& sender)>;
    using TLineExecutedEvent = std::function<void(TLCDAnimator& sender, std::uint16_t lineNumber)>;

    TLCDAnimator() = default;
    TLCDAnimator(const TLCDAnimator&) = delete;
    TLCDAnimator& operator=(const TLCDAnimator&) = delete;
    ~TLCDAnimator();

    const std::vector<std::string>& Code() const { return FCode; }
    // Copies the lines; CurrentLine is left as it is.
    void SetCode(std::vector<std::string> code) { FCode = std::move(code); }
    int LineCount() const { return static_cast<int>(FCode.size()); }

    std::int16_t CurrentLine() const { return FCurrentLine; }
    // Takes the low 16 bits of value; above the number of lines it becomes that number minus
    // one (not below 0); the number itself and negative values are kept.
    void SetCurrentLine(int value);

    bool CodeErrorFound() const { return FCodeErrorFound; }
    void SetCodeErrorFound(bool value) { FCodeErrorFound = value; }

    TEndCodeEvent OnEndCode;
    TLineExecutedEvent OnLineExecuted;

    std::string About() const { return "About LCDAnimator"; }

    // Screens register here so their reference is cleared when this animator is destroyed.
    void AddClient(IAnimatorClient& client);
    void RemoveClient(IAnimatorClient& client);

private:
    std::vector<std::string> FCode;
    std::int16_t FCurrentLine = 0;
    bool FCodeErrorFound = false;
    std::vector<IAnimatorClient*> FClients;
};

} // namespace vesmera
