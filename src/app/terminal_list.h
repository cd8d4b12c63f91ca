#pragma once

#include <string>
#include <vector>

#include "common/text_encoding.h"

namespace vesmera {

class IFileSystem;

// ZidOzod.ini: one terminal name per line. A list object remembers the encoding it found at
// its last successful read and writes back in it.
class TerminalListFile {
public:
    explicit TerminalListFile(IFileSystem& fs);
    TerminalListFile(); // the file system of the settings files

    // Replaces `names` with the file's lines; fails (Exception) when the file cannot be
    // opened, leaving `names` as it was.
    void Read(const std::string& path, std::vector<std::string>& names);
    // Every name followed by CR LF; fails with "Cannot create file "<path>". <reason>", also
    // when the file is there but cannot be read (it is then left as it is).
    void Write(const std::string& path, const std::vector<std::string>& names);

    TextEncoding Encoding() const { return encoding_; }

private:
    IFileSystem* fs_;
    TextEncoding encoding_ = TextEncoding::Utf8NoMark;
};

} // namespace vesmera
