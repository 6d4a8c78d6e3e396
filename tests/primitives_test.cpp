#include <gtest/gtest.h>

#include "support/headless_screen.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gfx/backends/headless.hpp"
#include "gfx/draw_state.hpp"
#include "gfx/image.hpp"
#include "gfx/primitives.hpp"
#include "gfx/screen.hpp"
#include "tests/picture_check.hpp"

using namespace gfx;
using picture::Picture;

namespace {

constexpr Color ink = 0xFF00C080u;
constexpr Color paper = 0xFF203040u;

using Point = std::pair<int, int>;

// The pixels from a to b inclusive, stepping each axis by its sign: a
// horizontal, vertical or 45-degree run, in order from a.
std::vector<Point> run(int x1, int y1, int x2, int y2) {
    const int n = std::max(std::abs(x2 - x1), std::abs(y2 - y1));
    const int sx = x2 > x1 ? 1 : x2 < x1 ? -1 : 0, sy = y2 > y1 ? 1 : y2 < y1 ? -1 : 0;
    std::vector<Point> points;
    for (int i = 0; i <= n; ++i) points.emplace_back(x1 + i * sx, y1 + i * sy);
    return points;
}

Picture with(Picture p, const std::vector<Point>& points, Color c) {
    for (auto [x, y] : points) p.at(x, y) = c;
    return p;
}

// Position k along a line from P1 is drawn when bit 15 - (k mod 16) is set.
std::vector<Point> styled(const std::vector<Point>& from_p1, std::uint16_t style) {
    std::vector<Point> drawn;
    for (std::size_t k = 0; k < from_p1.size(); ++k) {
        if (((style >> (15 - k % 16)) & 1u) != 0) drawn.push_back(from_p1[k]);
    }
    return drawn;
}

class PrimitivesTest : public HeadlessScreenTest {
protected:
    Image* canvas(int w, int h, Color c = paper) { return keep(image_create(w, h, c, 0, 0)); }
};

// A drawing target and a way to read it back: an Image, or the screen's
// work page (page 0 after opening).
struct Target {
    const char* name;
    Image* image;
    picture::View view() const { return image != nullptr ? picture::view(*image) : picture::page_view(0); }
};

TEST_F(PrimitivesTest, PointsRoundHalvesAwayFromZeroAndClip) {
    struct Case {
        float x, y;
        std::optional<Point> pixel;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {639.5f, 10, std::nullopt},         // rounds to 640, one past the right edge
        {-0.4f, 10, Point{0, 10}},
        {-0.5f, 10, std::nullopt},          // rounds to -1
        {2.5f, 3.5f, Point{3, 4}},
        {2.49f, 7.51f, Point{2, 8}},
        {0.49999997f, 1, Point{0, 1}},      // the float just below a half stays below
        {0.5f, 0, Point{1, 0}},
        {639.49f, 479.49f, Point{639, 479}},
        {10, 479.5f, std::nullopt},
        {-0.6f, 0, std::nullopt},
        {1e10f, 5, std::nullopt},
        {-1e10f, 5, std::nullopt},
        {nan, 5, Point{0, 5}},
    };
    Image* image = canvas(640, 480);
    for (const Target& target : {Target{"screen", nullptr}, Target{"image", image}}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(target.name) + " at " + std::to_string(c.x) + ", " + std::to_string(c.y));
            const Picture before = picture::read(target.view());
            draw_point(target.image, c.x, c.y, ink, 0, 0);
            const Picture expected = c.pixel ? with(before, {*c.pixel}, ink) : before;
            EXPECT_TRUE(picture::same("point", picture::read(target.view()), expected));
            draw_point(target.image, c.x, c.y, paper, 0, 0);
        }
    }
}

