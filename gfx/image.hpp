// Off-screen pictures.
//
// An Image is one block of bytes: a header followed by pixel rows, top row
// first, each row `pitch` bytes. Two header forms:
//
//   4-byte form (image_create makes it)
//     bytes 0-1  little-endian word: bits 0-2 bytes per pixel (1, 2, 4),
//                bits 3-15 width (1..8191)
//     bytes 2-3  little-endian height (1..65535)
//     pitch      width x bytes per pixel, no padding; pixels from byte 4
//
//   32-byte form (loading a picture gives it; first 32-bit word is 7)
//     0-3 type = 7, 4-7 bpp, 8-11 width, 12-15 height, 16-19 pitch
//     (width x bpp rounded up to 16), 20-31 reserved; pixels from byte 32
//
// The header bytes may be read and written directly (image_bytes). Every
// operation checks that the geometry a header describes fits inside the
// Image's storage (pixel size 1, 2 or 4; pitch at least width x pixel size;
// header + height x pitch bytes); an Image whose header does not fit is
// invalid: blits and text return IllegalCall, primitives draw nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "gfx/types.hpp"

namespace gfx {

struct Image {
    std::unique_ptr<std::uint8_t[]> block;
    std::size_t size = 0;  // bytes owned by `block`
};

// A new Image of width x height pixels filled with `colour` (with `flags` bit
// 31: the default 0xFFFF00FF, the transparent key with alpha 255), stored as
// is into every pixel. depth <= 0: the screen's pixel size; otherwise
// (depth + 7) / 8, which must be 1, 2 or 4. Exactly 4 + height x pitch bytes.
// nullptr (none) when no screen is open, width <= 0, width > 8191 (the header's
// 13-bit field cannot hold it), height <= 0, height > 65535, a bad depth, or
// no memory.
Image* image_create(std::int32_t width, std::int32_t height, Color colour, std::int32_t depth,
                    std::int32_t flags);

// Frees the Image; nullptr is ignored. It must not be used afterwards.
void image_destroy(Image* image);

// The whole block, header included.
std::span<std::uint8_t> image_bytes(Image& image);
std::span<const std::uint8_t> image_bytes(const Image& image);

// Width and height as the header tells them (either form); nullopt for an
// invalid Image.
struct ImageSize {
    std::int32_t width = 0, height = 0;
};
std::optional<ImageSize> image_size(const Image& image);

namespace detail {

inline constexpr std::uint32_t long_header_type = 7;
inline constexpr std::size_t short_header_size = 4;
inline constexpr std::size_t long_header_size = 32;

struct ImageGeometry {
    std::int32_t bpp = 0, width = 0, height = 0, pitch = 0;
    std::size_t header = 0;  // offset of the pixel data
};

bool image_has_long_header(const Image& image);

// As a drawing target: the 32-byte form gives bpp and pitch; the 4-byte form
// uses `screen_bpp` and width x screen_bpp, ignoring its own three bits.
std::optional<ImageGeometry> image_target_geometry(const Image& image, std::int32_t screen_bpp);
// As a blit or font source: the 4-byte form takes its pixel size from bits
// 0-2, or `target_bpp` when those are 0.
std::optional<ImageGeometry> image_source_geometry(const Image& image, std::int32_t target_bpp);

// Grows (or keeps) the block to at least `bytes`, keeping its content; new
// bytes are zero. False, and the Image unchanged, when memory cannot be had.
bool image_reserve(Image& image, std::size_t bytes);

}  // namespace detail
}  // namespace gfx
