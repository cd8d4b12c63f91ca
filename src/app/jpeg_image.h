#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/exception.h"

namespace vesmera {

// A decoded picture: rows top to bottom, three bytes (red, green, blue) per pixel.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

class EJpegError : public Exception {
public:
    using Exception::Exception;
};

// Decodes a JPEG with libjpeg; grey pictures come out as RGB too. Fails with EJpegError
// ("JPEG error: <libjpeg's message>") for data that is not a complete, valid JPEG.
RgbImage DecodeJpeg(std::span<const unsigned char> data);

} // namespace vesmera
