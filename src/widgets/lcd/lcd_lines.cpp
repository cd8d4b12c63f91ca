#include "widgets/lcd/lcd_lines.h"

namespace vesmera {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

void TLCDLines::SetText(const std::string& text) {
    Assign(SplitLines(text));
}

std::string TLCDLines::Text() const {
    std::string text;
    for (std::size_t i = 0; i < FItems.size(); ++i) {
        if (i > 0)
            text += '\n';
        text += FItems[i];
    }
    return text;
}

void TLCDLines::Assign(std::vector<std::string> lines) {
    FItems = std::move(lines);
    Changed();
}

void TLCDLines::Add(const std::string& line) {
    FItems.push_back(line);
    Changed();
}

void TLCDLines::Clear() {
    FItems.clear();
    Changed();
}

} // namespace vesmera
