#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vesmera {

// How a settings or terminal list file was stored: a byte-order mark chooses UTF-8, UTF-16 LE
// or BE; without one the bytes are UTF-8 when valid, otherwise Windows-1251.
enum class TextEncoding { Utf8NoMark, Utf8Bom, Utf16LE, Utf16BE, Windows1251 };

// Decodes file bytes to UTF-8 text and tells the encoding found.
std::string DecodeText(std::string_view bytes, TextEncoding& found);
// One line of a file without a byte-order mark: UTF-8 when it is valid UTF-8, otherwise
// Windows-1251, decoded to UTF-8.
std::string DecodeLine(std::string_view bytes);
bool IsValidUtf8(std::string_view bytes);
// The length of the valid UTF-8 sequence that starts at `pos`; 0 when none starts there.
std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t pos);
// Encodes UTF-8 text for writing, with the encoding's byte-order mark.
std::string EncodeText(std::string_view utf8, TextEncoding encoding);

// The code point that starts at `pos` in UTF-8 text, advancing `pos` past it. A byte that
// starts no valid sequence gives U+FFFD and advances by one, so any bytes can be walked.
char32_t NextCodePoint(std::string_view utf8, std::size_t& pos);
void AppendUtf8(std::string& out, char32_t codePoint);

} // namespace vesmera
