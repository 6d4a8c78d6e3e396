#include "gfx/bmp.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "gfx/draw_state.hpp"
#include "gfx/screen.hpp"
#include "gfx/surface.hpp"

namespace gfx {
namespace {

constexpr std::size_t max_name_length = 259;
constexpr std::int64_t max_side = 32768;
constexpr std::int64_t file_header_size = 54;
constexpr std::int64_t mask_bytes = 12;
constexpr std::uint32_t compression_none = 0;
constexpr std::uint32_t compression_bit_fields = 3;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::uint16_t read16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t read32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void write32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

bool read_exact(std::FILE* f, void* into, std::size_t bytes) { return std::fread(into, 1, bytes, f) == bytes; }

// The length a dump claims is never trusted: the copy stops at the end of the
// Image's block, or of one screen page, whichever the destination is.
Status load_raw_dump(std::FILE* f, std::uint8_t first, Image* destination) {
    std::uint8_t header[7] = {first};
    const std::size_t header_size = first == 0xFD ? 7 : 5;
    // A header cut short leaves no length to copy by, so the file is refused.
    if (!read_exact(f, header + 1, header_size - 1)) return Status::FileIoError;
    const std::uint64_t length = first == 0xFD ? read16(header + 5) : read32(header + 1);

    std::uint8_t* start = nullptr;
    std::uint64_t room = 0;
    std::optional<detail::Surface> page;
    if (destination != nullptr) {
        start = destination->block.get();
        room = destination->size;
    } else {
        page = detail::make_current(nullptr);
        if (!page) return Status::IllegalCall;
        start = page->pixels;
        room = static_cast<std::uint64_t>(page->pitch) * static_cast<std::uint64_t>(page->height);
    }
    const std::size_t wanted = static_cast<std::size_t>(std::min(length, room));

    DisplayLock lock;
    // A dump shorter than its length is not an error: the bytes present count.
    const std::size_t copied = wanted == 0 ? 0 : std::fread(start, 1, wanted, f);
    if (page && copied > 0 && page->pitch > 0) {
        const auto last_row = static_cast<std::int32_t>((copied - 1) / static_cast<std::size_t>(page->pitch));
        detail::mark_rows_changed(*page, 0, last_row);
    }
    return Status::Ok;
}

// The header fields the loader uses, taken from the first 54 bytes.
struct BmpHeader {
    std::uint32_t pixel_offset = 0;
    std::int32_t width = 0, height = 0;
    std::uint16_t bit_count = 0;
    std::uint32_t compression = 0;
};

std::int64_t padded_row_bytes(std::int64_t width, std::int32_t bit_count) {
    return (width * bit_count + 31) / 32 * 4;
}

// The bytes a row must offer to count as read: 1- and 4-bit rows are read
// up to their last pixel byte, the others as whole padded rows.
std::int64_t required_row_bytes(std::int64_t width, std::int32_t bit_count) {
    if (bit_count == 1) return (width + 7) / 8;
    if (bit_count == 4) return (width + 1) / 2;
    return padded_row_bytes(width, bit_count);
}

void convert_row(const std::uint8_t* row, std::int32_t bit_count, std::int32_t count, std::uint8_t* out,
                 const std::array<std::array<std::uint8_t, 3>, 256>& palette) {
    auto store = [&](std::int32_t x, Color c) { std::memcpy(out + 4 * static_cast<std::ptrdiff_t>(x), &c, 4); };
    auto from_palette = [&](std::int32_t x, std::uint8_t index) {
        const auto& e = palette[index];
        store(x, 0xFF000000u | (Color{e[0]} << 16) | (Color{e[1]} << 8) | Color{e[2]});
    };
    switch (bit_count) {
        case 1:
            for (std::int32_t x = 0; x < count; ++x) from_palette(x, (row[x >> 3] >> (7 - (x & 7))) & 1);
            break;
        case 4:
            for (std::int32_t x = 0; x < count; ++x) from_palette(x, (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF);
            break;
        case 8:
            for (std::int32_t x = 0; x < count; ++x) from_palette(x, row[x]);
            break;
        case 24:
            for (std::int32_t x = 0; x < count; ++x) {
                const std::uint8_t* p = row + 3 * static_cast<std::ptrdiff_t>(x);
                store(x, 0xFF000000u | (Color{p[2]} << 16) | (Color{p[1]} << 8) | Color{p[0]});
            }
            break;
        default:
            std::memcpy(out, row, 4 * static_cast<std::size_t>(count));
            break;
    }
}

Status load_bmp(std::FILE* f, Image* destination) {
    if (!detail::screen_is_open()) return Status::IllegalCall;

    std::uint8_t raw[file_header_size];
    raw[0] = 'B';
    if (!read_exact(f, raw + 1, sizeof raw - 1) || raw[1] != 'M' || read32(raw + 14) != 40) {
        return Status::FileIoError;
    }
    BmpHeader h;
    h.pixel_offset = read32(raw + 10);
    h.width = static_cast<std::int32_t>(read32(raw + 18));
    h.height = static_cast<std::int32_t>(read32(raw + 22));
    h.bit_count = read16(raw + 28);
    h.compression = read32(raw + 30);
    if (h.bit_count == 15 || h.bit_count == 16) return Status::IllegalCall;

    // Everything the loader cannot read sensibly is refused here, before
    // anything has changed.
    const bool known_depth =
        h.bit_count == 1 || h.bit_count == 4 || h.bit_count == 8 || h.bit_count == 24 || h.bit_count == 32;
    const bool bit_fields = h.compression == compression_bit_fields;
    if (!known_depth || (h.compression != compression_none && !bit_fields)) return Status::FileIoError;
    if (h.pixel_offset < file_header_size || h.width < 0) return Status::FileIoError;
    const std::int64_t width = h.width;
    const bool top_down = h.height < 0;
    const std::int64_t height = top_down ? -static_cast<std::int64_t>(h.height) : h.height;
    if (width > max_side || height > max_side) return Status::FileIoError;

    // The masks of a bit-field file follow the information header; the
    // palette fills the rest of the room before the pixel data.
    const std::int64_t palette_start = file_header_size + (bit_fields ? mask_bytes : 0);
    const std::int64_t palette_count =
        h.pixel_offset > palette_start ? (static_cast<std::int64_t>(h.pixel_offset) - palette_start) / 4 : 0;
    if (palette_count > 256) return Status::FileIoError;

    // The destination: its surface as it will be after a re-form.
    const std::int32_t screen_bpp = detail::screen_bytes_per_pixel();
    const bool re_form = destination != nullptr && !detail::image_has_long_header(*destination);
    std::optional<detail::Surface> target;
    std::uint32_t formed_pitch = 0;
    std::size_t formed_size = 0;
    if (re_form) {
        if (screen_bpp != 4) return Status::IllegalCall;
        formed_pitch = static_cast<std::uint32_t>((width * 4 + 15) / 16 * 16);
        formed_size = detail::long_header_size + static_cast<std::size_t>(height) * formed_pitch;
    } else {
        target = detail::make_current(destination);
        if (!target || target->bpp != 4) return Status::IllegalCall;
    }

    const std::int64_t row_bytes = padded_row_bytes(width, h.bit_count);
    const std::int64_t row_needed = required_row_bytes(width, h.bit_count);
    std::unique_ptr<std::uint8_t[]> row(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(row_bytes) + 1]);
    if (row == nullptr) return Status::FileIoError;

    std::uint8_t masks[mask_bytes] = {};
    if (bit_fields && !read_exact(f, masks, sizeof masks)) return Status::FileIoError;
    std::uint8_t palette_bytes[256 * 4];
    if (!read_exact(f, palette_bytes, static_cast<std::size_t>(palette_count) * 4)) return Status::FileIoError;

    if (re_form) {
        if (!detail::image_reserve(*destination, formed_size)) return Status::FileIoError;
        std::uint8_t* header = destination->block.get();
        write32(header + 0, detail::long_header_type);
        write32(header + 4, 4);
        write32(header + 8, static_cast<std::uint32_t>(width));
        write32(header + 12, static_cast<std::uint32_t>(height));
        write32(header + 16, formed_pitch);
        target = detail::make_current(destination);
        if (!target) return Status::FileIoError;
    }

    // Any other layout of a bit-field file would put the colours in the wrong
    // bytes, so only the usual red, green and blue masks are accepted.
    if (bit_fields &&
        (read32(masks) != 0x00FF0000u || read32(masks + 4) != 0x0000FF00u || read32(masks + 8) != 0x000000FFu)) {
        return Status::FileIoError;
    }

    // Up to three bytes may lie between the palette and the pixel data.
    const std::int64_t position = palette_start + palette_count * 4;
    for (std::int64_t gap = h.pixel_offset - position; gap > 0; --gap) {
        if (std::fgetc(f) == EOF) break;
    }

    const std::int64_t copy_width = std::min<std::int64_t>(width, target->width);
    const std::int64_t copy_height = std::min<std::int64_t>(height, target->height);

    DisplayLock lock;
    auto& palette = detail::palette_table();
    for (std::int64_t i = 0; i < palette_count; ++i) {
        const std::uint8_t* entry = palette_bytes + 4 * i;
        palette[static_cast<std::size_t>(i)] = {entry[2], entry[1], entry[0]};
    }

    Status result = Status::Ok;
    for (std::int64_t i = 0; i < height; ++i) {
        const std::int64_t got = static_cast<std::int64_t>(std::fread(row.get(), 1, static_cast<std::size_t>(row_bytes), f));
        if (got < row_needed) {
            result = Status::FileIoError;
            break;
        }
        const std::int64_t r = top_down ? i : height - 1 - i;
        if (r < copy_height) {
            convert_row(row.get(), h.bit_count, static_cast<std::int32_t>(copy_width),
                        target->row(static_cast<std::int32_t>(r)), palette);
        }
    }
    if (destination == nullptr) detail::mark_rows_changed(*target, 0, target->height - 1);
    return result;
}

}  // namespace

Status image_load_bmp(std::string_view file_name, Image* destination) {
    if (destination == nullptr && !detail::screen_is_open()) return Status::IllegalCall;
    const std::string name(file_name.substr(0, max_name_length));
    File f(std::fopen(name.c_str(), "rb"));
    if (!f) return Status::FileNotFound;
    // A directory opens for reading on this platform but is no file.
    struct stat info {};
    if (fstat(fileno(f.get()), &info) == 0 && S_ISDIR(info.st_mode)) return Status::FileNotFound;
    const int first = std::fgetc(f.get());
    if (first == 'B') return load_bmp(f.get(), destination);
    if (first == 0xFD || first == 0xFE) return load_raw_dump(f.get(), static_cast<std::uint8_t>(first), destination);
    return Status::FileIoError;
}

}  // namespace gfx
