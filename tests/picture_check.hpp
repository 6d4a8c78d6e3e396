// Test support for the primitive and flood-fill tests: whole pictures read
// from an Image or a screen page, compared pixel by pixel. On a mismatch the
// comparison names the first differing pixels and writes <name>.actual.ppm
// and <name>.diff.ppm (differences in red) into the test's working
// directory. The expected pictures are computed by the tests, never stored,
// so there is nothing to regenerate.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "gfx/draw_state.hpp"
#include "gfx/image.hpp"
#include "gfx/screen.hpp"
#include "gfx/surface.hpp"

namespace picture {

struct Picture {
    int width = 0, height = 0;
    std::vector<gfx::Color> pixels;

    gfx::Color at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    gfx::Color& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    void fill_rect(int x1, int y1, int x2, int y2, gfx::Color c) {
        for (int y = y1; y <= y2; ++y) {
            for (int x = x1; x <= x2; ++x) at(x, y) = c;
        }
    }
    bool operator==(const Picture&) const = default;
};

// Rows of 4-byte pixels in memory.
struct View {
    std::uint8_t* pixels = nullptr;
    int width = 0, height = 0, pitch = 0;

    gfx::Color at(int x, int y) const {
        gfx::Color c;
        std::memcpy(&c, pixels + static_cast<std::ptrdiff_t>(y) * pitch + 4 * x, 4);
        return c;
    }
    void set(int x, int y, gfx::Color c) const {
        std::memcpy(pixels + static_cast<std::ptrdiff_t>(y) * pitch + 4 * x, &c, 4);
    }
};

inline View view(gfx::Image& image) {
    const auto g = gfx::detail::image_target_geometry(image, 4);
    EXPECT_TRUE(g.has_value());
    if (!g) return {};
    return {image.block.get() + g->header, g->width, g->height, g->pitch};
}

inline View page_view(int page) {
    const auto s = gfx::detail::screen_page_surface(page);
    EXPECT_TRUE(s.has_value());
    if (!s) return {};
    return {s->pixels, s->width, s->height, s->pitch};
}

inline Picture read(const View& v) {
    Picture p{v.width, v.height, {}};
    p.pixels.reserve(static_cast<std::size_t>(v.width) * v.height);
    for (int y = 0; y < v.height; ++y) {
        for (int x = 0; x < v.width; ++x) p.pixels.push_back(v.at(x, y));
    }
    return p;
}

// Writes a picture into memory directly, setting no row-changed flags; under
// the display lock, since the update thread may be reading the page.
inline void write(const View& v, const Picture& p) {
    gfx::DisplayLock lock;
    for (int y = 0; y < v.height; ++y) {
        for (int x = 0; x < v.width; ++x) v.set(x, y, p.at(x, y));
    }
}

inline void write_ppm(const std::string& path, const Picture& p, bool diff_of, const Picture* other) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return;
    std::fprintf(f, "P6\n%d %d\n255\n", p.width, p.height);
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const gfx::Color c = p.at(x, y);
            unsigned char rgb[3] = {static_cast<unsigned char>(c >> 16), static_cast<unsigned char>(c >> 8),
                                    static_cast<unsigned char>(c)};
            if (diff_of && other != nullptr) {
                const bool differs = other->at(x, y) != c;
                rgb[0] = differs ? 255 : 0;
                rgb[1] = rgb[2] = 0;
            }
            std::fwrite(rgb, 1, 3, f);
        }
    }
    std::fclose(f);
}

inline ::testing::AssertionResult same(const std::string& name, const Picture& actual, const Picture& expected) {
    if (actual.width != expected.width || actual.height != expected.height) {
        return ::testing::AssertionFailure() << name << ": size " << actual.width << "x" << actual.height
                                             << ", expected " << expected.width << "x" << expected.height;
    }
    if (actual.pixels == expected.pixels) return ::testing::AssertionSuccess();
    std::ostringstream out;
    int count = 0;
    for (int y = 0; y < actual.height; ++y) {
        for (int x = 0; x < actual.width; ++x) {
            if (actual.at(x, y) == expected.at(x, y)) continue;
            if (count < 8) {
                out << "\n  (" << x << ", " << y << "): 0x" << std::hex << actual.at(x, y) << ", expected 0x"
                    << expected.at(x, y) << std::dec;
            }
            ++count;
        }
    }
    std::string file = name;
    for (char& ch : file) {
        const bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '-';
        if (!plain) ch = '_';
    }
    write_ppm(file + ".actual.ppm", actual, false, nullptr);
    write_ppm(file + ".diff.ppm", actual, true, &expected);
    return ::testing::AssertionFailure() << name << ": " << count << " pixels differ (see " << file
                                         << ".actual.ppm and " << file << ".diff.ppm)" << out.str();
}

}  // namespace picture
