#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vesmera {

// The text lines of a screen (UTF-8). Every change calls the owner's change handler, which
// parses and renders the lines again.
class TLCDLines {
public:
    // Splits at CR LF, LF or CR; a final line break adds no empty line, an empty text gives no
    // lines.
    void SetText(const std::string& text);
    // The lines joined by LF, so a text without a trailing line break reads back unchanged.
    std::string Text() const;

    void Assign(std::vector<std::string> lines);
    void Add(const std::string& line);
    void Clear();

    const std::vector<std::string>& Items() const { return FItems; }
    int Count() const { return static_cast<int>(FItems.size()); }
    const std::string& operator[](int index) const {
        return FItems[static_cast<std::size_t>(index)];
    }

    void SetOnChange(std::function<void()> handler) { FOnChange = std::move(handler); }

private:
    void Changed() {
        if (FOnChange)
            FOnChange();
    }

    std::vector<std::string> FItems;
    std::function<void()> FOnChange;
};

// The same splitting rule for any list of lines (the animator's code as well).
std::vector<std::string> SplitLines(const std::string& text);

} // namespace vesmera
