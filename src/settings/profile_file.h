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
// Without a byte-order mark, and with a UTF-8 mark, the encoding is decided per line: a line
// that is valid UTF-8 is UTF-8, any other is Windows-1251, so one stray byte cannot hide a
// section. Lines that are not changed keep their bytes, and so does a key's line written with
// the value it already has. Changed and new lines are UTF-8 under a UTF-8 mark; without a
// mark they are Windows-1251 when every line that is not plain ASCII is, otherwise UTF-8. A
// UTF-16 file is held and written whole in the mark's encoding.
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
    // The mark's encoding, or without a mark the encoding of changed and new lines.
    TextEncoding Encoding() const { return encoding_; }

private:
    struct Place;
    Place Find(std::string_view section, std::string_view key) const;
    std::string NewLineEnd() const;
    // UTF-16 files are held as UTF-8 text; every other file as its own bytes.
    bool HeldDecoded() const;
    // The line as UTF-8: the line itself, or its decoding kept in `scratch`.
    std::string_view LineText(std::string_view line, std::string& scratch) const;
    std::string Encoded(std::string_view utf8) const;
    static TextEncoding NewLineEncoding(const std::string& bytes);

    // UTF-16: the text as UTF-8. Otherwise the file's own bytes after any mark, each line in
    // its own encoding.
    std::string text_;
    TextEncoding encoding_ = TextEncoding::Utf8NoMark;
};

} // namespace vesmera
