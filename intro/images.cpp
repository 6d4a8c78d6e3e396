#include "intro/images.hpp"

#include <algorithm>
#include <cstdint>

#include "gfx/bmp.hpp"

namespace intro {
namespace {

gfx::Image* create(std::int32_t width, std::int32_t height) {
    return gfx::image_create(width, height, 0, 0, gfx::flag_no_colour);
}

}  // namespace

BootImages boot_images_create() {
    BootImages images;
    images.boot_canvas = create(641, 481);
    images.frame_picture = create(641, 480);
    gfx::image_load_bmp("frame0.bmp", images.frame_picture);
    images.glow_picture = create(121, 61);
    gfx::image_load_bmp("glw.bmp", images.glow_picture);
    return images;
}

void noise_tile_create(BootImages& images) { images.noise_tile = create(64, 64); }

void frame_picture_reload(BootImages& images) { gfx::image_load_bmp("frame.bmp", images.frame_picture); }

gfx::Image* font_image_create() {
    gfx::Image* font = create(864, 18);
    if (font == nullptr) return nullptr;
    gfx::image_load_bmp("fnt32b.bmp", font);

    // The first byte tells the header form: 7 for the 32-byte form a load
    // gives, otherwise the 4-byte form a failed load leaves.
    auto bytes = gfx::image_bytes(*font);
    const std::size_t start = bytes[0] == 7 ? 32 : 4;
    std::uint8_t header[99];
    header[0] = 0;    // version
    header[1] = 32;   // first character
    header[2] = 127;  // last character
    std::fill(header + 3, header + 99, std::uint8_t{8});
    // Never past the Image's storage, whatever picture the file held.
    for (std::size_t i = 0; i < sizeof header && start + i < bytes.size(); ++i) bytes[start + i] = header[i];
    return font;
}

DemoImages demo_images_create() {
    DemoImages images;
    images.logo_picture = create(641, 241);
    gfx::image_load_bmp("kelvorn.bmp", images.logo_picture);
    images.logo2_picture = create(641, 241);
    gfx::image_load_bmp("kelvorn2.bmp", images.logo2_picture);
    images.background_picture = create(801, 601);
    gfx::image_load_bmp("back.bmp", images.background_picture);
    images.raster_bar = create(640, 60);
    return images;
}

void demo_images_release(DemoImages& images) {
    gfx::image_destroy(images.logo_picture);
    gfx::image_destroy(images.raster_bar);
    gfx::image_destroy(images.logo2_picture);
    gfx::image_destroy(images.background_picture);
    images = DemoImages{};
}

}  // namespace intro
