#pragma once

#include <string>
#include <string_view>

namespace vesmera {

// The bytes of a received line as UTF-8 text: valid sequences are kept, NUL included; each
// maximal invalid subsequence becomes U+FFFD, so a hostile peer cannot hand invalid text on to
// the display or to automation clients.
std::string DecodeUtf8Line(std::string_view bytes);

} // namespace vesmera
