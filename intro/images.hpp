// Every Image the two scenes draw into or from: creation, the pictures
// loaded into them, the scroller font's header, and the release at shutdown.
// Results of creation and loading are not examined: a picture that cannot be
// read leaves its Image as created, every pixel the transparent key.
#pragma once

#include "gfx/image.hpp"

namespace intro {

struct BootImages {
    gfx::Image* boot_canvas = nullptr;    // 641 x 481, drawn by the boot scene
    gfx::Image* frame_picture = nullptr;  // 641 x 480, "frame0.bmp", later "frame.bmp"
    gfx::Image* glow_picture = nullptr;   // 121 x 61, "glw.bmp"
    gfx::Image* noise_tile = nullptr;     // 64 x 64, created after the boot scene's set-up
};

struct DemoImages {
    gfx::Image* logo_picture = nullptr;        // 641 x 241, "kelvorn.bmp"
    gfx::Image* logo2_picture = nullptr;       // 641 x 241, "kelvorn2.bmp"
    gfx::Image* background_picture = nullptr;  // 801 x 601, "back.bmp"
    gfx::Image* raster_bar = nullptr;          // 640 x 60, drawn at the demo's set-up
};

// The canvas, then the frame picture with "frame0.bmp", then the glow with "glw.bmp".
BootImages boot_images_create();
void noise_tile_create(BootImages& images);
// Between the noise and the boot phase; clipped to the size "frame0.bmp" gave.
void frame_picture_reload(BootImages& images);

// "fnt32b.bmp" in an 864 x 18 Image whose pixel data then starts with the font
// header: version 0, characters 32 to 127, each 8 pixels wide.
gfx::Image* font_image_create();

DemoImages demo_images_create();
// Destroys the logo, the raster bar, the second logo and the background, in this order.
void demo_images_release(DemoImages& images);

}  // namespace intro
