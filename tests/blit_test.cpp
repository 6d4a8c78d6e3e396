#include <gtest/gtest.h>

#include "support/headless_screen.hpp"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/backends/headless.hpp"
#include "gfx/blit.hpp"
#include "gfx/draw_state.hpp"
#include "gfx/image.hpp"
#include "gfx/screen.hpp"
#include "gfx/surface.hpp"

using namespace gfx;

namespace {

constexpr Color background = 0xFF102030u;

// A pixel value that tells its source position apart from every other one
// and from the transparent key.
Color pattern(int x, int y) { return 0x80000000u | (static_cast<Color>(y) << 12) | static_cast<Color>(x); }

struct View {
    std::uint8_t* pixels;
    int width, height, pitch;
    Color at(int x, int y) const {
        Color c;
        std::memcpy(&c, pixels + static_cast<std::ptrdiff_t>(y) * pitch + 4 * x, 4);
        return c;
    }
    void set(int x, int y, Color c) { std::memcpy(pixels + static_cast<std::ptrdiff_t>(y) * pitch + 4 * x, &c, 4); }
};

View view(Image& image) {
    const auto g = detail::image_target_geometry(image, 4);
    EXPECT_TRUE(g.has_value());
    return {image.block.get() + g->header, g->width, g->height, g->pitch};
}

View page_view(int page) {
    const auto s = detail::screen_page_surface(page);
    EXPECT_TRUE(s.has_value());
    return {s->pixels, s->width, s->height, s->pitch};
}

Image* patterned_image(int w, int h) {
    Image* image = image_create(w, h, 0, 0, 0);
    if (image == nullptr) return nullptr;
    View v = view(*image);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) v.set(x, y, pattern(x, y));
    }
    return image;
}

void fill(View v, Color c) {
    DisplayLock lock;
    for (int y = 0; y < v.height; ++y) {
        for (int x = 0; x < v.width; ++x) v.set(x, y, c);
    }
}

class BlitTest : public HeadlessScreenTest {};

// Where a blit must land: target rectangle (dx, dy, w, h) filled from source
// pixel (sx, sy) on; everything else keeps the background.
struct Placement {
    int dx, dy, w, h, sx, sy;
};

struct PlacementCase {
    const char* name;
    int src_w, src_h;
    bool onto_image;  // false: the screen's work page (640 x 480); true: a 100 x 80 Image
    float x, y;
    std::int32_t x1, y1, x2, y2, coord_mode;
    float last_x, last_y;  // the last point before the call
    Placement expected;     // w == 0: nothing drawn
    float after_x, after_y;  // the last point after the call
};

constexpr std::int32_t all = whole_source;

