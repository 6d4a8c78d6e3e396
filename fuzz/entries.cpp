#include "fuzz/entries.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "gfx/bmp.hpp"
#include "gfx/image.hpp"
#include "gfx/screen.hpp"
#include "gfx/text.hpp"

namespace fuzz {
namespace {

using gfx::Image;
using gfx::Status;
using Bytes = std::vector<std::uint8_t>;

[[noreturn]] void fail(const char* promise) {
    std::fprintf(stderr, "fuzz: broken promise: %s\n", promise);
    std::abort();
}

void expect(bool kept, const char* promise) {
    if (!kept) fail(promise);
}

// The Headless screen, opened once per process: the first call opens it and
// every entry draws on it or needs it for loading.
void open_screen_once() {
    static const bool opened = [] {
        gfx::screen_request_backend("Headless");
        return gfx::screen_open(640, 480, 32, 2, 0, 0) == Status::Ok;
    }();
    expect(opened, "the Headless screen opens");
}

// The loader reads a file by name, so every input goes through one file in
// memory-backed storage where there is some.
const std::string& input_path() {
    static const std::string path = [] {
        const std::string dir = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string p = dir + "/intro_fuzz_" + std::to_string(getpid()) + ".bmp";
        std::atexit([] { std::remove(input_path().c_str()); });
        return p;
    }();
    return path;
}

void write_input(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(input_path().c_str(), "wb");
    expect(f != nullptr, "the input file can be written");
    if (size > 0) expect(std::fwrite(data, 1, size, f) == size, "the input file can be written");
    std::fclose(f);
}

std::int32_t read32(const std::uint8_t* p) {
    std::uint32_t v = 0;
    std::memcpy(&v, p, 4);
    return static_cast<std::int32_t>(v);
}

// A header that asks a fresh Image for more than this is left alone: the
// loader would get the memory and fill it, which only measures the machine.
constexpr std::int64_t re_form_limit = 256 << 10;

bool asks_for_huge_storage(const std::uint8_t* data, std::size_t size) {
    if (size < 26 || data[0] != 'B') return false;
    const std::int64_t width = read32(data + 18), height = read32(data + 22);
    const std::int64_t rows = height < 0 ? -height : height;
    if (width < 0 || width > 32768 || rows > 32768) return false;  // refused before any allocation
    return 32 + rows * ((width * 4 + 15) / 16 * 16) > re_form_limit;
}

Bytes bytes_of(const Image& image) { return Bytes(image.block.get(), image.block.get() + image.size); }

bool valid_status(Status s) {
    return s == Status::Ok || s == Status::IllegalCall || s == Status::FileIoError;
}

struct ImageDeleter {
    void operator()(Image* image) const { gfx::image_destroy(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

// An Image of exactly `size` bytes (so a sanitizer sees any access past it).
ImagePtr exact_image(std::size_t size) {
    ImagePtr image(new Image);
    image->size = size;
    image->block.reset(new std::uint8_t[size > 0 ? size : 1]());
    return image;
}

}  // namespace

int bmp_into_fresh_image(const std::uint8_t* data, std::size_t size) {
    open_screen_once();
    if (asks_for_huge_storage(data, size)) return 0;
    write_input(data, size);
    ImagePtr image(gfx::image_create(16, 8, 0, 0, gfx::flag_no_colour));
    expect(image != nullptr, "image_create gives an Image");
    const Bytes before = bytes_of(*image);

    const Status status = gfx::image_load_bmp(input_path(), image.get());
    expect(valid_status(status), "the result is Ok, IllegalCall or FileIoError");
    const int first = size > 0 ? data[0] : -1;
    if (first != 'B' && first != 0xFD && first != 0xFE) {
        expect(status == Status::FileIoError && bytes_of(*image) == before, "a file of another kind changes nothing");
        return 0;
    }
    if (first != 'B') {
        expect(status != Status::IllegalCall, "a raw dump into an Image is accepted or cut short");
        return 0;
    }
    const bool formed = gfx::detail::image_has_long_header(*image);
    const auto geometry = gfx::detail::image_target_geometry(*image, 4);
    if (status == Status::Ok) {
        expect(formed && geometry.has_value(), "a loaded Image is in the 32-byte form and fits its storage");
        const std::int64_t height = read32(data + 22);
        expect(geometry->width == read32(data + 18) && geometry->height == (height < 0 ? -height : height),
               "a loaded Image has the picture's size");
    } else {
        expect(bytes_of(*image) == before || (formed && geometry.has_value()),
               "a refused file leaves the Image as it was or validly re-formed");
    }
    return 0;
}

int bmp_into_formed_image(const std::uint8_t* data, std::size_t size) {
    open_screen_once();
    write_input(data, size);
    // 23 x 17 pixels in the 32-byte form, pitch 96, every pixel 0x5A5A5A5A.
    ImagePtr image = exact_image(32 + 17 * 96);
    const std::int32_t header[5] = {7, 4, 23, 17, 96};
    std::memcpy(image->block.get(), header, sizeof header);
    std::memset(image->block.get() + 32, 0x5A, 17 * 96);
    const Bytes before = bytes_of(*image);

    const Status status = gfx::image_load_bmp(input_path(), image.get());
    expect(valid_status(status), "the result is Ok, IllegalCall or FileIoError");
    expect(image->size == before.size(), "an Image in the 32-byte form keeps its storage");
    if (size > 0 && data[0] == 'B') {
        expect(std::memcmp(image->block.get(), before.data(), 32) == 0, "a BMP keeps a 32-byte header");
        expect(status == Status::Ok || status == Status::FileIoError || bytes_of(*image) == before,
               "an IllegalCall changes nothing");
    }
    return 0;
}

int bmp_onto_screen(const std::uint8_t* data, std::size_t size) {
    open_screen_once();
    write_input(data, size);
    // Either page may be the work page, visible or not.
    const std::int32_t work = static_cast<std::int32_t>(size & 1);
    gfx::screen_set_pages(work, (size >> 1) & 1);
    const Status status = gfx::image_load_bmp(input_path(), nullptr);
    expect(valid_status(status), "the result is Ok, IllegalCall or FileIoError");
    return 0;
}

// Input layout: 13 bytes of parameters, a text length byte, the text, then
// the Font image's pixel bytes (font header first); missing bytes are zero.
//   0      bits 0-1 font pixel size code (0, 1, 2, 4 in the header), bit 2 the
//          32-byte form, bit 3 a block cut short, bit 4 the target is the
//          screen, bit 5 the target is the font itself, bit 6 no Font image
//          (the built-in font), bit 7 flags bit 31 (the foreground)
//   1, 2   font width (0-255), height (0-31)
//   3      extra pitch bytes of the 32-byte form; bytes cut from the block
//   4-7    x and y as 16-bit halves
//   8      mode: 0, 1, 6, 7, 9 or a value that is no mode
//   9-12   colour
//   13     text length
int text_with_font_image(const std::uint8_t* data, std::size_t size) {
    open_screen_once();
    std::uint8_t p[14] = {};
    std::memcpy(p, data, size < sizeof p ? size : sizeof p);
    std::size_t at = size < sizeof p ? size : sizeof p;
    const std::size_t text_length = std::min<std::size_t>(p[13], size - at);
    const std::string text(reinterpret_cast<const char*>(data + at), text_length);
    at += text_length;

    const std::int32_t size_codes[4] = {0, 1, 2, 4};
    const std::int32_t bpp_code = size_codes[p[0] & 3];
    const bool long_form = (p[0] & 4) != 0;
    const std::int32_t width = p[1], height = p[2] & 31;
    std::size_t block_size = 0;
    std::int32_t pitch = 0;
    if (long_form) {
        pitch = width * 4 + p[3];
        block_size = 32 + static_cast<std::size_t>(height) * static_cast<std::size_t>(pitch);
    } else {
        block_size = 4 + static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    }
    if ((p[0] & 8) != 0) block_size -= std::min<std::size_t>(block_size, 1 + p[3] % 64);
    ImagePtr font = exact_image(block_size);
    std::uint8_t* block = font->block.get();
    if (long_form && block_size >= 20) {
        const std::int32_t header[5] = {7, bpp_code == 0 ? 3 : bpp_code, width, height, pitch};
        std::memcpy(block, header, sizeof header);
    } else if (!long_form && block_size >= 4) {
        const auto word = static_cast<std::uint16_t>((width << 3) | bpp_code);
        block[0] = static_cast<std::uint8_t>(word);
        block[1] = static_cast<std::uint8_t>(word >> 8);
        block[2] = static_cast<std::uint8_t>(height);
        block[3] = 0;
    }
    const std::size_t pixel_start = long_form ? 32 : 4;
    if (block_size > pixel_start && at < size) {
        std::memcpy(block + pixel_start, data + at, std::min(block_size - pixel_start, size - at));
    }
    const Bytes font_before = bytes_of(*font);

    const bool on_font = (p[0] & 32) != 0;
    const bool on_screen = !on_font && (p[0] & 16) != 0;
    ImagePtr canvas;
    if (!on_font && !on_screen) canvas.reset(gfx::image_create(37, 23, 0xFF102030u, 0, 0));
    Image* target = on_font ? font.get() : canvas.get();
    const Bytes target_before = target != nullptr ? bytes_of(*target) : Bytes{};

    const gfx::BlitMode modes[6] = {gfx::BlitMode::Transparent, gfx::BlitMode::Copy, gfx::BlitMode::Alpha,
                                    gfx::BlitMode::Add, gfx::BlitMode::Blend, static_cast<gfx::BlitMode>(3)};
    const float x = static_cast<std::int16_t>(p[4] | (p[5] << 8)) / 2.0f;
    const float y = static_cast<std::int16_t>(p[6] | (p[7] << 8)) / 2.0f;
    const std::int32_t flags = (p[0] & 128) != 0 ? gfx::flag_no_colour : 4;
    const gfx::Color colour = static_cast<gfx::Color>(p[9] | (p[10] << 8) | (p[11] << 16)) | (gfx::Color{p[12]} << 24);
    const Image* font_used = (p[0] & 64) != 0 ? nullptr : font.get();

    const Status status = gfx::draw_text(target, x, y, flags, text, colour, font_used, modes[p[8] % 6]);
    expect(status == Status::Ok || status == Status::IllegalCall, "draw_text gives Ok or IllegalCall");
    if (!on_font) expect(bytes_of(*font) == font_before, "a Font image is only read");
    if (status == Status::IllegalCall && target != nullptr) {
        expect(bytes_of(*target) == target_before, "a refused text changes nothing");
    }
    return 0;
}

}  // namespace fuzz
