#include "app/about_picture.h"

#include <cstddef>

namespace vesmera {

// Generated at build time from resources/about.jpg.
extern const unsigned char kAboutJpeg[];
extern const std::size_t kAboutJpeg_size;

std::span<const unsigned char> AboutPictureJpeg() {
    return {kAboutJpeg, kAboutJpeg_size};
}

} // namespace vesmera
