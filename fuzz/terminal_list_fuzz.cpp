// ZidOzod.ini from any bytes: no name holds CR, LF or NUL, every name is well-formed text, and a
// list written back and read again gives the same names in the same encoding.
#include <cstdint>
#include <string>
#include <vector>

#include "app/terminal_list.h"
#include "fuzz_check.h"
#include "memory_file_system.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vesmera;
    const std::string path = "/v/ZidOzod.ini";
    fuzz::MemoryFileSystem fs;
    fs.files[path] = std::string(fuzz::AsText(data, size));

    TerminalListFile list(fs);
    std::vector<std::string> names{"kept"};
    list.Read(path, names);
    for (const std::string& name : names) {
        FUZZ_CHECK(name.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
                   "a terminal name holds no CR, LF or NUL");
        FUZZ_CHECK(fuzz::IsWellFormedUtf8(name), "a terminal name is well-formed UTF-8");
    }

    list.Write(path, names);
    const std::string& written = fs.files[path];
    FUZZ_CHECK(names.empty() || written.ends_with(list.Encoding() == TextEncoding::Utf16BE
                                                      ? std::string_view("\0\r\0\n", 4)
                                                  : list.Encoding() == TextEncoding::Utf16LE
                                                      ? std::string_view("\r\0\n\0", 4)
                                                      : std::string_view("\r\n")),
               "the last name ends with CR LF");

    TerminalListFile reread(fs);
    std::vector<std::string> back;
    reread.Read(path, back);
    // Windows-1251 bytes are told from UTF-8 only by an invalid sequence; a list whose only such
    // sequence was cut off by a NUL reads back as UTF-8. Every other list must come back whole.
    if (reread.Encoding() != list.Encoding()) {
        FUZZ_CHECK(list.Encoding() == TextEncoding::Windows1251 &&
                       reread.Encoding() == TextEncoding::Utf8NoMark,
                   "only an 8-bit list may read back as UTF-8");
        return 0;
    }
    FUZZ_CHECK(back == names, "a written list reads back the same names");
    return 0;
}