const PlacementCase placement_cases[] = {
    {"LargeSourceUpLeft", 801, 601, false, -15, -15, all, all, all, all, 0, 0, 0, {0, 0, 640, 480, 15, 15}, -15, -15},
    {"LargeSourceUp", 801, 601, false, 0, -105, all, all, all, all, 0, 0, 0, {0, 0, 640, 480, 0, 105}, 0, -105},
    {"RightOfScreen", 64, 64, false, 700, 0, all, all, all, all, 0, 0, 0, {0, 0, 0, 0, 0, 0}, 700, 0},
    {"JustRightOfScreen", 64, 64, false, 640, 10, all, all, all, all, 0, 0, 0, {0, 0, 0, 0, 0, 0}, 640, 10},
    {"AboveScreen", 64, 64, false, 5, -64, all, all, all, all, 0, 0, 0, {0, 0, 0, 0, 0, 0}, 5, -64},
    {"BelowScreen", 64, 64, false, 5, 480, all, all, all, all, 0, 0, 0, {0, 0, 0, 0, 0, 0}, 5, 480},
    {"LeftRoundsAway", 64, 64, false, -63.5f, 0, all, all, all, all, 0, 0, 0, {0, 0, 0, 0, 0, 0}, -63.5f, 0},
    {"LeftOneColumn", 64, 64, false, -63.4f, 0, all, all, all, all, 0, 0, 0, {0, 0, 1, 64, 63, 0}, -63.4f, 0},
    {"BottomRightClip", 64, 64, false, 600, 450, all, all, all, all, 0, 0, 0, {600, 450, 40, 30, 0, 0}, 600, 450},
    {"HalvesAwayFromZero", 64, 64, false, 10.5f, 20.4f, all, all, all, all, 0, 0, 0, {11, 20, 64, 64, 0, 0}, 10.5f,
     20.4f},
    {"NegativeHalves", 64, 64, false, -0.5f, -0.5f, all, all, all, all, 0, 0, 0, {0, 0, 63, 63, 1, 1}, -0.5f, -0.5f},
    {"ReversedRectangle", 64, 64, false, 100, 100, 10, 10, 5, 5, 0, 0, 0, {100, 100, 6, 6, 5, 5}, 100, 100},
    {"RectangleClampedToRow", 64, 64, false, 0, 0, -3, 0, 1000, 0, 0, 0, 0, {0, 0, 64, 1, 0, 0}, 0, 0},
    {"RectangleClampedBothAxes", 64, 64, false, 20, 30, 70, 90, 60, 50, 0, 0, 0, {20, 30, 4, 14, 60, 50}, 20, 30},
    {"RectangleOutsideClampsToEdge", 64, 64, false, 0, 0, 100, 100, 200, 200, 0, 0, 0, {0, 0, 1, 1, 63, 63}, 0, 0},
    {"SinglePixelRectangle", 64, 64, false, 639, 479, 7, 9, 7, 9, 0, 0, 0, {639, 479, 1, 1, 7, 9}, 639, 479},
    {"RelativeCorner", 64, 64, false, 30, 40, 5, 6, 3, 2, 1, 0, 0, {30, 40, 4, 3, 5, 6}, 30, 40},
    {"RelativeCornerReversed", 64, 64, false, 30, 40, 10, 10, -4, -2, 1, 0, 0, {30, 40, 5, 3, 6, 8}, 30, 40},
    {"RelativePosition", 64, 64, false, 10, -5, all, all, all, all, 2, 100.25f, 50.5f, {110, 46, 64, 64, 0, 0},
     110.25f, 45.5f},
    {"RelativeBoth", 64, 64, false, 1.5f, 2, 2, 3, 1, 1, 3, 20, 30, {22, 32, 2, 2, 2, 3}, 21.5f, 32},
    {"AbsoluteIgnoresLastPoint", 64, 64, false, 10, 10, all, all, all, all, 0, 300, 300, {10, 10, 64, 64, 0, 0}, 10,
     10},
    {"UnknownCoordModeIsAbsolute", 64, 64, false, 10, 10, 0, 0, 1, 1, 7, 300, 300, {10, 10, 2, 2, 0, 0}, 10, 10},
    {"ImageTargetClipsAllSides", 120, 90, true, -10, -5, all, all, all, all, 0, 0, 0, {0, 0, 100, 80, 10, 5}, -10,
     -5},
    {"ImageTargetInside", 20, 10, true, 79, 69, all, all, all, all, 0, 0, 0, {79, 69, 20, 10, 0, 0}, 79, 69},
    {"ImageTargetRightEdge", 20, 10, true, 100, 0, all, all, all, all, 0, 0, 0, {0, 0, 0, 0, 0, 0}, 100, 0},
};

class BlitPlacement : public BlitTest, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(BlitPlacement, CopiesExactlyTheClippedRectangle) {
    const PlacementCase& c = GetParam();
    Image* source = keep(patterned_image(c.src_w, c.src_h));
    Image* target = c.onto_image ? keep(image_create(100, 80, background, 0, 0)) : nullptr;
    View out = c.onto_image ? view(*target) : page_view(0);
    fill(out, background);
    detail::draw_state().last_x = c.last_x;
    detail::draw_state().last_y = c.last_y;