TEST_F(PrimitivesTest, LinesClipAtEveryEdge) {
    struct Case {
        const char* name;
        int w, h;
        float x1, y1, x2, y2;
        std::vector<Point> pixels;
    };
    const std::vector<Case> cases = {
        {"(0,30)-(640,30) on 640 x 60: columns 0..639", 640, 60, 0, 30, 640, 30, run(0, 30, 639, 30)},
        {"(0,60)-(640,60) below a 640 x 60 image", 640, 60, 0, 60, 640, 60, {}},
        {"(-50,100)-(50,100) on 640 x 480: columns 0..50", 640, 480, -50, 100, 50, 100, run(0, 100, 50, 100)},
        {"(10,10)-(10,10): one pixel", 64, 64, 10, 10, 10, 10, {{10, 10}}},
        {"(0,5)-(9,5): both ends, 10 pixels", 64, 64, 0, 5, 9, 5, run(0, 5, 9, 5)},
        {"vertical through top and bottom", 640, 60, 5, -10, 5, 100, run(5, 0, 5, 59)},
        {"vertical left of the image", 64, 64, -1, 0, -1, 50, {}},
        {"vertical right of the image", 64, 64, 64, 0, 64, 50, {}},
        {"horizontal above the image", 64, 64, -5, -1, 70, -1, {}},
        {"diagonal in through the top-left corner", 64, 64, -10, -10, 20, 20, run(0, 0, 20, 20)},
        {"diagonal out through the right edge", 640, 480, 630, 10, 650, 30, run(630, 10, 639, 19)},
        {"diagonal out through the bottom edge", 640, 480, 10, 470, 30, 490, run(10, 470, 19, 479)},
        {"anti-diagonal out through the top edge", 64, 64, 10, 5, 20, -5, run(10, 5, 15, 0)},
        {"diagonal beyond both corners", 100, 70, -5, -5, 700, 700, run(0, 0, 69, 69)},
        {"passing outside the top-left corner", 64, 64, -10, 5, 5, -10, {}},
        {"slope 1/2 in through the left edge: 1.5 truncates to 1", 64, 64, -3, 0, 7, 5,
         {{0, 1}, {1, 2}, {2, 2}, {3, 3}, {4, 3}, {5, 4}, {6, 4}, {7, 5}}},
        {"slope -1/2 in through the left edge: 8.5 truncates to 8", 64, 64, -3, 10, 7, 5,
         {{0, 8}, {1, 8}, {2, 7}, {3, 7}, {4, 6}, {5, 6}, {6, 5}, {7, 5}}},
        {"steep line out through the bottom: 5.25 truncates to 5", 640, 480, 3, 470, 8, 490,
         {{5, 479}, {5, 478}, {5, 477}, {4, 476}, {4, 475}, {4, 474}, {4, 473}, {3, 472}, {3, 471}, {3, 470}}},
        {"move to the top edge truncates -0.5 toward zero, into the image", 64, 64, 1, -3, -2, 3, {{0, 0}}},
        {"coordinates far beyond the 32-bit range", 64, 64, -3e10f, 5, 3e10f, 5, run(0, 5, 63, 5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image* image = canvas(c.w, c.h);
        const Picture before = picture::read(picture::view(*image));
        draw_line(image, c.x1, c.y1, c.x2, c.y2, ink, 0xFFFF, 0);
        EXPECT_TRUE(picture::same(c.name, picture::read(picture::view(*image)), with(before, c.pixels, ink)));
    }
}

TEST_F(PrimitivesTest, LineStyleIsCountedFromP1AfterClipping) {
    struct Case {
        const char* name;
        int w, h;
        float x1, y1, x2, y2;
        std::uint16_t style;
        Point p1, p2;  // the end points after clipping, P1 first
    };
    const Case cases[] = {
        {"horizontal drawn rightward", 64, 16, 0, 5, 40, 5, 0xF0F0, {0, 5}, {40, 5}},
        {"horizontal drawn leftward", 64, 16, 40, 5, 0, 5, 0xF0F0, {40, 5}, {0, 5}},
        {"horizontal leftward, 38 pixels", 64, 16, 37, 5, 0, 5, 0x8001, {37, 5}, {0, 5}},
        {"horizontal leftward, 17 pixels", 64, 16, 16, 7, 0, 7, 0xC000, {16, 7}, {0, 7}},
        {"horizontal leftward, 16 pixels", 64, 16, 15, 7, 0, 7, 0x9C31, {15, 7}, {0, 7}},
        {"horizontal rightward, 17 pixels", 64, 16, 0, 7, 16, 7, 0xC000, {0, 7}, {16, 7}},
        {"vertical drawn downward", 16, 64, 3, 0, 3, 37, 0x9C31, {3, 0}, {3, 37}},
        {"vertical drawn upward", 16, 64, 3, 37, 3, 0, 0x9C31, {3, 37}, {3, 0}},
        {"vertical upward, one pixel", 16, 64, 3, 9, 3, 9, 0x7FFF, {3, 9}, {3, 9}},
        {"vertical: P1 clipped at the bottom stays P1", 640, 60, 5, 100, 5, 30, 0xE01F, {5, 59}, {5, 30}},
        {"vertical: P2 outside, the ends exchange", 640, 60, 5, 30, 5, 100, 0xE01F, {5, 59}, {5, 30}},
        {"vertical through both edges ends counted from the top", 640, 60, 5, 100, 5, -20, 0xE01F, {5, 0}, {5, 59}},
        {"(0,30)-(640,30): counted from column 639", 640, 60, 0, 30, 640, 30, 0xF00F, {639, 30}, {0, 30}},
        {"diagonal drawn down-right", 32, 32, 0, 0, 20, 20, 0xAAAA, {0, 0}, {20, 20}},
        {"diagonal drawn up-left", 32, 32, 20, 20, 0, 0, 0xCCCC, {20, 20}, {0, 0}},
        {"diagonal clipped at the right edge", 640, 480, 630, 10, 650, 30, 0xB6DB, {639, 19}, {630, 10}},
        {"style 0 draws nothing", 64, 16, 0, 5, 40, 5, 0x0000, {0, 5}, {40, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image* image = canvas(c.w, c.h);
        const Picture before = picture::read(picture::view(*image));
        draw_line(image, c.x1, c.y1, c.x2, c.y2, ink, c.style, 0);
        const auto expected = with(before, styled(run(c.p1.first, c.p1.second, c.p2.first, c.p2.second), c.style), ink);
        EXPECT_TRUE(picture::same(c.name, picture::read(picture::view(*image)), expected));
    }
}

TEST_F(PrimitivesTest, OnlyTheLow16BitsOfTheStyleCount) {
    Image* a = canvas(64, 8);
    Image* b = canvas(64, 8);
    draw_line(a, 0, 3, 63, 3, ink, 0x5A5A, 0);
    draw_line(b, 0, 3, 63, 3, ink, static_cast<std::int32_t>(0xFFFF5A5Au), 0);
    EXPECT_TRUE(picture::same("high style bits", picture::read(picture::view(*b)), picture::read(picture::view(*a))));
    const Picture drawn = picture::read(picture::view(*a));
    EXPECT_TRUE(picture::same("styled", drawn, with(picture::read(picture::view(*canvas(64, 8))),
                                                    styled(run(0, 3, 63, 3), 0x5A5A), ink)));
}

// The line algorithm written out step by step as a plain reference: rounding,
// region-code clipping with extended precision, then per-pixel drawing with
// the style bit of each position computed directly.
std::vector<Point> reference_line(float fx1, float fy1, float fx2, float fy2, int w, int h, std::uint16_t style) {
    auto to_pixel = [](float v) {
        const double d = v;
        return static_cast<long long>(d > 0 ? std::trunc(d + 0.5) : std::trunc(d - 0.5));
    };
    long long x1 = to_pixel(fx1), y1 = to_pixel(fy1), x2 = to_pixel(fx2), y2 = to_pixel(fy2);
    const long long r = w - 1, b = h - 1;
    auto code = [&](long long x, long long y) { return (x < 0 ? 1 : 0) + (x > r ? 2 : 0) + (y < 0 ? 8 : 0) + (y > b ? 4 : 0); };
    for (;;) {
        int c1 = code(x1, y1), c2 = code(x2, y2);
        if (c1 == 0 && c2 == 0) break;
        if ((c1 & c2) != 0) return {};
        if (c1 == 0) {
            std::swap(x1, x2);
            std::swap(y1, y2);
            std::swap(c1, c2);
        }
        const long double m = x1 == x2 ? 1.0L : static_cast<long double>(y2 - y1) / static_cast<long double>(x2 - x1);
        if (c1 & 1) {
            y1 = static_cast<long long>(std::trunc(y1 + m * (0 - x1)));
            x1 = 0;
        } else if (c1 & 2) {
            y1 = static_cast<long long>(std::trunc(y1 + m * (r - x1)));
            x1 = r;
        } else if (c1 & 8) {
            if (x1 != x2) x1 = static_cast<long long>(std::trunc(x1 + (0 - y1) / m));
            y1 = 0;
        } else {
            if (x1 != x2) x1 = static_cast<long long>(std::trunc(x1 + (b - y1) / m));
            y1 = b;
        }
    }
    std::vector<Point> from_p1;
    if (x1 == x2 || y1 == y2) {
        from_p1 = run(static_cast<int>(x1), static_cast<int>(y1), static_cast<int>(x2), static_cast<int>(y2));
    } else {
        long long dx = std::llabs(x2 - x1), dy = std::llabs(y2 - y1);
        const long long sx = x2 > x1 ? 1 : -1, sy = y2 > y1 ? 1 : -1;
        long long x = x1, y = y1;
        if (dx >= dy) {
            long long e = 2 * dy - dx;
            for (long long i = 0; i <= dx; ++i) {
                from_p1.emplace_back(static_cast<int>(x), static_cast<int>(y));
                if (e >= 0) { y += sy; e -= 2 * dx; }
                x += sx;
                e += 2 * dy;
            }
        } else {
            long long e = 2 * dx - dy;
            for (long long i = 0; i <= dy; ++i) {
                from_p1.emplace_back(static_cast<int>(x), static_cast<int>(y));
                if (e >= 0) { x += sx; e -= 2 * dy; }
                y += sy;
                e += 2 * dx;
            }
        }
    }
    return styled(from_p1, style);
}

TEST_F(PrimitivesTest, RandomLinesMatchTheReference) {
    std::mt19937 rng(20240611);
    const std::pair<int, int> sizes[] = {{97, 61}, {1, 40}, {40, 1}, {16, 16}};
    for (auto [w, h] : sizes) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        Image* image = canvas(w, h);
        std::uniform_real_distribution<float> coord(-2.0f * static_cast<float>(std::max(w, h)),
                                                    3.0f * static_cast<float>(std::max(w, h)));
        std::uniform_int_distribution<int> any_style(0, 0xFFFF);
        std::uniform_int_distribution<int> small(0, 3);
        for (int i = 0; i < 1500; ++i) {
            float x1 = coord(rng), y1 = coord(rng), x2 = coord(rng), y2 = coord(rng);
            // Some horizontal and vertical lines, and whole-number ends.
            if (small(rng) == 0) y2 = y1;
            if (small(rng) == 0) x2 = x1;
            if (small(rng) == 0) { x1 = std::round(x1); x2 = std::round(x2); }
            const std::uint16_t style = small(rng) == 0 ? 0xFFFF : static_cast<std::uint16_t>(any_style(rng));
            const Color c = 0xFF000000u | static_cast<Color>(i * 2654435761u & 0xFFFFFF);
            const Picture before = picture::read(picture::view(*image));
            draw_line(image, x1, y1, x2, y2, c, style, 0);
            const auto expected = with(before, reference_line(x1, y1, x2, y2, w, h, style), c);
            const auto name = "line " + std::to_string(i) + " (" + std::to_string(x1) + ", " + std::to_string(y1) +
                              ")-(" + std::to_string(x2) + ", " + std::to_string(y2) + ") style " + std::to_string(style);
            ASSERT_TRUE(picture::same(name, picture::read(picture::view(*image)), expected));
        }
    }
}

struct Rect {
    int x1, y1, x2, y2;
};

std::vector<Point> rect_points(const std::vector<Rect>& rects) {
    std::vector<Point> points;
    for (const Rect& r : rects) {
        for (int y = r.y1; y <= r.y2; ++y) {
            for (int x = r.x1; x <= r.x2; ++x) points.emplace_back(x, y);
        }
    }
    return points;
}

TEST_F(PrimitivesTest, FilledBoxesOrderTheirCornersAndClip) {
    struct Case {
        const char* name;
        float x1, y1, x2, y2;
        std::vector<Rect> filled;
    };
    const std::vector<Case> cases = {
        {"(20,20)-(420,322)", 20, 20, 420, 322, {{20, 20, 420, 322}}},
        {"(420,322)-(20,20)", 420, 322, 20, 20, {{20, 20, 420, 322}}},
        {"(420,20)-(20,322)", 420, 20, 20, 322, {{20, 20, 420, 322}}},
        {"(20,322)-(420,20)", 20, 322, 420, 20, {{20, 20, 420, 322}}},
        {"rounded corners", 19.5f, 20.4f, 420.49f, 321.5f, {{20, 20, 420, 322}}},
        {"over the top-left corner", -10, -10, 5, 5, {{0, 0, 5, 5}}},
        {"over the bottom-right corner", 630, 470, 700, 500, {{630, 470, 639, 479}}},
        {"larger than the target", -100, -100, 1000, 1000, {{0, 0, 639, 479}}},
        {"one pixel", 5, 5, 5, 5, {{5, 5, 5, 5}}},
        {"left of the target", -10, -10, -1, 400, {}},
        {"right of the target", 640, 0, 700, 10, {}},
        {"above the target", 0, -30, 639, -1, {}},
        {"below the target", 0, 480, 10, 500, {}},
    };
    Image* image = canvas(640, 480);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        picture::write(picture::view(*image), Picture{640, 480, std::vector<Color>(640 * 480, paper)});
        const Picture before = picture::read(picture::view(*image));
        fill_box(image, c.x1, c.y1, c.x2, c.y2, ink, 0x1234, 0);  // the style plays no part in a filled box
        const Picture after = picture::read(picture::view(*image));
        EXPECT_TRUE(picture::same(c.name, after, with(before, rect_points(c.filled), ink)));
    }
    EXPECT_EQ(rect_points({{20, 20, 420, 322}}).size(), 401u * 303u);
}

TEST_F(PrimitivesTest, BoxOutlinesDrawEachEdgeOnlyWhenItsLineIsInside) {
    struct Case {
        const char* name;
        float x1, y1, x2, y2;
        std::vector<Rect> edges;
    };
    const std::vector<Case> cases = {
        {"(20,20)-(420,322)", 20, 20, 420, 322,
         {{20, 20, 420, 20}, {20, 322, 420, 322}, {20, 20, 20, 322}, {420, 20, 420, 322}}},
        {"corners given the other way round", 420, 322, 20, 20,
         {{20, 20, 420, 20}, {20, 322, 420, 322}, {20, 20, 20, 322}, {420, 20, 420, 322}}},
        {"top and left edges outside", -10, -10, 10, 10, {{0, 10, 10, 10}, {10, 0, 10, 10}}},
        {"bottom and right edges outside", 630, 470, 700, 500, {{630, 470, 639, 470}, {630, 470, 630, 479}}},
        {"edges on the first and last rows and columns", 0, 0, 639, 479,
         {{0, 0, 639, 0}, {0, 479, 639, 479}, {0, 0, 0, 479}, {639, 0, 639, 479}}},
        {"all four edges outside", -5, -5, 700, 500, {}},
        {"columns outside, rows inside", -5, 10, 700, 20, {{0, 10, 639, 10}, {0, 20, 639, 20}}},
        {"one pixel", 5, 5, 5, 5, {{5, 5, 5, 5}}},
        {"one column", 3, 9, 3, 4, {{3, 4, 3, 9}}},
        {"wholly outside", 700, 10, 800, 20, {}},
    };
    Image* image = canvas(640, 480);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        picture::write(picture::view(*image), Picture{640, 480, std::vector<Color>(640 * 480, paper)});
        const Picture before = picture::read(picture::view(*image));
        draw_box(image, c.x1, c.y1, c.x2, c.y2, ink, 0xFFFF, 0);
        EXPECT_TRUE(picture::same(c.name, picture::read(picture::view(*image)), with(before, rect_points(c.edges), ink)));
    }
}

// A styled outline: one count runs on through the edges in drawing order
// (bottom row, top row, right column, left column), rows left to right and
// columns top to bottom, over every position of each edge drawn.
std::vector<Point> styled_outline(int x1, int y1, int x2, int y2, int w, int h, std::uint16_t style) {
    const int cx1 = std::max(x1, 0), cy1 = std::max(y1, 0), cx2 = std::min(x2, w - 1), cy2 = std::min(y2, h - 1);
    std::vector<Point> order;
    if (y2 <= h - 1) for (const auto& p : run(cx1, y2, cx2, y2)) order.push_back(p);
    if (y1 >= 0) for (const auto& p : run(cx1, y1, cx2, y1)) order.push_back(p);
    if (x2 <= w - 1) for (const auto& p : run(x2, cy1, x2, cy2)) order.push_back(p);
    if (x1 >= 0) for (const auto& p : run(x1, cy1, x1, cy2)) order.push_back(p);
    return styled(order, style);
}

TEST_F(PrimitivesTest, StyledBoxOutlinesRunTheStyleOnFromEdgeToEdge) {
    struct Case {
        Rect box;
        std::uint16_t style;
    };
    const Case cases[] = {
        {{2, 3, 20, 11}, 0xAAAA}, {{2, 3, 20, 11}, 0xF00F}, {{0, 0, 39, 29}, 0x8000},
        {{-4, 5, 17, 40}, 0xE4E4}, {{5, 5, 5, 5}, 0x7FFF}, {{6, 1, 6, 25}, 0xC3C3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.box.x1) + "," + std::to_string(c.box.y1) + " style " + std::to_string(c.style));
        Image* image = canvas(40, 30);
        const Picture before = picture::read(picture::view(*image));
        draw_box(image, static_cast<float>(c.box.x1), static_cast<float>(c.box.y1), static_cast<float>(c.box.x2),
                 static_cast<float>(c.box.y2), ink, c.style, 0);
        const auto expected = with(before, styled_outline(c.box.x1, c.box.y1, c.box.x2, c.box.y2, 40, 30, c.style), ink);
        EXPECT_TRUE(picture::same("styled box", picture::read(picture::view(*image)), expected));
    }
}

