#include "app/terminal_list.h"

#include <cerrno>

#include "settings/file_system.h"
#include "settings/settings_dir.h"

namespace vesmera {

namespace {

// Lines split at CR LF, lone LF and lone CR; a last line without a line end counts, a line
// end at the very end adds no empty name, and a NUL ends the text.
std::vector<std::string> SplitLines(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t brk = text.find_first_of("\r\n", start);
        if (brk == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, brk - start));
        start = brk + ((text.compare(brk, 2, "\r\n") == 0) ? 2 : 1);
    }
    return lines;
}

} // namespace

TerminalListFile::TerminalListFile(IFileSystem& fs) : fs_(&fs) {}

TerminalListFile::TerminalListFile() : TerminalListFile(SettingsFileSystem()) {}

void TerminalListFile::Read(const std::string& path, std::vector<std::string>& names) {
    std::string bytes;
    try {
        bytes = fs_->ReadFile(path);
    } catch (const FileError& e) {
        throw Exception("Cannot open file \"" + path + "\". " + e.Message());
    }
    TextEncoding found;
    names = SplitLines(DecodeText(bytes, found));
    encoding_ = found;
}

void TerminalListFile::Write(const std::string& path, const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += name;
        text += "\r\n";
    }
    try {
        // A list that is there but cannot be read is never replaced: its names would be lost
        // for the ones the dialog shows without them.
        try {
            fs_->ReadFile(path);
        } catch (const FileError& e) {
            if (e.ErrorNumber() != ENOENT)
                throw;
        }
        fs_->ReplaceFile(path, EncodeText(text, encoding_));
    } catch (const FileError& e) {
        throw Exception("Cannot create file \"" + path + "\". " + e.Message());
    }
}

} // namespace vesmera
