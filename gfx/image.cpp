#include "gfx/image.hpp"

#include <cstring>
#include <new>

#include "gfx/draw_state.hpp"
#include "gfx/surface.hpp"

namespace gfx {
namespace {

std::uint32_t read32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

bool valid_pixel_size(std::int32_t bpp) { return bpp == 1 || bpp == 2 || bpp == 4; }

// The one place that decides whether a header's geometry fits the block.
std::optional<detail::ImageGeometry> checked(const Image& image, detail::ImageGeometry g) {
    if (!valid_pixel_size(g.bpp) || g.width < 0 || g.height < 0 || g.pitch < 0) return std::nullopt;
    if (static_cast<std::int64_t>(g.width) * g.bpp > g.pitch) return std::nullopt;
    const auto needed = static_cast<std::uint64_t>(g.header) +
                        static_cast<std::uint64_t>(g.height) * static_cast<std::uint64_t>(g.pitch);
    if (needed > image.size) return std::nullopt;
    return g;
}

std::optional<detail::ImageGeometry> geometry(const Image& image, std::int32_t short_form_bpp,
                                              bool short_form_uses_own_bits) {
    if (image.block == nullptr) return std::nullopt;
    if (image.size >= detail::long_header_size && read32(image.block.get()) == detail::long_header_type) {
        const std::uint8_t* h = image.block.get();
        detail::ImageGeometry g;
        g.bpp = static_cast<std::int32_t>(read32(h + 4));
        g.width = static_cast<std::int32_t>(read32(h + 8));
        g.height = static_cast<std::int32_t>(read32(h + 12));
        g.pitch = static_cast<std::int32_t>(read32(h + 16));
        g.header = detail::long_header_size;
        return checked(image, g);
    }
    if (image.size < detail::short_header_size) return std::nullopt;
    const std::uint8_t* h = image.block.get();
    const std::uint16_t word = static_cast<std::uint16_t>(h[0] | (h[1] << 8));
    detail::ImageGeometry g;
    g.width = word >> 3;
    g.height = h[2] | (h[3] << 8);
    const std::int32_t own = word & 7;
    g.bpp = (short_form_uses_own_bits && own != 0) ? own : short_form_bpp;
    g.pitch = g.width * g.bpp;
    g.header = detail::short_header_size;
    return checked(image, g);
}

}  // namespace

Image* image_create(std::int32_t width, std::int32_t height, Color colour, std::int32_t depth,
                    std::int32_t flags) {
    if (!detail::screen_is_open() || width <= 0 || height <= 0 || width > 8191 || height > 65535) {
        return nullptr;
    }
    const std::int32_t bpp = depth > 0 ? (depth + 7) / 8 : detail::screen_bytes_per_pixel();
    if (!valid_pixel_size(bpp)) return nullptr;
    const Color fill = (flags & flag_no_colour) != 0 ? default_fill : colour;

    auto* image = new (std::nothrow) Image;
    if (image == nullptr) return nullptr;
    const std::size_t pitch = static_cast<std::size_t>(width) * static_cast<std::size_t>(bpp);
    image->size = detail::short_header_size + static_cast<std::size_t>(height) * pitch;
    image->block.reset(new (std::nothrow) std::uint8_t[image->size]);
    if (image->block == nullptr) {
        delete image;
        return nullptr;
    }
    const auto word = static_cast<std::uint16_t>((width << 3) | bpp);
    image->block[0] = static_cast<std::uint8_t>(word);
    image->block[1] = static_cast<std::uint8_t>(word >> 8);
    image->block[2] = static_cast<std::uint8_t>(height);
    image->block[3] = static_cast<std::uint8_t>(height >> 8);
    // Rows have no padding here, so the whole pixel area is one span.
    detail::fill_span(image->block.get() + detail::short_header_size, fill, width * height, bpp);
    return image;
}

void image_destroy(Image* image) { delete image; }

std::span<std::uint8_t> image_bytes(Image& image) { return {image.block.get(), image.size}; }
std::span<const std::uint8_t> image_bytes(const Image& image) { return {image.block.get(), image.size}; }

std::optional<ImageSize> image_size(const Image& image) {
    const auto g = detail::image_source_geometry(image, 4);
    if (!g) return std::nullopt;
    return ImageSize{g->width, g->height};
}

namespace detail {

bool image_has_long_header(const Image& image) {
    // The same test the geometry uses, so every operation agrees on the form.
    return image.block != nullptr && image.size >= long_header_size && read32(image.block.get()) == long_header_type;
}

std::optional<ImageGeometry> image_target_geometry(const Image& image, std::int32_t screen_bpp) {
    return geometry(image, screen_bpp, false);
}

std::optional<ImageGeometry> image_source_geometry(const Image& image, std::int32_t target_bpp) {
    return geometry(image, target_bpp, true);
}

bool image_reserve(Image& image, std::size_t bytes) {
    if (bytes <= image.size) return true;
    std::unique_ptr<std::uint8_t[]> grown(new (std::nothrow) std::uint8_t[bytes]);
    if (grown == nullptr) return false;
    if (image.size != 0) std::memcpy(grown.get(), image.block.get(), image.size);
    std::memset(grown.get() + image.size, 0, bytes - image.size);
    image.block = std::move(grown);
    image.size = bytes;
    return true;
}

}  // namespace detail
}  // namespace gfx
