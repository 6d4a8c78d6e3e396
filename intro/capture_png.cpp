#include "intro/capture_png.hpp"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace intro {
namespace {

struct Writer {
    std::FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::string message;

    ~Writer() {
        if (png != nullptr) png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
        if (file != nullptr) std::fclose(file);
    }
};

// libpng reports through a callback and a long jump; the message is kept so
// the caller can say what went wrong.
void on_error(png_structp png, png_const_charp message) {
    auto* writer = static_cast<Writer*>(png_get_error_ptr(png));
    writer->message = message;
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

}  // namespace

std::string capture_png_name(std::int64_t number) {
    char name[40];
    std::snprintf(name, sizeof name, "frame-%06lld.png", static_cast<long long>(number));
    return name;
}

bool capture_png_write(const std::string& path, const CaptureFrame& frame, std::string& error, int level) {
    Writer w;
    w.file = std::fopen(path.c_str(), "wb");
    if (w.file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &w, on_error, on_warning);
    if (w.png != nullptr) w.info = png_create_info_struct(w.png);
    if (w.png == nullptr || w.info == nullptr) {
        error = path + ": out of memory";
        std::fclose(w.file);
        w.file = nullptr;
        std::remove(path.c_str());
        return false;
    }
    // Everything the long jump can skip lives in `w`, whose destructor runs
    // after this function returns normally from either branch.
    std::vector<png_bytep> rows(static_cast<std::size_t>(frame.height));
    if (setjmp(png_jmpbuf(w.png)) != 0) {
        error = path + ": " + w.message;
        png_destroy_write_struct(&w.png, &w.info);
        std::fclose(w.file);
        w.file = nullptr;
        std::remove(path.c_str());
        return false;
    }
    png_init_io(w.png, w.file);
    png_set_compression_level(w.png, level);
    png_set_IHDR(w.png, w.info, static_cast<png_uint_32>(frame.width), static_cast<png_uint_32>(frame.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(w.png, w.info);
    // The pixels are 0xAARRGGBB words, bytes blue, green, red, alpha in
    // memory: libpng swaps to RGB order and strips the fourth byte.
    png_set_bgr(w.png);
    png_set_filler(w.png, 0, PNG_FILLER_AFTER);
    for (std::int32_t y = 0; y < frame.height; ++y) {
        rows[static_cast<std::size_t>(y)] = reinterpret_cast<png_bytep>(
            const_cast<std::uint32_t*>(frame.pixels + static_cast<std::size_t>(y) * frame.width));
    }
    png_write_image(w.png, rows.data());
    png_write_end(w.png, nullptr);
    png_destroy_write_struct(&w.png, &w.info);
    if (std::fclose(w.file) != 0) {
        w.file = nullptr;
        error = path + ": " + std::strerror(errno);
        std::remove(path.c_str());
        return false;
    }
    w.file = nullptr;
    return true;
}

}  // namespace intro