    ASSERT_EQ(blit(target, c.x, c.y, source, c.x1, c.y1, c.x2, c.y2, c.coord_mode, BlitMode::Copy, -1), Status::Ok);

    const Placement& e = c.expected;
    int wrong = 0;
    std::vector<Color> want(static_cast<std::size_t>(out.width));
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            const bool inside = x >= e.dx && x < e.dx + e.w && y >= e.dy && y < e.dy + e.h;
            want[static_cast<std::size_t>(x)] = inside ? pattern(e.sx + x - e.dx, e.sy + y - e.dy) : background;
        }
        if (std::memcmp(out.pixels + static_cast<std::ptrdiff_t>(y) * out.pitch, want.data(), want.size() * 4) == 0) {
            continue;
        }
        for (int x = 0; x < out.width; ++x) {
            if (out.at(x, y) != want[static_cast<std::size_t>(x)] && wrong++ < 5) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << out.at(x, y) << ", want "
                              << want[static_cast<std::size_t>(x)];
            }
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(detail::draw_state().last_x, c.after_x);
    EXPECT_EQ(detail::draw_state().last_y, c.after_y);
}

INSTANTIATE_TEST_SUITE_P(Cases, BlitPlacement, ::testing::ValuesIn(placement_cases),
                         [](const auto& info) { return std::string(info.param.name); });

struct ModeCase {
    const char* name;
    BlitMode mode;
    std::int32_t alpha;
    Color s, d, expected;
};

// Expected values worked out by hand from each mode's formula.
const ModeCase mode_cases[] = {
    {"CopyKeepsAll32Bits", BlitMode::Copy, -1, 0x12345678u, 0xFF000000u, 0x12345678u},
    {"CopyPaintsKey", BlitMode::Copy, 0, 0xFFFF00FFu, 0xFF000000u, 0xFFFF00FFu},
    {"TransparentClearsAlpha", BlitMode::Transparent, -1, 0xFF7F7FD7u, 0xFF000000u, 0x007F7FD7u},
    {"TransparentSkipsOpaqueKey", BlitMode::Transparent, -1, 0xFFFF00FFu, 0xFF123456u, 0xFF123456u},
    {"TransparentSkipsClearKey", BlitMode::Transparent, -1, 0x00FF00FFu, 0xFF123456u, 0xFF123456u},
    {"TransparentSkipsKeyAnyAlpha", BlitMode::Transparent, -1, 0x5AFF00FFu, 0xFF123456u, 0xFF123456u},
    {"TransparentNearKeyIsDrawn", BlitMode::Transparent, -1, 0xFFFF00FEu, 0xFF123456u, 0x00FF00FEu},
    {"Blend66WhiteOverBlack", BlitMode::Blend, 66, 0xFFFFFFFFu, 0xFF000000u, 0xFF424242u},
    {"Blend66Downwards", BlitMode::Blend, 66, 0x00000000u, 0xFFFFFFFFu, 0xBCBCBCBCu},
    {"Blend128Downwards", BlitMode::Blend, 128, 0x00000000u, 0xFFFFFFFFu, 0x7E7E7E7Eu},
    {"Blend255CopiesSource", BlitMode::Blend, 255, 0x12345678u, 0xFFEEDDCCu, 0x12345678u},
    {"BlendMinus1CopiesSource", BlitMode::Blend, -1, 0x12345678u, 0xFFEEDDCCu, 0x12345678u},
    {"Blend0IsTransparent", BlitMode::Blend, 0, 0xFF7F7FD7u, 0xFF000000u, 0x007F7FD7u},
    {"Blend0SkipsKey", BlitMode::Blend, 0, 0xFFFF00FFu, 0xFF123456u, 0xFF123456u},
    {"Blend66SkipsKey", BlitMode::Blend, 66, 0x80FF00FFu, 0xFF123456u, 0xFF123456u},
    {"Blend256IsWeakest", BlitMode::Blend, 256, 0xFFFFFFFFu, 0x00000000u, 0x00000000u},
    {"Blend256MovesDownOneStep", BlitMode::Blend, 256, 0x00000000u, 0xFFFFFFFFu, 0xFEFEFEFEu},
    {"Add255HalfPlusHalf", BlitMode::Add, 255, 0x80808080u, 0x80808080u, 0xFFFFFFFFu},
    {"Add255WhiteOverBlack", BlitMode::Add, 255, 0xFFFFFFFFu, 0xFF000000u, 0xFFFEFEFEu},
    {"Add255Saturates", BlitMode::Add, 255, 0xC8C8C8C8u, 0x64646464u, 0xFFFFFFFFu},
    {"AddMinus1Is255", BlitMode::Add, -1, 0x01020300u, 0x10101010u, 0x10111210u},
    {"Add128Halves", BlitMode::Add, 128, 0x10203041u, 0x01010101u, 0x09111921u},
    {"Add0ChangesNothing", BlitMode::Add, 0, 0xFFFFFFFFu, 0x11223344u, 0x11223344u},
    {"Add256ChangesNothing", BlitMode::Add, 256, 0xFFFFFFFFu, 0x11223344u, 0x11223344u},
    {"AddSkipsKey", BlitMode::Add, 255, 0x00FF00FFu, 0x11223344u, 0x11223344u},
    {"AlphaHalfRedOverBlue", BlitMode::Alpha, -1, 0x80FF0000u, 0xFF0000FFu, 0xBF7F007Fu},
    {"AlphaOpaqueGreenOverBlack", BlitMode::Alpha, -1, 0xFF00FF00u, 0xFF000000u, 0xFF00FE00u},
    {"AlphaClearLeavesTarget", BlitMode::Alpha, -1, 0x00FFFFFFu, 0xFF123456u, 0xFF123456u},
    {"AlphaIgnoresArgument", BlitMode::Alpha, 0, 0x80FF0000u, 0xFF0000FFu, 0xBF7F007Fu},
    {"AlphaMixesKeyToo", BlitMode::Alpha, -1, 0xFFFF00FFu, 0xFF000000u, 0xFFFE00FEu},
    {"AlphaOpaqueDownwardsIsExact", BlitMode::Alpha, -1, 0xFF102030u, 0xFFFFFFFFu, 0xFF102030u},
};

