#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_encoding.h"

namespace vesmera {

// The text of a Windows profile (ini) file with the rules of the Windows profile functions:
// section and key names match without regard to case (Cyrillic included); a value is the
// text after the first '=' with blanks around it removed and one pair of enclosing quotes
// dropped; the first occurrence of a key counts. A write changes one line and keeps every
// other line, its line end included, as it was. No file access: see IniFile.
//
// The text is held whole and scanned for each call: a 10 MB file of empty lines costs no
// more memory than its text.
class ProfileFile {
public:
    // A file never read: empty, written back as UTF-8 without a mark.
    ProfileFile() = default;
    // Any bytes are accepted; the encoding found is the one written back.
    static ProfileFile FromBytes(std::string_view bytes);

    // The value, or nothing when the section or the key is missing.
    std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;
    // Replaces the key's line, or appends the key at the end of its section, or the section
    // at the end of the file.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);

    // Every section header's name in file order, duplicates included, as written.
    std::vector<std::string> SectionNames() const;
    // The names of the keys in every section matching `section`, in file order, as written.
    std::vector<std::string> KeyNames(std::string_view section) const;

    std::string ToBytes() const;
    TextEncoding Encoding() const { return encoding_; }

private:
    struct Place;
    Place Find(std::string_view section, std::string_view key) const;
    std::string NewLineEnd() const;

    std::string text_; // UTF-8
    TextEncoding encoding_ = TextEncoding::Utf8NoMark;
};

} // namespace vesmera
