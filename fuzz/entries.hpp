// The fuzz entry points: each takes one input and exercises the graphics
// layer with it, aborting (so the fuzzer or the replay test reports it) when
// an operation breaks one of its promises. Shared by the libFuzzer targets
// and by the normal test suite, which replays the corpus through them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

// The input is a file handed to image_load_bmp: into a fresh Image (4-byte
// header form), into an Image already in the 32-byte form, or onto the
// screen's work page.
int bmp_into_fresh_image(const std::uint8_t* data, std::size_t size);
int bmp_into_formed_image(const std::uint8_t* data, std::size_t size);
int bmp_onto_screen(const std::uint8_t* data, std::size_t size);

// The input describes a Font image (header form, size, pixel bytes
// including the font header), a text, a position, a mode and a target.
int text_with_font_image(const std::uint8_t* data, std::size_t size);

struct Entry {
    const char* name;  // also the corpus folder's name
    int (*run)(const std::uint8_t* data, std::size_t size);
};

inline constexpr Entry entries[] = {
    {"bmp_into_fresh_image", bmp_into_fresh_image},
    {"bmp_into_formed_image", bmp_into_formed_image},
    {"bmp_onto_screen", bmp_onto_screen},
    {"text_with_font_image", text_with_font_image},
};

}  // namespace fuzz