class BlitModes : public BlitTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(BlitModes, CombinesByTheFormula) {
    const ModeCase& c = GetParam();
    Image* source = keep(image_create(1, 1, c.s, 0, 0));
    Image* target = keep(image_create(3, 3, c.d, 0, 0));
    ASSERT_EQ(blit(target, 1, 1, source, all, all, all, all, 0, c.mode, c.alpha), Status::Ok);
    const View out = view(*target);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) {
            const Color want = (x == 1 && y == 1) ? c.expected : c.d;
            EXPECT_EQ(out.at(x, y), want) << std::hex << "pixel (" << x << ", " << y << ")";
        }
    }
}

TEST_P(BlitModes, SameResultOnTheScreen) {
    const ModeCase& c = GetParam();
    Image* source = keep(image_create(1, 1, c.s, 0, 0));
    View out = page_view(0);
    fill(out, c.d);
    ASSERT_EQ(blit(nullptr, 320, 240, source, all, all, all, all, 0, c.mode, c.alpha), Status::Ok);
    EXPECT_EQ(out.at(320, 240), c.expected);
    EXPECT_EQ(out.at(319, 240), c.d);
    EXPECT_EQ(out.at(321, 240), c.d);
}

INSTANTIATE_TEST_SUITE_P(Cases, BlitModes, ::testing::ValuesIn(mode_cases),
                         [](const auto& info) { return std::string(info.param.name); });

struct DefaultFillCase {
    const char* name;
    BlitMode mode;
    std::int32_t alpha;
    Color expected;  // over a target of `background`
};

