#include "settings/profile_file.h"

#include <algorithm>

#include "common/blanks.h"
#include "common/letter_case.h"

namespace vesmera {

namespace {

constexpr std::size_t npos = std::string::npos;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The platform hands values out as zero-terminated strings, so a NUL ends a value.
std::string_view ValueOf(std::string_view line) {
    std::string_view value = line.substr(line.find('=') + 1);
    value = TrimBlanks(value.substr(0, value.find('\0')));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

// One line of the text: [begin, end) without its line end, `next` after it.
struct LineSpan {
    std::size_t begin = 0, end = 0, next = 0;
};

bool NextLine(const std::string& text, std::size_t pos, LineSpan& line) {
    if (pos >= text.size())
        return false;
    const std::size_t brk = text.find_first_of("\r\n", pos);
    line.begin = pos;
    line.end = brk == npos ? text.size() : brk;
    line.next = line.end;
    if (brk != npos)
        line.next += (text[brk] == '\r' && brk + 1 < text.size() && text[brk + 1] == '\n') ? 2 : 1;
    return true;
}

// The name of a section header line ("[name]", up to the last ']'), if the line is one.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = TrimBlanks(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    const auto close = line.rfind(']');
    if (close == npos)
        return std::nullopt;
    return TrimBlanks(line.substr(1, close - 1));
}

} // namespace

// Where a key is, or where it goes.
struct ProfileFile::Place {
    bool sectionFound = false;
    LineSpan keyLine; // valid when keyFound
    bool keyFound = false;
    std::size_t insertAt = npos;     // after the first matching section's last non-blank line
    bool insertNeedsLineEnd = false; // that line is the file's last and has no line end
};

bool ProfileFile::HeldDecoded() const {
    return encoding_ == TextEncoding::Utf16LE || encoding_ == TextEncoding::Utf16BE;
}

std::string_view ProfileFile::LineText(std::string_view line, std::string& scratch) const {
    if (HeldDecoded() || IsValidUtf8(line))
        return line;
    scratch = DecodeLine(line);
    return scratch;
}

std::string ProfileFile::Encoded(std::string_view utf8) const {
    if (HeldDecoded())
        return std::string(utf8);
    // A UTF-8 mark's file takes UTF-8 lines without a second mark.
    return EncodeText(utf8,
                      encoding_ == TextEncoding::Utf8Bom ? TextEncoding::Utf8NoMark : encoding_);
}

ProfileFile::Place ProfileFile::Find(std::string_view section, std::string_view key) const {
    Place place;
    bool inSection = false, inFirstSection = false;
    LineSpan line;
    std::string scratch;
    for (std::size_t pos = 0; NextLine(text_, pos, line); pos = line.next) {
        const std::string_view raw(text_.data() + line.begin, line.end - line.begin);
        // Brackets, '=' and blanks are the same bytes in every encoding a line may have, so
        // only the lines that may matter are decoded.
        const std::string_view trimmed = TrimBlanks(raw);
        if (!trimmed.empty() && trimmed.front() == '[') {
            if (auto name = SectionName(LineText(raw, scratch))) {
                inSection = EqualNoCase(*name, section);
                inFirstSection = inSection && !place.sectionFound;
                if (inFirstSection) {
                    place.sectionFound = true;
                    place.insertAt = line.next;
                    place.insertNeedsLineEnd = line.next == line.end;
                }
                continue;
            }
        }
        if (!inSection)
            continue;
        if (raw.find('=') != npos) {
            const std::string_view content = LineText(raw, scratch);
            if (EqualNoCase(TrimBlanks(std::string_view(content).substr(0, content.find('='))),
                            key)) {
                place.keyFound = true;
                place.keyLine = line;
                return place;
            }
        }
        if (inFirstSection && !trimmed.empty()) {
            place.insertAt = line.next;
            place.insertNeedsLineEnd = line.next == line.end;
        }
    }
    return place;
}

ProfileFile ProfileFile::FromBytes(std::string_view bytes) {
    ProfileFile file;
    if (bytes.starts_with(kUtf8Mark)) {
        // The mark decides only the lines written from now on: a Windows-1251 line brought
        // into the file is read as such and kept byte for byte while it is not changed.
        file.text_ = std::string(bytes.substr(kUtf8Mark.size()));
        file.encoding_ = TextEncoding::Utf8Bom;
        return file;
    }
    TextEncoding found;
    const std::string decoded = DecodeText(bytes, found);
    if (found == TextEncoding::Utf8NoMark || found == TextEncoding::Windows1251) {
        // Without a mark each line has its own encoding; the bytes stay as they are, so lines
        // that are not changed are written back byte for byte.
        file.text_ = std::string(bytes);
        file.encoding_ = NewLineEncoding(file.text_);
    } else {
        file.text_ = decoded;
        file.encoding_ = found;
    }
    return file;
}

TextEncoding ProfileFile::NewLineEncoding(const std::string& bytes) {
    // Windows-1251 only when every line that is not plain ASCII is in it.
    bool utf8 = false, cp1251 = false;
    LineSpan line;
    for (std::size_t pos = 0; NextLine(bytes, pos, line); pos = line.next) {
        const std::string_view raw(bytes.data() + line.begin, line.end - line.begin);
        const bool ascii = std::all_of(raw.begin(), raw.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (ascii)
            continue;
        (IsValidUtf8(raw) ? utf8 : cp1251) = true;
    }
    return cp1251 && !utf8 ? TextEncoding::Windows1251 : TextEncoding::Utf8NoMark;
}

std::optional<std::string> ProfileFile::ReadString(std::string_view section,
                                                   std::string_view key) const {
    const Place place = Find(section, key);
    if (!place.keyFound)
        return std::nullopt;
    const LineSpan& l = place.keyLine;
    std::string scratch;
    return std::string(
        ValueOf(LineText(std::string_view(text_).substr(l.begin, l.end - l.begin), scratch)));
}

std::string ProfileFile::NewLineEnd() const {
    // New lines follow the file's own line ends.
    const std::size_t brk = text_.find_first_of("\r\n");
    if (brk == npos || text_.compare(brk, 2, "\r\n") == 0)
        return "\r\n";
    return std::string(1, text_[brk]);
}

void ProfileFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
    // A line break or NUL in a value would end its line early and turn the rest into lines
    // of their own (a stray key, even a section), so a value ends at the first of them.
    value = value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));
    const Place place = Find(section, key);
    if (place.keyFound) {
        const LineSpan& l = place.keyLine;
        std::string scratch;
        const std::string content(
            LineText(std::string_view(text_).substr(l.begin, l.end - l.begin), scratch));
        // A value that stays the same keeps its line byte for byte, its encoding, blanks and
        // quotes included.
        if (ValueOf(content) == value)
            return;
        // The changed line is written whole in the file's encoding for changed lines.
        std::size_t nameEnd = content.find('=');
        while (nameEnd > 0 && IsBlank(content[nameEnd - 1]))
            --nameEnd;
        text_.replace(l.begin, l.end - l.begin,
                      Encoded(content.substr(0, nameEnd) + "=" + std::string(value)));
        return;
    }
    const std::string newLine = NewLineEnd();
    std::string added;
    if (place.sectionFound) {
        if (place.insertNeedsLineEnd)
            added += newLine;
        added += std::string(key) + "=" + std::string(value) + newLine;
        text_.insert(place.insertAt, Encoded(added));
        return;
    }
    if (!text_.empty() && text_.back() != '\r' && text_.back() != '\n')
        added += newLine;
    added += "[" + std::string(section) + "]" + newLine;
    added += std::string(key) + "=" + std::string(value) + newLine;
    text_ += Encoded(added);
}

