#include "tools/picture_file.hpp"

#include <fstream>

namespace tools {
namespace {

std::uint32_t read_u32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

void put_u16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put_u16(out, v & 0xFFFFu);
    put_u16(out, v >> 16);
}

}  // namespace

Pixels image_pixels(const gfx::Image& image) {
    const auto bytes = gfx::image_bytes(image);
    const auto size = gfx::image_size(image);
    if (!size || bytes.size() < 4) return {};

    std::size_t offset = 4;
    std::size_t pitch = static_cast<std::size_t>(size->width) * 4;
    if (bytes.size() >= 32 && read_u32(bytes, 0) == 7) {
        if (read_u32(bytes, 4) != 4) return {};
        offset = 32;
        pitch = read_u32(bytes, 16);
    } else if ((bytes[0] & 7) != 4 && (bytes[0] & 7) != 0) {
        return {};
    }
    const std::size_t w = static_cast<std::size_t>(size->width);
    const std::size_t h = static_cast<std::size_t>(size->height);
    if (pitch < w * 4 || offset + h * pitch > bytes.size()) return {};

    Pixels out{size->width, size->height, std::vector<gfx::Color>(w * h)};
    for (std::size_t y = 0; y < h; ++y)
        for (std::size_t x = 0; x < w; ++x) out.data[y * w + x] = read_u32(bytes, offset + y * pitch + x * 4);
    return out;
}

std::vector<std::uint8_t> bmp_encode(const Pixels& pixels) {
    const std::uint32_t w = static_cast<std::uint32_t>(pixels.width);
    const std::uint32_t h = static_cast<std::uint32_t>(pixels.height);
    const std::uint32_t row_bytes = (w * 3 + 3) & ~3u;
    const std::uint32_t data_bytes = row_bytes * h;

    std::vector<std::uint8_t> out;
    out.reserve(54 + data_bytes);
    out.push_back('B');
    out.push_back('M');
    put_u32(out, 54 + data_bytes);
    put_u32(out, 0);
    put_u32(out, 54);
    put_u32(out, 40);
    put_u32(out, w);
    put_u32(out, h);
    put_u16(out, 1);   // planes
    put_u16(out, 24);  // bits per pixel
    put_u32(out, 0);   // no compression
    put_u32(out, data_bytes);
    put_u32(out, 2835);  // 72 dots per inch, in dots per metre
    put_u32(out, 2835);
    put_u32(out, 0);
    put_u32(out, 0);

    for (std::uint32_t r = h; r-- > 0;) {
        for (std::uint32_t x = 0; x < w; ++x) {
            const gfx::Color c = pixels.data[static_cast<std::size_t>(r) * w + x];
            out.push_back(static_cast<std::uint8_t>(c));
            out.push_back(static_cast<std::uint8_t>(c >> 8));
            out.push_back(static_cast<std::uint8_t>(c >> 16));
        }
        for (std::uint32_t pad = w * 3; pad < row_bytes; ++pad) out.push_back(0);
    }
    return out;
}

bool bmp_write(const std::filesystem::path& path, const Pixels& pixels) {
    const auto bytes = bmp_encode(pixels);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return static_cast<bool>(file);
}

}  // namespace tools