const DefaultFillCase default_fill_cases[] = {
    {"CopyPaintsOpaqueMagenta", BlitMode::Copy, -1, 0xFFFF00FFu},
    {"TransparentLeavesTarget", BlitMode::Transparent, -1, background},
    {"BlendLeavesTarget", BlitMode::Blend, 66, background},
    {"BlendZeroLeavesTarget", BlitMode::Blend, 0, background},
    {"AddLeavesTarget", BlitMode::Add, 255, background},
};

class BlitDefaultFill : public BlitTest, public ::testing::WithParamInterface<DefaultFillCase> {};

TEST_P(BlitDefaultFill, KeyedModesSkipAFreshImage) {
    const DefaultFillCase& c = GetParam();
    Image* source = keep(image_create(40, 30, 0, 0, flag_no_colour));
    Image* target = keep(image_create(50, 40, background, 0, 0));
    ASSERT_EQ(blit(target, 5, 5, source, all, all, all, all, 0, c.mode, c.alpha), Status::Ok);
    const View out = view(*target);
    int wrong = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 50; ++x) {
            const bool inside = x >= 5 && x < 45 && y >= 5 && y < 35;
            wrong += out.at(x, y) != (inside ? c.expected : background);
        }
    }
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, BlitDefaultFill, ::testing::ValuesIn(default_fill_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Source rows in the 32-byte header form with padding beyond the width.
TEST_F(BlitTest, LongHeaderSourceUsesItsPitch) {
    Image* source = keep(image_create(1, 1, 0, 0, 0));
    const int w = 5, h = 3, pitch = 32;
    ASSERT_TRUE(detail::image_reserve(*source, 32 + h * pitch));
    std::uint8_t* b = source->block.get();
    const std::int32_t header[5] = {7, 4, w, h, pitch};
    std::memcpy(b, header, sizeof header);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < pitch / 4; ++x) {
            const Color c = x < w ? pattern(x, y) : 0x11111111u;
            std::memcpy(b + 32 + y * pitch + 4 * x, &c, 4);
        }
    }
    Image* target = keep(image_create(10, 10, background, 0, 0));
    ASSERT_EQ(blit(target, 2, 3, source, all, all, all, all, 0, BlitMode::Copy, -1), Status::Ok);
    const View out = view(*target);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 2 && x < 2 + w && y >= 3 && y < 3 + h;
            EXPECT_EQ(out.at(x, y), inside ? pattern(x - 2, y - 3) : background) << x << "," << y;
        }
    }
}

TEST_F(BlitTest, ShortHeaderWithoutPixelSizeTakesTheTargets) {
    Image* source = keep(image_create(2, 2, 0xFF445566u, 0, 0));
    source->block[0] &= 0xF8;
    Image* target = keep(image_create(4, 4, background, 0, 0));
    ASSERT_EQ(blit(target, 1, 1, source, all, all, all, all, 0, BlitMode::Copy, -1), Status::Ok);
    EXPECT_EQ(view(*target).at(2, 2), 0xFF445566u);
    EXPECT_EQ(view(*target).at(3, 3), background);
}

struct HeaderCase {
    const char* name;
    std::vector<std::uint8_t> header;  // written over the start of a 16 x 16 Image's block
    bool bad_as_target;  // a target's short form ignores its own pixel-size bits
};

// The block of a 16 x 16 Image is 4 + 1024 bytes.
const HeaderCase bad_headers[] = {
    {"ShortFormPixelSize3", {0x83, 0x00, 0x10, 0x00}, false},
    {"ShortFormTooWide", {0xFC, 0xFF, 0x10, 0x00}, true},
    {"ShortFormTooTall", {0x84, 0x00, 0xFF, 0xFF}, true},
    {"LongFormPixelSize8", {7, 0, 0, 0, 8, 0, 0, 0, 16, 0, 0, 0, 16, 0, 0, 0, 64, 0, 0, 0}, true},
    {"LongFormHuge", {7, 0, 0, 0, 4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F, 0xFC, 0xFF, 0xFF, 0x7F}, true},
    {"LongFormNegativeWidth", {7, 0, 0, 0, 4, 0, 0, 0, 0xF0, 0xFF, 0xFF, 0xFF, 4, 0, 0, 0, 64, 0, 0, 0}, true},
    {"LongFormNegativePitch", {7, 0, 0, 0, 4, 0, 0, 0, 4, 0, 0, 0, 4, 0, 0, 0, 0xC0, 0xFF, 0xFF, 0xFF}, true},
    {"LongFormPitchBelowWidth", {7, 0, 0, 0, 4, 0, 0, 0, 16, 0, 0, 0, 4, 0, 0, 0, 60, 0, 0, 0}, true},
    {"LongFormRowsBeyondBlock", {7, 0, 0, 0, 4, 0, 0, 0, 16, 0, 0, 0, 16, 0, 0, 0, 64, 0, 0, 0}, true},
};