std::vector<std::string> ProfileFile::SectionNames() const {
    std::vector<std::string> names;
    LineSpan line;
    std::string scratch;
    for (std::size_t pos = 0; NextLine(text_, pos, line); pos = line.next)
        if (auto name = SectionName(LineText(
                std::string_view(text_).substr(line.begin, line.end - line.begin), scratch)))
            names.emplace_back(*name);
    return names;
}

std::vector<std::string> ProfileFile::KeyNames(std::string_view section) const {
    std::vector<std::string> names;
    bool inSection = false;
    LineSpan line;
    std::string scratch;
    for (std::size_t pos = 0; NextLine(text_, pos, line); pos = line.next) {
        const std::string_view content =
            LineText(std::string_view(text_).substr(line.begin, line.end - line.begin), scratch);
        if (auto name = SectionName(content)) {
            inSection = EqualNoCase(*name, section);
            continue;
        }
        const auto eq = content.find('=');
        const std::string_view name =
            eq == npos ? std::string_view() : TrimBlanks(content.substr(0, eq));
        // A line that begins with ';' is a comment by the files' own convention, also when it
        // holds a key that was switched off.
        if (inSection && !name.empty() && name.front() != ';')
            names.emplace_back(name);
    }
    return names;
}

std::string ProfileFile::ToBytes() const {
    if (HeldDecoded())
        return EncodeText(text_, encoding_);
    return encoding_ == TextEncoding::Utf8Bom ? std::string(kUtf8Mark) + text_ : text_;
}

} // namespace vesmera
