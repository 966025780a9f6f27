#include "app/JpegImage.h"
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <memory>

namespace {

// Pictures larger than this are refused before any pixel memory is taken.
constexpr JDIMENSION kMaxSide = 8192;

struct TJpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void ErrorExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<TJpegError*>(info->err)->jump, 1);
}

void SilentMessage(j_common_ptr) {}

// Runs the decoder; every libjpeg error lands in the setjmp of this frame, which holds no C++ objects
// that would need destruction.
bool Decode(jpeg_decompress_struct& cinfo, const QByteArray& data, QImage& image) {
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK)
        return false;
    if (cinfo.image_width == 0 || cinfo.image_height == 0 || cinfo.image_width > kMaxSide ||
        cinfo.image_height > kMaxSide)
        return false;
    cinfo.out_color_space = JCS_RGB;
    if (!jpeg_start_decompress(&cinfo))
        return false;
    if (cinfo.output_components != 3)
        return false;
    image = QImage(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_RGB888);
    if (image.isNull())
        return false;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = image.scanLine(int(cinfo.output_scanline));
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1)
            return false;
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

} // namespace

QImage DecodeJpeg(const QByteArray& data) {
    if (data.isEmpty())
        return QImage();
    jpeg_decompress_struct cinfo{};
    TJpegError error{};
    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = ErrorExit;
    error.pub.output_message = SilentMessage;
    // Declared before setjmp and not reassigned after it, so both survive a jump.
    const auto image = std::make_unique<QImage>();
    volatile bool ok = false;
    if (setjmp(error.jump) == 0) {
        jpeg_create_decompress(&cinfo);
        ok = Decode(cinfo, data, *image);
    }
    jpeg_destroy_decompress(&cinfo);
    return ok ? std::move(*image) : QImage();
}