class BlitBadHeader : public BlitTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(BlitBadHeader, SourceIsRefusedAndNothingDrawn) {
    Image* source = keep(image_create(16, 16, 0xFF00FF00u, 0, 0));
    std::memcpy(source->block.get(), GetParam().header.data(), GetParam().header.size());
    Image* target = keep(image_create(32, 32, background, 0, 0));
    const std::vector<std::uint8_t> before(image_bytes(*target).begin(), image_bytes(*target).end());
    for (BlitMode mode : {BlitMode::Copy, BlitMode::Transparent, BlitMode::Alpha, BlitMode::Add, BlitMode::Blend}) {
        EXPECT_EQ(blit(target, 0, 0, source, all, all, all, all, 0, mode, 255), Status::IllegalCall);
        EXPECT_EQ(blit(target, 0, 0, source, 0, 0, 3, 3, 0, mode, 255), Status::IllegalCall);
    }
    const std::vector<std::uint8_t> after(image_bytes(*target).begin(), image_bytes(*target).end());
    EXPECT_EQ(before, after);
}

TEST_P(BlitBadHeader, TargetIsRefusedAndNothingDrawn) {
    Image* source = keep(image_create(8, 8, 0xFF00FF00u, 0, 0));
    Image* target = keep(image_create(16, 16, background, 0, 0));
    std::memcpy(target->block.get(), GetParam().header.data(), GetParam().header.size());
    const std::vector<std::uint8_t> before(image_bytes(*target).begin(), image_bytes(*target).end());
    const Status status = blit(target, 0, 0, source, all, all, all, all, 0, BlitMode::Copy, -1);
    const std::vector<std::uint8_t> after(image_bytes(*target).begin(), image_bytes(*target).end());
    if (GetParam().bad_as_target) {
        EXPECT_EQ(status, Status::IllegalCall);
        EXPECT_EQ(before, after);
    } else {
        EXPECT_EQ(status, Status::Ok);
        EXPECT_NE(before, after);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, BlitBadHeader, ::testing::ValuesIn(bad_headers),
                         [](const auto& info) { return std::string(info.param.name); });

// A header may describe an Image with no pixels at all: valid, nothing to draw.
TEST_F(BlitTest, EmptySourceDrawsNothingAndIsOk) {
    const std::vector<std::vector<std::uint8_t>> headers = {
        {0x04, 0x00, 0x10, 0x00},                                                // short form, width 0
        {0x24, 0x00, 0x00, 0x00},                                                // short form, height 0
        {7, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0},            // long form, width 0
        {7, 0, 0, 0, 4, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0},           // long form, height 0
    };
    for (const auto& header : headers) {
        Image* source = keep(image_create(16, 16, 0xFF00FF00u, 0, 0));
        std::memcpy(source->block.get(), header.data(), header.size());
        Image* target = keep(image_create(8, 8, background, 0, 0));
        EXPECT_EQ(blit(target, 0, 0, source, all, all, all, all, 0, BlitMode::Copy, -1), Status::Ok);
        EXPECT_EQ(blit(target, 0, 0, source, 0, 0, 5, 5, 0, BlitMode::Copy, -1), Status::Ok);
        EXPECT_EQ(view(*target).at(0, 0), background) << "header of " << header.size() << " bytes";
    }
}

TEST_F(BlitTest, PixelSizeMismatchIsRefusedAfterSettingTheLastPoint) {
    Image* source = keep(image_create(4, 4, 0xFF00FF00u, 0, 0));
    source->block[0] = static_cast<std::uint8_t>((source->block[0] & 0xF8) | 2);  // says 2 bytes per pixel
    Image* target = keep(image_create(8, 8, background, 0, 0));
    detail::draw_state().last_x = 0;
    detail::draw_state().last_y = 0;
    EXPECT_EQ(blit(target, 3, 4, source, all, all, all, all, 0, BlitMode::Copy, -1), Status::IllegalCall);
    EXPECT_EQ(blit(nullptr, 3, 4, source, all, all, all, all, 0, BlitMode::Copy, -1), Status::IllegalCall);
    EXPECT_EQ(detail::draw_state().last_x, 3.0f);
    EXPECT_EQ(detail::draw_state().last_y, 4.0f);
    const View out = view(*target);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) EXPECT_EQ(out.at(x, y), background);
    }
    EXPECT_EQ(page_view(0).at(3, 4), 0xFF000000u);
}

