// Types and constants shared by every part of the graphics layer.
#pragma once

#include <cstdint>

namespace gfx {

// A 32-bit pixel 0xAARRGGBB, stored little-endian: bytes blue, green, red, alpha.
using Color = std::uint32_t;

// Result of the operations that can fail.
enum class Status : std::int32_t {
    Ok = 0,
    IllegalCall = 1,  // bad argument, invalid Image, or no screen open
    FileNotFound = 2,
    FileIoError = 3,  // a file not accepted or cut short
};

// How blit and Font-image text combine a source pixel s with a target pixel d;
// the per-byte formulas are in blit.hpp.
enum class BlitMode : std::int32_t {
    Transparent = 0,
    Copy = 1,
    Alpha = 6,
    Add = 7,
    Blend = 9,
};

// True for the five modes above; any other number is not a mode.
constexpr bool is_blit_mode(BlitMode mode) {
    switch (mode) {
        case BlitMode::Transparent:
        case BlitMode::Copy:
        case BlitMode::Alpha:
        case BlitMode::Add:
        case BlitMode::Blend: return true;
    }
    return false;
}

// The transparent key: any pixel whose low 24 bits are 0xFF00FF (magenta),
// whatever its alpha.
inline constexpr Color key_rgb = 0x00FF00FFu;
inline constexpr Color rgb_mask = 0x00FFFFFFu;
constexpr bool is_transparent_key(Color c) { return (c & rgb_mask) == key_rgb; }

// image_create's default fill: the key with alpha 255.
inline constexpr Color default_fill = 0xFFFF00FFu;

// Flag bits of the primitives and of draw_text.
inline constexpr std::int32_t coord_mode_mask = 0x7;        // bits 0-2, see primitives.hpp
inline constexpr std::int32_t flag_no_border = 1 << 30;     // flood_fill: the fill colour is the border
inline constexpr std::int32_t flag_no_colour = INT32_MIN;   // bit 31: use the default colour

}  // namespace gfx
