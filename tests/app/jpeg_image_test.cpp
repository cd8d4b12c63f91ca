#include "app/jpeg_image.h"

#include <vector>

#include <gtest/gtest.h>

#include "app/about_picture.h"

namespace vesmera {
namespace {

TEST(AboutPicture, DecodesToThePictureSize) {
    const RgbImage image = DecodeJpeg(AboutPictureJpeg());
    EXPECT_EQ(image.width, kAboutPictureWidth);
    EXPECT_EQ(image.height, kAboutPictureHeight);
    ASSERT_EQ(image.rgb.size(), std::size_t{457} * 393 * 3);
    // The title band is dark blue and the bottom is light: rows come out top to bottom.
    const std::uint8_t* top = &image.rgb[(10 * 457 + 5) * 3];
    EXPECT_LT(top[0], 60);
    EXPECT_GT(top[2], 70);
    const std::uint8_t* bottom = &image.rgb[(390 * 457 + 5) * 3];
    EXPECT_GT(bottom[0], 190);
}

TEST(DecodeJpeg, BrokenDataFailsWithAnException) {
    const auto jpeg = AboutPictureJpeg();
    const std::vector<unsigned char> truncated(jpeg.begin(), jpeg.begin() + jpeg.size() / 2);
    const std::vector<unsigned char> notJpeg{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0};
    for (const auto& data : {truncated, notJpeg, std::vector<unsigned char>{}}) {
        try {
            DecodeJpeg(data);
            ADD_FAILURE() << "decoded " << data.size() << " bad bytes";
        } catch (const EJpegError& e) {
            EXPECT_EQ(e.Message().rfind("JPEG error: ", 0), 0u) << e.Message();
        }
    }
}

} // namespace
} // namespace vesmera