TEST_F(BlitTest, RefusedCalls) {
    Image* source = keep(image_create(4, 4, 0xFF00FF00u, 0, 0));
    Image* target = keep(image_create(8, 8, background, 0, 0));
    EXPECT_EQ(blit(target, 0, 0, nullptr, all, all, all, all, 0, BlitMode::Copy, -1), Status::IllegalCall);
    EXPECT_EQ(blit(target, 0, 0, source, all, all, all, all, 0, static_cast<BlitMode>(2), -1), Status::IllegalCall);
    EXPECT_EQ(blit(target, 0, 0, source, all, all, all, all, 0, static_cast<BlitMode>(-1), -1), Status::IllegalCall);
    EXPECT_EQ(view(*target).at(0, 0), background);
    EXPECT_EQ(blit(target, 0, 0, source, all, all, all, all, 0, BlitMode::Copy, -1), Status::Ok);
    EXPECT_EQ(view(*target).at(0, 0), 0xFF00FF00u);
}

TEST_F(BlitTest, NoScreenIsRefused) {
    Image* source = keep(image_create(4, 4, 0xFF00FF00u, 0, 0));
    Image* target = keep(image_create(8, 8, background, 0, 0));
    screen_close();
    EXPECT_EQ(blit(target, 0, 0, source, all, all, all, all, 0, BlitMode::Copy, -1), Status::IllegalCall);
    EXPECT_EQ(blit(nullptr, 0, 0, source, all, all, all, all, 0, BlitMode::Copy, -1), Status::IllegalCall);
    EXPECT_EQ(view(*target).at(0, 0), background);
}

// Drawing an Image onto itself reads the source rectangle as it was before the
// call, whichever way the rectangles overlap.
TEST_F(BlitTest, OverlappingSelfBlitReadsTheOldPixels) {
    struct Shift {
        int dx, dy;
    };
    for (const Shift shift : {Shift{1, 0}, Shift{-1, 0}, Shift{0, 1}, Shift{0, -1}, Shift{3, 2}, Shift{-5, -7}}) {
        for (BlitMode mode : {BlitMode::Copy, BlitMode::Add, BlitMode::Alpha}) {
            Image* image = patterned_image(40, 30);
            Image* reference = patterned_image(40, 30);
            Image* expected = patterned_image(40, 30);
            ASSERT_EQ(blit(expected, static_cast<float>(10 + shift.dx), static_cast<float>(8 + shift.dy), reference,
                           10, 8, 29, 21, 0, mode, 255),
                      Status::Ok);
            ASSERT_EQ(blit(image, static_cast<float>(10 + shift.dx), static_cast<float>(8 + shift.dy), image, 10, 8,
                           29, 21, 0, mode, 255),
                      Status::Ok);
            const auto a = image_bytes(*image), b = image_bytes(*expected);
            EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end()))
                << "shift " << shift.dx << "," << shift.dy << " mode " << static_cast<int>(mode);
            image_destroy(image);
            image_destroy(reference);
            image_destroy(expected);
        }
    }
}