TEST_F(PrimitivesTest, ShapeSelectsLineFilledBoxOrOutline) {
    struct Case {
        std::int32_t shape;
        std::vector<Rect> drawn;
    };
    const std::vector<Case> cases = {
        {0, {{2, 2, 2, 2}, {3, 3, 3, 3}, {4, 4, 4, 4}, {5, 5, 5, 5}, {6, 6, 6, 6}}},
        {2, {{2, 2, 6, 6}}},
        {1, {{2, 2, 6, 2}, {2, 6, 6, 6}, {2, 2, 2, 6}, {6, 2, 6, 6}}},
        {3, {{2, 2, 6, 2}, {2, 6, 6, 6}, {2, 2, 2, 6}, {6, 2, 6, 6}}},
        {-1, {{2, 2, 6, 2}, {2, 6, 6, 6}, {2, 2, 2, 6}, {6, 2, 6, 6}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shape);
        Image* image = canvas(10, 10);
        const Picture before = picture::read(picture::view(*image));
        draw_shape(image, 2, 2, 6, 6, ink, c.shape, 0xFFFF, 0);
        EXPECT_TRUE(picture::same("shape", picture::read(picture::view(*image)), with(before, rect_points(c.drawn), ink)));
    }
}

TEST_F(PrimitivesTest, CoordinateModesAndTheLastPoint) {
    struct Case {
        std::int32_t flags;
        float x1, y1, x2, y2;
        Rect drawn;       // a horizontal run
        Point last;       // where the last point is afterwards
    };
    // Before each call the last point is (100, 50).
    const Case lines[] = {
        {0, 10, 20, 30, 20, {10, 20, 30, 20}, {30, 20}},
        {1, 10, 20, 5, 0, {10, 20, 15, 20}, {15, 20}},
        {2, 10, 0, 130, 50, {110, 50, 130, 50}, {130, 50}},
        {3, 10, 0, 20, 0, {110, 50, 130, 50}, {130, 50}},
        {4, 10, 20, 30, 20, {10, 20, 30, 20}, {30, 20}},
        {5, 10, 0, 130, 50, {110, 50, 130, 50}, {130, 50}},
        {6, 10, 20, 30, 20, {10, 20, 30, 20}, {30, 20}},
        {7, 10, 20, 30, 20, {10, 20, 30, 20}, {30, 20}},
        {static_cast<std::int32_t>(0x80000001u), 10, 20, 5, 0, {10, 20, 15, 20}, {15, 20}},
        {8 | 3, 10, 0, 20, 0, {110, 50, 130, 50}, {130, 50}},  // only bits 0-2 choose the mode
        {1, 100.4f, 20, 0.3f, 0, {100, 20, 101, 20}, {101, 20}},  // 100.4 + 0.3 is summed before rounding
    };
    Image* marks = canvas(200, 100);
    auto last_point = [&]() -> std::optional<Point> {
        picture::write(picture::view(*marks), Picture{200, 100, std::vector<Color>(200 * 100, paper)});
        draw_point(marks, 0, 0, ink, 2, 0);  // lands on the last point itself
        const Picture p = picture::read(picture::view(*marks));
        for (int y = 0; y < 100; ++y) {
            for (int x = 0; x < 200; ++x) {
                if (p.at(x, y) == ink) return Point{x, y};
            }
        }
        return std::nullopt;
    };
    for (const Case& c : lines) {
        SCOPED_TRACE(c.flags);
        Image* image = canvas(200, 100);
        draw_point(marks, 100, 50, ink, 0, 0);
        const Picture before = picture::read(picture::view(*image));
        draw_line(image, c.x1, c.y1, c.x2, c.y2, 0xFF112233u, 0xFFFF, c.flags);
        const Color used = (c.flags & flag_no_colour) != 0 ? 0xFFFFFFFFu : 0xFF112233u;
        EXPECT_TRUE(picture::same("mode", picture::read(picture::view(*image)), with(before, rect_points({c.drawn}), used)));
        EXPECT_EQ(last_point(), c.last);
    }

    struct PointCase {
        std::int32_t flags;
        Point pixel;
    };
    // One point: mode 1 has no second point to move, so it is absolute.
    const PointCase points[] = {{0, {5, 6}}, {1, {5, 6}}, {2, {105, 56}}, {3, {105, 56}},
                                {4, {5, 6}}, {5, {105, 56}}, {6, {5, 6}}, {7, {5, 6}}};
    for (const PointCase& c : points) {
        SCOPED_TRACE(c.flags);
        Image* image = canvas(200, 100);
        draw_point(marks, 100, 50, ink, 0, 0);
        const Picture before = picture::read(picture::view(*image));
        draw_point(image, 5, 6, ink, c.flags, 0);
        EXPECT_TRUE(picture::same("point mode", picture::read(picture::view(*image)), with(before, {c.pixel}, ink)));
        EXPECT_EQ(last_point(), c.pixel);
    }

    // Boxes take the same modes: mode 1 makes the second corner a size.
    Image* image = canvas(200, 100);
    const Picture before = picture::read(picture::view(*image));
    fill_box(image, 10, 10, 5, 5, ink, 0xFFFF, 1);
    EXPECT_TRUE(picture::same("box mode 1", picture::read(picture::view(*image)),
                              with(before, rect_points({{10, 10, 15, 15}}), ink)));
}

TEST_F(PrimitivesTest, DefaultColours) {
    struct Case {
        const char* name;
        std::function<void(Image*, std::int32_t)> draw;
        std::int32_t flags;
        Color expected;
    };
    const std::vector<Case> cases = {
        {"point, colour given", [](Image* i, std::int32_t f) { draw_point(i, 1, 1, 0x01020304u, f, 0); }, 0, 0x01020304u},
        {"point, foreground", [](Image* i, std::int32_t f) { draw_point(i, 1, 1, 0x01020304u, f, 0); }, flag_no_colour,
         0xFFFFFFFFu},
        {"point, background", [](Image* i, std::int32_t f) { draw_point(i, 1, 1, 0x01020304u, f, 1); }, flag_no_colour,
         0xFF000000u},
        {"point, background asked but colour given", [](Image* i, std::int32_t f) { draw_point(i, 1, 1, 0x01020304u, f, 1); },
         0, 0x01020304u},
        {"line, foreground", [](Image* i, std::int32_t f) { draw_line(i, 1, 1, 1, 1, 0x01020304u, 0xFFFF, f); },
         flag_no_colour, 0xFFFFFFFFu},
        {"box, foreground", [](Image* i, std::int32_t f) { draw_box(i, 1, 1, 1, 1, 0x01020304u, 0xFFFF, f); },
         flag_no_colour, 0xFFFFFFFFu},
        {"filled box, foreground", [](Image* i, std::int32_t f) { fill_box(i, 1, 1, 1, 1, 0x01020304u, 0xFFFF, f); },
         flag_no_colour, 0xFFFFFFFFu},
        {"alpha stored as given", [](Image* i, std::int32_t f) { fill_box(i, 1, 1, 1, 1, 0x00FF00FFu, 0xFFFF, f); }, 0,
         0x00FF00FFu},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image* image = canvas(4, 4);
        c.draw(image, c.flags);
        EXPECT_EQ(picture::view(*image).at(1, 1), c.expected);
    }
}

TEST_F(PrimitivesTest, ScreenDrawingGoesToTheWorkPage) {
    screen_set_pages(1, 0);
    const Picture page0 = picture::read(picture::page_view(0));
    const Picture page1 = picture::read(picture::page_view(1));
    fill_box(nullptr, 10, 10, 20, 20, ink, 0xFFFF, 0);
    draw_line(nullptr, 0, 100, 639, 100, ink, 0xFFFF, 0);
    EXPECT_TRUE(picture::same("page 0", picture::read(picture::page_view(0)), page0));
    EXPECT_TRUE(picture::same("page 1", picture::read(picture::page_view(1)),
                              with(page1, rect_points({{10, 10, 20, 20}, {0, 100, 639, 100}}), ink)));
}

// Rows of the visible page whose monitor copy equals the page: the rows the
// last update copied, when the page was first rewritten without flags.
std::set<int> rows_copied(const Picture& monitor_before, const Picture& page) {
    const HeadlessMonitor m = headless_monitor();
    std::set<int> rows;
    for (int y = 0; y < page.height; ++y) {
        bool same_as_page = true, same_as_before = true;
        for (int x = 0; x < page.width; ++x) {
            const Color shown = m.pixels[static_cast<std::size_t>(y) * m.width + x];
            same_as_page = same_as_page && shown == page.at(x, y);
            same_as_before = same_as_before && shown == monitor_before.at(x, y);
        }
        EXPECT_TRUE(same_as_page || same_as_before) << "row " << y << " holds neither the page nor the old monitor";
        if (same_as_page) rows.insert(y);
    }
    return rows;
}

Picture monitor_picture() {
    const HeadlessMonitor m = headless_monitor();
    return Picture{m.width, m.height, m.pixels};
}

std::set<int> row_range(int first, int last) {
    std::set<int> rows;
    for (int y = first; y <= last; ++y) rows.insert(y);
    return rows;
}

TEST_F(PrimitivesTest, DrawingOnTheVisiblePageFlagsTheRowsItWrote) {
    constexpr Color border = 0xFF32327Fu;
    struct Case {
        const char* name;
        std::function<void()> draw;
        std::set<int> rows;
    };
    const std::vector<Case> cases = {
        {"point", [] { draw_point(nullptr, 100.2f, 37, ink, 0, 0); }, {37}},
        {"point outside", [] { draw_point(nullptr, 100, 480, ink, 0, 0); }, {}},
        {"sloped line", [] { draw_line(nullptr, 10, 50, 300, 90, ink, 0xFFFF, 0); }, row_range(50, 90)},
        {"line clipped at the left", [] { draw_line(nullptr, -100, 200, 100, 400, ink, 0xFFFF, 0); }, row_range(300, 400)},
        {"vertical line clipped at the bottom", [] { draw_line(nullptr, 7, 470, 7, 600, ink, 0xFFFF, 0); },
         row_range(470, 479)},
        {"horizontal line", [] { draw_line(nullptr, 0, 5, 700, 5, ink, 0xFFFF, 0); }, {5}},
        {"line outside", [] { draw_line(nullptr, -10, -10, -5, -20, ink, 0xFFFF, 0); }, {}},
        {"filled box", [] { fill_box(nullptr, 10, 10, 20, 30, ink, 0xFFFF, 0); }, row_range(10, 30)},
        {"outline over the top edge", [] { draw_box(nullptr, -5, -5, 700, 100, ink, 0xFFFF, 0); }, row_range(0, 100)},
        {"flood fill inside an outline", [] { flood_fill(nullptr, 150, 230, ink, border, "", 0, 0); },
         row_range(201, 259)},
        {"flood fill with a pattern", [] { flood_fill(nullptr, 150, 230, ink, border, "0123456789", 1, 0); },
         row_range(201, 259)},
        {"flood fill started on the border", [] { flood_fill(nullptr, 100, 230, ink, border, "", 0, 0); }, {}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(headless_wait_cycles(2));
        // A fresh page content that no earlier case left on the monitor, with
        // an outline for the flood fills; written without flags.
        Picture page{640, 480, std::vector<Color>(640 * 480, 0xFF000001u + static_cast<Color>(i) * 0x010203u)};
        for (const auto& p : rect_points({{100, 200, 300, 200}, {100, 260, 300, 260}, {100, 200, 100, 260},
                                          {300, 200, 300, 260}})) {
            page.at(p.first, p.second) = border;
        }
        picture::write(picture::page_view(0), page);
        const std::uint64_t presents = headless_present_count();
        ASSERT_TRUE(headless_wait_cycles(2));
        EXPECT_EQ(headless_present_count(), presents) << "writing the page directly set flags";
        const Picture monitor_before = monitor_picture();

        c.draw();
        ASSERT_TRUE(headless_wait_cycles(2));
        EXPECT_EQ(rows_copied(monitor_before, picture::read(picture::page_view(0))), c.rows);
        if (c.rows.empty()) {
            EXPECT_EQ(headless_present_count(), presents);
        }
    }
}

// Drawing onto the page being shown while the update thread copies it: every
// write is under the display lock (a race here is what the thread sanitizer
// run looks for), and once the updates catch up the monitor shows the page.
TEST_F(PrimitivesTest, DrawingOnThePageBeingShown) {
    for (int i = 0; i < 200; ++i) {
        const Color c = 0xFF000000u | static_cast<Color>(i * 0x030507);
        const float f = static_cast<float>(i);
        fill_box(nullptr, f, f, 639 - f, 479 - f, c, 0xFFFF, 0);
        draw_box(nullptr, f, 0, 639, 479 - f, ~c, 0xF0F0, 0);
        draw_line(nullptr, 0, f, 639, 479 - f, ~c, 0xFFFF, 0);
        draw_line(nullptr, f, 0, f, 479, c ^ 0xFF, 0xFFFF, 0);
        draw_line(nullptr, 0, f, 639, f, c ^ 0xFF00, 0x0FF0, 0);
        draw_point(nullptr, f, 2 * f, ~c, 0, 0);
        if (i % 20 == 0) flood_fill(nullptr, 320, 240, c ^ 0xFF0000, ~c, "", 0, 0);
    }
    ASSERT_TRUE(headless_wait_cycles(2));
    EXPECT_TRUE(picture::same("monitor", monitor_picture(), picture::read(picture::page_view(0))));
}

TEST_F(PrimitivesTest, DrawingElsewhereFlagsNothing) {
    Image* image = canvas(640, 480);
    struct Case {
        const char* name;
        Image* target;
        std::int32_t work_page;
    };
    const Case cases[] = {{"the work page while the other is visible", nullptr, 1}, {"an Image", image, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        screen_set_pages(c.work_page, 0);
        ASSERT_TRUE(headless_wait_cycles(2));
        const std::uint64_t presents = headless_present_count();
        const Picture monitor = monitor_picture();
        const Picture target_before = picture::read(c.target ? picture::view(*c.target) : picture::page_view(1));
        draw_point(c.target, 5, 5, ink, 0, 0);
        draw_line(c.target, 0, 0, 639, 479, ink, 0xFFFF, 0);
        draw_line(c.target, 0, 7, 639, 7, ink, 0xFFFF, 0);
        fill_box(c.target, 100, 100, 200, 200, ink, 0xFFFF, 0);
        draw_box(c.target, 300, 100, 400, 200, ink, 0xFFFF, 0);
        flood_fill(c.target, 350, 150, 0xFF445566u, ink, "", 0, 0);
        ASSERT_TRUE(headless_wait_cycles(3));
        EXPECT_EQ(headless_present_count(), presents);
        EXPECT_TRUE(picture::same("monitor", monitor_picture(), monitor));
        // And the drawing did happen, on the target.
        EXPECT_NE(picture::read(c.target ? picture::view(*c.target) : picture::page_view(1)), target_before);
    }
}

TEST_F(PrimitivesTest, NothingIsDrawnWithoutAScreen) {
    Image* image = canvas(64, 64);
    const auto bytes = image_bytes(*image);
    const std::vector<std::uint8_t> before(bytes.begin(), bytes.end());
    screen_close();
    for (Image* target : {image, static_cast<Image*>(nullptr)}) {
        draw_point(target, 3, 3, ink, 0, 0);
        draw_line(target, 0, 0, 63, 63, ink, 0xFFFF, 0);
        fill_box(target, 0, 0, 63, 63, ink, 0xFFFF, 0);
        draw_box(target, 0, 0, 63, 63, ink, 0xFFFF, 0);
        flood_fill(target, 5, 5, ink, 0, "", 0, 0);
    }
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), before);
}

TEST(FillSpan, StoresExactlyCountPixelsAtAnyAlignment) {
    constexpr std::uint8_t guard = 0xA5;
    constexpr std::size_t margin = 64;
    const Color colours[] = {0x11223344u, 0xFFFF00FFu, 0x00000000u, 0x5AA5C33Cu};
    std::vector<std::int32_t> counts;
    for (std::int32_t n = -1; n <= 70; ++n) counts.push_back(n);
    for (std::int32_t n : {127, 128, 129, 255, 256, 257, 1000, 4099}) counts.push_back(n);
    for (std::int32_t bpp : {1, 2, 4}) {
        for (Color colour : colours) {
            for (std::size_t offset = 0; offset < 16; ++offset) {
                for (std::int32_t count : counts) {
                    const std::size_t bytes = static_cast<std::size_t>(std::max(count, 0)) * bpp;
                    std::vector<std::uint8_t> buffer(bytes + 2 * margin + 16, guard);
                    std::uint8_t* start = buffer.data() + margin + offset;
                    detail::fill_span(start, colour, count, bpp);
                    std::size_t wrong = 0;
                    for (std::size_t i = 0; i < buffer.size(); ++i) {
                        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(i) - static_cast<std::ptrdiff_t>(margin + offset);
                        const bool inside = at >= 0 && static_cast<std::size_t>(at) < bytes;
                        const std::uint8_t expected =
                            inside ? static_cast<std::uint8_t>(colour >> (8 * (static_cast<std::size_t>(at) % bpp))) : guard;
                        wrong += buffer[i] != expected;
                    }
                    ASSERT_EQ(wrong, 0u) << "bpp " << bpp << " colour " << std::hex << colour << std::dec << " offset "
                                         << offset << " count " << count;
                }
            }
        }
    }
}

}  // namespace
