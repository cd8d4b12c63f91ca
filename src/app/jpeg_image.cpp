#include "app/jpeg_image.h"

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <string>

#include <jpeglib.h>

namespace vesmera {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return. It jumps back to
// DecodeJpeg, which turns the message into an exception outside libjpeg's C frames.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void ExitWithMessage(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// Warnings (a truncated stream is one) are kept as failures: a picture with missing rows
// would show grey bands.
void WarningAsError(j_common_ptr info, int level) {
    if (level < 0) {
        ExitWithMessage(info);
    }
}

} // namespace

RgbImage DecodeJpeg(std::span<const unsigned char> data) {
    if (data.empty()) {
        // libjpeg's memory source would end the process on an empty buffer.
        throw EJpegError("JPEG error: Empty input file");
    }
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = ExitWithMessage;
    errors.base.emit_message = WarningAsError;
    // The pixel buffer lives on the heap behind a pointer set before the jump target, so the
    // jump back leaves nothing half-changed in this frame and the buffer is still freed.
    const auto pixels = std::make_unique<std::vector<std::uint8_t>>();
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        throw EJpegError(std::string("JPEG error: ") + errors.message);
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const std::size_t stride = static_cast<std::size_t>(info.output_width) * 3;
    pixels->resize(stride * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels->data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    RgbImage image;
    image.width = static_cast<int>(info.output_width);
    image.height = static_cast<int>(info.output_height);
    jpeg_destroy_decompress(&info);
    image.rgb = std::move(*pixels);
    return image;
}

} // namespace vesmera
