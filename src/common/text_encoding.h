#pragma once

#include <string>
#include <string_view>

namespace vesmera {

// How a settings or terminal list file was stored: a byte-order mark chooses UTF-8, UTF-16 LE
// or BE; without one the bytes are UTF-8 when valid, otherwise Windows-1251.
enum class TextEncoding { Utf8NoMark, Utf8Bom, Utf16LE, Utf16BE, Windows1251 };

// Decodes file bytes to UTF-8 text and tells the encoding found.
std::string DecodeText(std::string_view bytes, TextEncoding& found);
// Encodes UTF-8 text for writing, with the encoding's byte-order mark.
std::string EncodeText(std::string_view utf8, TextEncoding encoding);

} // namespace vesmera