class BlitRowFlags : public BlitTest {
protected:
    // Puts `c` into every pixel of a page without setting row-changed flags,
    // so the monitor shows it only for rows that get flagged later.
    static void poke_page(int page, Color c) { fill(page_view(page), c); }
    static Color shown(int x, int y) {
        const HeadlessMonitor m = headless_monitor();
        return m.pixels.at(static_cast<std::size_t>(y) * m.width + x);
    }
};

TEST_F(BlitRowFlags, VisibleTargetFlagsExactlyTheRowsWritten) {
    struct Case {
        float y;
        int h;
        int first, last;  // rows that must be flagged
    };
    const Case cases[] = {{100, 10, 100, 109}, {475, 10, 475, 479}, {-3, 5, 0, 1}};
    Color poked = 0xFF0A0B0Cu;
    for (const Case& c : cases) {
        poked += 0x010101u;  // differs from whatever the monitor shows from before
        screen_set_pages(0, 0);
        ASSERT_TRUE(headless_wait_cycles(2));
        const HeadlessMonitor before = headless_monitor();
        poke_page(0, poked);
        Image* source = keep(image_create(20, c.h, 0xFF00FF00u, 0, 0));
        ASSERT_EQ(blit(nullptr, 50, c.y, source, all, all, all, all, 0, BlitMode::Copy, -1), Status::Ok);
        ASSERT_TRUE(headless_wait_cycles(2));
        const HeadlessMonitor after = headless_monitor();
        for (int y = 0; y < 480; ++y) {
            const bool flagged = y >= c.first && y <= c.last;
            const auto row = static_cast<std::size_t>(y) * 640;
            EXPECT_EQ(after.pixels[row], flagged ? poked : before.pixels[row]) << "row " << y;
            if (flagged) {
                EXPECT_EQ(after.pixels[row + 50], 0xFF00FF00u) << "row " << y;
            }
        }
    }
}

TEST_F(BlitRowFlags, HiddenPageAndImagesFlagNothing) {
    constexpr Color poked = 0xFF0A0B0Cu;
    screen_set_pages(1, 0);
    ASSERT_TRUE(headless_wait_cycles(2));
    poke_page(0, poked);
    const std::uint64_t presents = headless_present_count();
    Image* source = keep(image_create(20, 20, 0xFF00FF00u, 0, 0));
    Image* target = keep(image_create(30, 30, background, 0, 0));
    ASSERT_EQ(blit(nullptr, 10, 10, source, all, all, all, all, 0, BlitMode::Copy, -1), Status::Ok);
    ASSERT_EQ(blit(target, 10, 10, source, all, all, all, all, 0, BlitMode::Copy, -1), Status::Ok);
    ASSERT_TRUE(headless_wait_cycles(3));
    EXPECT_EQ(headless_present_count(), presents);
    EXPECT_NE(shown(0, 10), poked);
    EXPECT_EQ(page_view(1).at(10, 10), 0xFF00FF00u);
}

TEST_F(BlitRowFlags, NothingDrawnFlagsNothing) {
    screen_set_pages(0, 0);
    ASSERT_TRUE(headless_wait_cycles(2));
    const std::uint64_t presents = headless_present_count();
    Image* source = keep(image_create(20, 20, 0xFF00FF00u, 0, 0));
    ASSERT_EQ(blit(nullptr, 700, 10, source, all, all, all, all, 0, BlitMode::Copy, -1), Status::Ok);
    ASSERT_EQ(blit(nullptr, 10, -20, source, all, all, all, all, 0, BlitMode::Copy, -1), Status::Ok);
    ASSERT_TRUE(headless_wait_cycles(3));
    EXPECT_EQ(headless_present_count(), presents);
}

}  // namespace
