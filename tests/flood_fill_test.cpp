#include <gtest/gtest.h>

#include "support/headless_screen.hpp"
#include <pthread.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "gfx/backends/headless.hpp"
#include "gfx/draw_state.hpp"
#include "gfx/image.hpp"
#include "gfx/primitives.hpp"
#include "gfx/screen.hpp"
#include "tests/picture_check.hpp"

// Allocation failure on demand, for the calling thread only (the display's
// update thread keeps allocating normally): a count of allocations still
// allowed, or -1 for no limit. The replacements stay out of line so that the
// compiler never pairs an inlined malloc with an inlined free.
namespace {
thread_local long t_allocations_left = -1;
}

__attribute__((noinline)) void* operator new(std::size_t n) {
    if (t_allocations_left == 0) throw std::bad_alloc();
    if (t_allocations_left > 0) --t_allocations_left;
    void* p = std::malloc(n == 0 ? 1 : n);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
__attribute__((noinline)) void* operator new[](std::size_t n) { return operator new(n); }
__attribute__((noinline)) void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return operator new(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
__attribute__((noinline)) void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept {
    return operator new(n, tag);
}
__attribute__((noinline)) void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

using namespace gfx;
using picture::Picture;

namespace {

constexpr Color paper = 0xFF203040u;
constexpr Color wall = 0xFF32327Fu;
constexpr Color paint = 0xFFE0C010u;

class FloodFillTest : public HeadlessScreenTest {
protected:
    Image* canvas(const Picture& p) {
        Image* image = keep(image_create(p.width, p.height, 0, 0, 0));
        if (image != nullptr) picture::write(picture::view(*image), p);
        return image;
    }
};

Picture blank(int w, int h, Color c = paper) { return Picture{w, h, std::vector<Color>(static_cast<std::size_t>(w) * h, c)}; }

void outline(Picture& p, int x1, int y1, int x2, int y2, Color c) {
    for (int x = x1; x <= x2; ++x) p.at(x, y1) = p.at(x, y2) = c;
    for (int y = y1; y <= y2; ++y) p.at(x1, y) = p.at(x2, y) = c;
}

// The 4-connected pixels reachable from (sx, sy) without stepping on a
// pixel equal to `border`, found one pixel at a time.
std::vector<bool> reference_region(const Picture& p, int sx, int sy, Color border) {
    std::vector<bool> in(p.pixels.size(), false);
    if (sx < 0 || sy < 0 || sx >= p.width || sy >= p.height || p.at(sx, sy) == border) return in;
    std::deque<std::pair<int, int>> queue{{sx, sy}};
    in[static_cast<std::size_t>(sy) * p.width + sx] = true;
    while (!queue.empty()) {
        const auto [x, y] = queue.front();
        queue.pop_front();
        const int next[4][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
        for (const auto& n : next) {
            if (n[0] < 0 || n[1] < 0 || n[0] >= p.width || n[1] >= p.height) continue;
            const std::size_t i = static_cast<std::size_t>(n[1]) * p.width + n[0];
            if (in[i] || p.at(n[0], n[1]) == border) continue;
            in[i] = true;
            queue.emplace_back(n[0], n[1]);
        }
    }
    return in;
}

Picture reference_fill(Picture p, int sx, int sy, Color fill, Color border) {
    const auto in = reference_region(p, sx, sy, border);
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i]) p.pixels[i] = fill;
    }
    return p;
}

TEST_F(FloodFillTest, FillsTheRegionBoundedByTheBorderColour) {
    struct Case {
        const char* name;
        std::function<Picture()> picture;
        float x, y;
        Color colour, border;
        std::int32_t flags;
        Color expected_border;  // the border the fill must have used
    };
    auto boxed = [] {
        Picture p = blank(40, 30);
        outline(p, 5, 4, 30, 20, wall);
        return p;
    };
    const std::vector<Case> cases = {
        {"inside a closed outline", boxed, 10, 10, paint, wall, 0, wall},
        {"outside a closed outline", boxed, 2, 25, paint, wall, 0, wall},
        {"started on the border: nothing", boxed, 5, 10, paint, wall, 0, wall},
        {"started left of the target: nothing", boxed, -1, 10, paint, wall, 0, wall},
        {"started below the target: nothing", boxed, 10, 29.5f, paint, wall, 0, wall},
        {"a border differing only in alpha is filled over", [] {
             Picture p = blank(40, 30);
             outline(p, 5, 4, 30, 20, wall & 0x00FFFFFFu);
             return p;
         }, 10, 10, paint, wall, 0, wall},
        {"fill colour equal to the border", boxed, 10, 10, wall, wall, 0, wall},
        {"flag bit 30: the fill colour is the border", [] {
             Picture p = blank(40, 30);
             outline(p, 5, 4, 30, 20, paint);
             outline(p, 8, 7, 12, 12, wall);
             return p;
         }, 10, 16, paint, wall, flag_no_border, paint},
        {"flag bit 31: the foreground colour", boxed, 10, 10, paint, wall, flag_no_colour, wall},
        {"an area already in the fill colour is filled through", [boxed] {
             Picture p = boxed();
             for (int y = 5; y < 20; ++y) {
                 for (int x = 6; x < 18; ++x) p.at(x, y) = paint;
             }
             return p;
         }, 10, 10, paint, wall, 0, wall},
        {"no border at all: the whole target", [] { return blank(17, 9); }, 3, 3, paint, wall, 0, wall},
        {"a one-pixel target", [] { return blank(1, 1); }, 0, 0, paint, wall, 0, wall},
        {"a one-row target split by a wall", [] {
             Picture p = blank(30, 1);
             p.at(12, 0) = wall;
             return p;
         }, 20, 0, paint, wall, 0, wall},
        {"a one-column target split by a wall", [] {
             Picture p = blank(1, 30);
             p.at(0, 12) = wall;
             return p;
         }, 0, 5, paint, wall, 0, wall},
        {"a comb: many spans to a row", [] {
             Picture p = blank(41, 20);
             for (int x = 1; x < 41; x += 2) {
                 for (int y = 0; y < 19; ++y) p.at(x, y) = wall;
             }
             return p;
         }, 0, 0, paint, wall, 0, wall},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Picture before = c.picture();
        Image* image = canvas(before);
        flood_fill(image, c.x, c.y, c.colour, c.border, "", 0, c.flags);
        const Color used = (c.flags & flag_no_colour) != 0 ? 0xFFFFFFFFu : c.colour;
        const int sx = detail::to_pixel(c.x), sy = detail::to_pixel(c.y);
        EXPECT_TRUE(picture::same(c.name, picture::read(picture::view(*image)),
                                  reference_fill(before, sx, sy, used, c.expected_border)));
    }
}

TEST_F(FloodFillTest, ABorderTouchingOnlyAtCornersHoldsTheFill) {
    constexpr int n = 32;
    Picture p = blank(n, n);
    for (int i = 0; i < n; ++i) p.at(i, i) = p.at(n - 1 - i, i) = wall;  // two diagonals: neighbours meet at corners
    struct Case {
        const char* name;
        int x, y;
        std::function<bool(int, int)> inside;
    };
    const Case cases[] = {
        {"top quarter", 16, 2, [](int x, int y) { return y < x && y < n - 1 - x; }},
        {"bottom quarter", 16, 29, [](int x, int y) { return y > x && y > n - 1 - x; }},
        {"left quarter", 2, 16, [](int x, int y) { return x < y && x < n - 1 - y; }},
        {"right quarter", 29, 16, [](int x, int y) { return x > y && x > n - 1 - y; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image* image = canvas(p);
        flood_fill(image, static_cast<float>(c.x), static_cast<float>(c.y), paint, wall, "", 0, 0);
        Picture expected = p;
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                if (c.inside(x, y)) expected.at(x, y) = paint;
            }
        }
        EXPECT_TRUE(picture::same(c.name, picture::read(picture::view(*image)), expected));
    }
}

TEST_F(FloodFillTest, TheBootScreenRing) {
    constexpr Color light_blue = 0xFF7F7FD7u, dark_blue = 0xFF32327Fu;
    Image* image = image_create(641, 481, 0, 0, flag_no_colour);
    ASSERT_NE(image, nullptr);
    fill_box(image, 20, 20, 420, 322, light_blue, 0xFFFF, 0);
    draw_box(image, 20, 20, 420, 322, dark_blue, 0xFFFF, 0);
    fill_box(image, 60, 60, 380, 282, dark_blue, 0xFFFF, 0);
    // Successive flashes, one of them the ring's own colour.
    for (Color flash : {0xFF9A4F12u, light_blue, 0xFF000000u, 0x00FFFFFFu}) {
        SCOPED_TRACE(flash);
        Picture expected = picture::read(picture::view(*image));
        expected.fill_rect(21, 21, 419, 59, flash);
        expected.fill_rect(21, 283, 419, 321, flash);
        expected.fill_rect(21, 60, 59, 282, flash);
        expected.fill_rect(381, 60, 419, 282, flash);
        flood_fill(image, 21, 21, flash, dark_blue, "", 0, 4);
        EXPECT_TRUE(picture::same("boot ring", picture::read(picture::view(*image)), expected));
    }
    image_destroy(image);
}

TEST_F(FloodFillTest, RandomPicturesMatchAPixelByPixelReference) {
    std::mt19937 rng(777);
    struct Size {
        int w, h;
    };
    const Size sizes[] = {{1, 1}, {1, 25}, {25, 1}, {37, 23}, {64, 64}, {130, 7}};
    const double densities[] = {0.1, 0.3, 0.45, 0.6};
    // Other colours include the border's red, green and blue with another
    // alpha, which must not stop the fill.
    const Color others[] = {paper, wall & 0x00FFFFFFu, wall ^ 0x80000000u, paint, 0xFFFFFFFFu};
    for (const Size& size : sizes) {
        for (double density : densities) {
            for (int round = 0; round < 6; ++round) {
                Picture p = blank(size.w, size.h);
                std::bernoulli_distribution is_wall(density);
                std::uniform_int_distribution<int> other(0, 4);
                for (Color& c : p.pixels) c = is_wall(rng) ? wall : others[other(rng)];
                std::uniform_int_distribution<int> px(0, size.w - 1), py(0, size.h - 1);
                const int sx = px(rng), sy = py(rng);
                Image* image = canvas(p);
                flood_fill(image, static_cast<float>(sx), static_cast<float>(sy), paint, wall, "", 0, 0);
                const std::string name = "random " + std::to_string(size.w) + "x" + std::to_string(size.h) + " d" +
                                         std::to_string(density) + " r" + std::to_string(round);
                ASSERT_TRUE(picture::same(name, picture::read(picture::view(*image)),
                                          reference_fill(p, sx, sy, paint, wall)));
            }
        }
    }
}

TEST_F(FloodFillTest, PatternTileIsTheFirst256BytesOfTheText) {
    std::string long_text(300, '\0');
    for (std::size_t i = 0; i < long_text.size(); ++i) long_text[i] = static_cast<char>(i * 37 + 11);
    struct Case {
        const char* name;
        std::string text;
        std::int32_t mode;
    };
    const Case cases[] = {
        {"text longer than the tile: only its first 256 bytes", long_text, 1},
        {"exactly 256 bytes", long_text.substr(0, 256), 1},
        {"a short text: zero beyond its end", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123", 1},
        {"an empty text: all zero", "", 1},
        {"mode 0 ignores the text", long_text, 0},
        {"any other mode is solid", long_text, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture p = blank(50, 40);
        outline(p, 3, 2, 45, 37, wall);
        Image* image = canvas(p);
        flood_fill(image, 20, 20, paint, wall, c.text, c.mode, 0);
        std::uint8_t tile[256] = {};
        std::memcpy(tile, c.text.data(), std::min<std::size_t>(c.text.size(), 256));
        Picture expected = p;
        const auto region = reference_region(p, 20, 20, wall);
        for (int y = 0; y < p.height; ++y) {
            for (int x = 0; x < p.width; ++x) {
                if (!region[static_cast<std::size_t>(y) * p.width + x]) continue;
                Color v = paint;
                if (c.mode == 1) std::memcpy(&v, tile + (y % 8) * 32 + (x % 8) * 4, 4);
                expected.at(x, y) = v;
            }
        }
        EXPECT_TRUE(picture::same(c.name, picture::read(picture::view(*image)), expected));
    }
}

TEST_F(FloodFillTest, PatternTileRowsHoldPixelsOfTheTargetsSize) {
    std::string text(256, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(0x80 ^ (i * 29));
    for (std::int32_t depth : {8, 16, 32}) {
        SCOPED_TRACE(depth);
        screen_close();
        ASSERT_EQ(screen_open(48, 40, depth, 1, 0, 0), Status::Ok) << screen_open_failure();
        const std::int32_t bpp = (depth + 7) / 8;
        const auto s = detail::screen_page_surface(0);
        ASSERT_TRUE(s.has_value());
        const Color border = 0xFFFFA5C3u;  // 0xC3 or 0xA5C3 or all of it, by pixel size
        draw_box(nullptr, 4, 3, 40, 30, border, 0xFFFF, 0);
        flood_fill(nullptr, 10, 10, paint, border, text, 1, 0);
        std::size_t wrong = 0;
        for (std::int32_t y = 0; y < s->height; ++y) {
            for (std::int32_t x = 0; x < s->width; ++x) {
                Color expected = 0;  // the page as opened
                if ((x == 4 || x == 40) && y >= 3 && y <= 30) expected = border;
                if ((y == 3 || y == 30) && x >= 4 && x <= 40) expected = border;
                if (x > 4 && x < 40 && y > 3 && y < 30) {
                    std::memcpy(&expected, text.data() + ((y % 8) * 8 + (x % 8)) * bpp, static_cast<std::size_t>(bpp));
                }
                if (depth == 32 && expected == 0) expected = 0xFF000000u;
                if (bpp < 4) expected &= (1u << (8 * bpp)) - 1;
                wrong += detail::get_pixel(*s, x, y) != expected;
            }
        }
        EXPECT_EQ(wrong, 0u);
    }
}

TEST_F(FloodFillTest, StartCanBeRelativeToTheLastPoint) {
    Picture p = blank(40, 30);
    outline(p, 5, 4, 30, 20, wall);
    Image* image = canvas(p);
    draw_point(image, 1, 25, paper, 0, 0);  // the last point is now (1, 25)
    flood_fill(image, 9, -15, paint, wall, "", 0, 2);
    EXPECT_TRUE(picture::same("relative", picture::read(picture::view(*image)), reference_fill(p, 10, 10, paint, wall)));
}

// A single corridor one pixel wide snaking up and down through every other
// column: some 150,000 pixels in a row of 1-pixel spans, each reached only
// from the one before it.
Picture serpentine(int w, int h) {
    Picture p = blank(w, h);
    for (int x = 1; x < w; x += 2) {
        const bool gap_at_bottom = (x / 2) % 2 == 0;
        for (int y = 0; y < h; ++y) p.at(x, y) = wall;
        p.at(x, gap_at_bottom ? h - 1 : 0) = paper;
    }
    return p;
}

TEST_F(FloodFillTest, ADeepSerpentineFillsOnASmallStack) {
    const Picture p = serpentine(640, 480);
    Image* image = canvas(p);
    // A thread with a quarter of a megabyte of stack: far too little for
    // recursion along the corridor.
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 256 * 1024);
    pthread_t thread;
    auto body = [](void* arg) -> void* {
        flood_fill(static_cast<Image*>(arg), 0, 0, paint, wall, "", 0, 0);
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, body, image), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    Picture expected = p;
    for (Color& c : expected.pixels) {
        if (c == paper) c = paint;
    }
    EXPECT_TRUE(picture::same("serpentine", picture::read(picture::view(*image)), expected));
}

TEST_F(FloodFillTest, WithoutMemoryNothingIsDrawn) {
    const Picture p = serpentine(64, 48);
    const Picture filled = reference_fill(p, 0, 0, paint, wall);
    int refused = 0, done = 0;
    for (long allowed = 0; allowed <= 64; ++allowed) {
        SCOPED_TRACE(allowed);
        Image* image = canvas(p);
        t_allocations_left = allowed;
        flood_fill(image, 0, 0, paint, wall, "", 0, 0);
        const bool ran_out = t_allocations_left == 0;
        t_allocations_left = -1;
        const Picture after = picture::read(picture::view(*image));
        if (after == p) {
            ++refused;
            EXPECT_TRUE(ran_out) << "nothing drawn although memory was there";
        } else {
            ++done;
            EXPECT_TRUE(picture::same("filled", after, filled));
        }
    }
    EXPECT_GT(refused, 1);
    EXPECT_GT(done, 0);
}

}  // namespace
