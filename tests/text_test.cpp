// draw_text with the built-in font and with Font images.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gfx/backends/headless.hpp"
#include "gfx/blit.hpp"
#include "gfx/draw_state.hpp"
#include "gfx/image.hpp"
#include "gfx/screen.hpp"
#include "gfx/surface.hpp"
#include "gfx/text.hpp"

namespace {

using gfx::BlitMode;
using gfx::Color;
using gfx::Image;
using gfx::Status;
using Bytes = std::vector<std::uint8_t>;

constexpr Color background = 0xFF102030u;
constexpr std::int32_t absolute = 4;  // the intro's flags: absolute coordinates

void open_screen() {
    gfx::screen_request_backend("Headless");
    ASSERT_EQ(gfx::screen_open(640, 480, 32, 2, 0, 0), Status::Ok) << gfx::screen_open_failure();
}

class Text : public ::testing::Test {
protected:
    void SetUp() override {
        if (!gfx::detail::screen_is_open()) open_screen();
        gfx::screen_set_pages(0, 0);
    }
};

struct ImageDeleter {
    void operator()(Image* image) const { gfx::image_destroy(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

ImagePtr canvas(std::int32_t width, std::int32_t height, Color fill = background) {
    return ImagePtr(gfx::image_create(width, height, fill, 0, 0));
}

ImagePtr copy_of(const Image& image) {
    ImagePtr out(new Image);
    out->size = image.size;
    out->block = std::make_unique<std::uint8_t[]>(image.size);
    std::memcpy(out->block.get(), image.block.get(), image.size);
    return out;
}

Bytes bytes_of(const Image& image) { return Bytes(image.block.get(), image.block.get() + image.size); }

Color pixel(const Image& image, std::int32_t x, std::int32_t y) {
    const auto g = gfx::detail::image_source_geometry(image, 4);
    Color c = 0;
    std::memcpy(&c, image.block.get() + g->header + static_cast<std::ptrdiff_t>(y) * g->pitch + 4 * x, 4);
    return c;
}

void set(Image& image, std::int32_t x, std::int32_t y, Color c) {
    const auto g = gfx::detail::image_source_geometry(image, 4);
    std::memcpy(image.block.get() + g->header + static_cast<std::ptrdiff_t>(y) * g->pitch + 4 * x, &c, 4);
}

// What the built-in font must leave on a `width` x `height` Image filled with
// the background: the definition, pixel by pixel, clipped to the Image.
std::vector<Color> builtin_reference(std::int32_t width, std::int32_t height, std::int64_t x, std::int64_t y,
                                     const std::string& text, Color colour) {
    std::vector<Color> out(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), background);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::uint8_t* glyph = gfx::detail::builtin_font + 8 * static_cast<unsigned char>(text[i]);
        for (std::int64_t r = 0; r < 8; ++r) {
            for (std::int64_t k = 0; k < 8; ++k) {
                const std::int64_t px = x + 8 * static_cast<std::int64_t>(i) + k, py = y + r;
                if (((glyph[r] >> k) & 1) && px >= 0 && px < width && py >= 0 && py < height) {
                    out[static_cast<std::size_t>(py * width + px)] = colour;
                }
            }
        }
    }
    return out;
}

::testing::AssertionResult image_equals(const Image& image, const std::vector<Color>& want, std::int32_t width,
                                        std::int32_t height) {
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const Color got = pixel(image, x, y), expected = want[static_cast<std::size_t>(y * width + x)];
            if (got != expected) {
                char text[96];
                std::snprintf(text, sizeof text, "pixel (%d, %d) is 0x%08X, expected 0x%08X", x, y,
                              static_cast<unsigned>(got), static_cast<unsigned>(expected));
                return ::testing::AssertionFailure() << text;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// --- Built-in font -----------------------------------------------------------

struct BuiltinCase {
    const char* name;
    std::int32_t width, height;  // of the target Image
    float x, y;
    std::int64_t expect_x, expect_y;  // where the first cell must land
    std::string text;
};

std::string long_text(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += static_cast<char>(rng() & 0xFF);
    return s;
}

TEST_F(Text, BuiltinFontPlacesAndClipsEveryCell) {
    const BuiltinCase cases[] = {
        {"inside", 64, 24, 3, 5, 3, 5, "AbC"},
        {"x 636 on a 640-wide target: first cell's columns 0-3 only", 640, 16, 636, 0, 636, 0, "\xDB\xDB\xDB"},
        {"x -3: first cell's columns 3-7 at 0-4", 40, 16, -3, 2, -3, 2, "\xDBW"},
        {"x 10.5 rounds to 11", 40, 16, 10.5f, 0, 11, 0, "A"},
        {"x -0.5 rounds to -1", 40, 16, -0.5f, 0, -1, 0, "AA"},
        {"x 0.4 rounds to 0, y 2.5 to 3", 40, 16, 0.4f, 2.5f, 0, 3, "A"},
        {"cut at the top", 40, 16, 0, -5, 0, -5, "\xDB" "A"},
        {"cut at the bottom", 40, 16, 0, 12, 0, 12, "\xDB" "A"},
        {"wholly above", 40, 16, 0, -8, 0, -8, "\xDB"},
        {"wholly below", 40, 16, 0, 16, 0, 16, "\xDB"},
        {"wholly right", 40, 16, 40, 0, 40, 0, "\xDB"},
        {"wholly left", 40, 16, -16, 0, -16, 0, "\xDB\xDB"},
        {"10,000 characters, the last 5 visible", 40, 16, -8.0f * 9995, 4, -8 * 9995, 4, long_text(10000, 1)},
        {"10,000 characters, the first 5 visible", 40, 16, 0, 4, 0, 4, long_text(10000, 2)},
        {"10,000 characters from -7 on, all codes", 640, 16, -7, 1, -7, 1, long_text(10000, 3)},
        {"line codes are glyphs", 64, 16, 0, 0, 0, 0, "\n\r\t\x08"},
        {"far left, huge coordinate", 40, 16, -3.0e9f, 0, INT32_MIN, 0, "\xDB\xDB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImagePtr image = canvas(c.width, c.height);
        const Color ink = 0xFF7F7FD7u;
        EXPECT_EQ(gfx::draw_text(image.get(), c.x, c.y, absolute, c.text, ink, nullptr, BlitMode::Transparent),
                  Status::Ok);
        EXPECT_TRUE(image_equals(*image, builtin_reference(c.width, c.height, c.expect_x, c.expect_y, c.text, ink),
                                 c.width, c.height));
    }
}

TEST_F(Text, BuiltinFontEdgeColumnsAsStated) {
    ImagePtr image = canvas(640, 8);
    ASSERT_EQ(gfx::draw_text(image.get(), 636, 0, absolute, "\xDB\xDB", 0xFFFFFFFFu, nullptr, BlitMode::Copy), Status::Ok);
    for (std::int32_t x = 630; x < 640; ++x) EXPECT_EQ(pixel(*image, x, 3), x >= 636 ? 0xFFFFFFFFu : background) << x;

    ImagePtr left = canvas(16, 8);
    ASSERT_EQ(gfx::draw_text(left.get(), -3, 0, absolute, "\xDB", 0xFFFFFFFFu, nullptr, BlitMode::Copy), Status::Ok);
    for (std::int32_t x = 0; x < 8; ++x) EXPECT_EQ(pixel(*left, x, 7), x <= 4 ? 0xFFFFFFFFu : background) << x;
}

TEST_F(Text, BlankCodesMoveThePenAndTheFullBlockFillsItsCell) {
    const struct {
        const char* name;
        std::string text;
        std::int32_t ink_pixels;
    } cases[] = {{"code 0", std::string(1, '\0'), 0},
                 {"code 32", " ", 0},
                 {"code 255", "\xFF", 0},
                 {"code 219", "\xDB", 64},
                 {"0, 32, 255 then 219: the block lands in the fourth cell", std::string("\0 \xFF\xDB", 4), 64}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImagePtr image = canvas(40, 8);
        ASSERT_EQ(gfx::draw_text(image.get(), 0, 0, absolute, c.text, 0xFFFFFFFFu, nullptr, BlitMode::Copy), Status::Ok);
        std::int32_t ink = 0, ink_in_last_cell = 0;
        const std::int32_t last_cell = 8 * (static_cast<std::int32_t>(c.text.size()) - 1);
        for (std::int32_t y = 0; y < 8; ++y) {
            for (std::int32_t x = 0; x < 40; ++x) {
                const bool set = pixel(*image, x, y) == 0xFFFFFFFFu;
                ink += set;
                ink_in_last_cell += set && x >= last_cell && x < last_cell + 8;
            }
        }
        EXPECT_EQ(ink, c.ink_pixels);
        EXPECT_EQ(ink_in_last_cell, c.ink_pixels);
    }
}

TEST_F(Text, TheSecondColourWinsWhereBothGlyphsHaveInkAndClearBitsKeepTheTarget) {
    ImagePtr image = canvas(16, 8);
    const Color first = 0xFFFF0000u, second = 0x0000FF00u;
    ASSERT_EQ(gfx::draw_text(image.get(), 0, 0, absolute, "AO", first, nullptr, BlitMode::Copy), Status::Ok);
    ASSERT_EQ(gfx::draw_text(image.get(), 0, 0, absolute, "VQ", second, nullptr, BlitMode::Copy), Status::Ok);
    const auto a = builtin_reference(16, 8, 0, 0, "AO", first);
    const auto b = builtin_reference(16, 8, 0, 0, "VQ", second);
    std::int32_t both = 0, only_first = 0;
    for (std::int32_t y = 0; y < 8; ++y) {
        for (std::int32_t x = 0; x < 16; ++x) {
            const std::size_t i = static_cast<std::size_t>(y * 16 + x);
            const Color want = b[i] != background ? second : a[i] != background ? first : background;
            EXPECT_EQ(pixel(*image, x, y), want) << x << ", " << y;
            both += a[i] != background && b[i] != background;
            only_first += a[i] != background && b[i] == background;
        }
    }
    EXPECT_GT(both, 0);
    EXPECT_GT(only_first, 0);
}

TEST_F(Text, StoresTheColourExactlyOrTheForeground) {
    const struct {
        const char* name;
        Color colour;
        std::int32_t flags;
        Color stored;
    } cases[] = {{"light blue", 0xFF7F7FD7u, absolute, 0xFF7F7FD7u},
                 {"alpha 0 kept", 0x00123456u, absolute, 0x00123456u},
                 {"magenta key is ink too", 0xFFFF00FFu, absolute, 0xFFFF00FFu},
                 {"flag bit 31: the foreground", 0x12345678u, absolute | gfx::flag_no_colour, 0xFFFFFFFFu}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImagePtr image = canvas(8, 8);
        ASSERT_EQ(gfx::draw_text(image.get(), 0, 0, c.flags, "\xDB", c.colour, nullptr, BlitMode::Copy), Status::Ok);
        for (std::int32_t i = 0; i < 64; ++i) EXPECT_EQ(pixel(*image, i % 8, i / 8), c.stored) << i;
    }
}

TEST_F(Text, LinesEightPixelsApartTouchWithoutOverlapping) {
    ImagePtr image = canvas(8, 24);
    ASSERT_EQ(gfx::draw_text(image.get(), 0, 4, absolute, "\xDB", 0xFF0000FFu, nullptr, BlitMode::Copy), Status::Ok);
    ASSERT_EQ(gfx::draw_text(image.get(), 0, 12, absolute, "\xDB", 0xFF00FF00u, nullptr, BlitMode::Copy), Status::Ok);
    for (std::int32_t y = 0; y < 24; ++y) {
        const Color want = y < 4 ? background : y < 12 ? 0xFF0000FFu : y < 20 ? 0xFF00FF00u : background;
        EXPECT_EQ(pixel(*image, 3, y), want) << y;
    }
}

TEST_F(Text, CoordinateModesAndTheLastPoint) {
    ImagePtr image = canvas(64, 32);
    ImagePtr reference = canvas(64, 32);
    // Mode 2 adds the last point; the last point becomes the position.
    ASSERT_EQ(gfx::draw_text(image.get(), 10, 4, absolute, "A", 0xFFFFFFFFu, nullptr, BlitMode::Copy), Status::Ok);
    ASSERT_EQ(gfx::draw_text(image.get(), 8, 8, 2, "B", 0xFFFFFFFFu, nullptr, BlitMode::Copy), Status::Ok);
    ASSERT_EQ(gfx::draw_text(image.get(), 8, 8, 3, "C", 0xFFFFFFFFu, nullptr, BlitMode::Copy), Status::Ok);
    ASSERT_EQ(gfx::draw_text(reference.get(), 10, 4, absolute, "A", 0xFFFFFFFFu, nullptr, BlitMode::Copy), Status::Ok);
    ASSERT_EQ(gfx::draw_text(reference.get(), 18, 12, absolute, "B", 0xFFFFFFFFu, nullptr, BlitMode::Copy), Status::Ok);
    ASSERT_EQ(gfx::draw_text(reference.get(), 26, 20, 1, "C", 0xFFFFFFFFu, nullptr, BlitMode::Copy), Status::Ok);
    EXPECT_EQ(bytes_of(*image), bytes_of(*reference));
}

TEST_F(Text, ResultsWithoutTextScreenOrValidTarget) {
    ImagePtr image = canvas(16, 8);
    const Bytes before = bytes_of(*image);
    EXPECT_EQ(gfx::draw_text(image.get(), 0, 0, absolute, std::string_view(), 0xFFFFFFFFu, nullptr, BlitMode::Copy),
              Status::IllegalCall);
    EXPECT_EQ(gfx::draw_text(image.get(), 0, 0, absolute, "", 0xFFFFFFFFu, nullptr, BlitMode::Copy), Status::Ok);

    ImagePtr broken = copy_of(*image);
    broken->block[2] = 0xFF;  // a height the storage cannot hold
    const Bytes broken_before = bytes_of(*broken);
    EXPECT_EQ(gfx::draw_text(broken.get(), 0, 0, absolute, "A", 0xFFFFFFFFu, nullptr, BlitMode::Copy),
              Status::IllegalCall);
    EXPECT_EQ(bytes_of(*broken), broken_before);

    gfx::screen_close();
    EXPECT_EQ(gfx::draw_text(image.get(), 0, 0, absolute, "A", 0xFFFFFFFFu, nullptr, BlitMode::Copy), Status::Ok);
    EXPECT_EQ(gfx::draw_text(nullptr, 0, 0, absolute, "A", 0xFFFFFFFFu, nullptr, BlitMode::Copy), Status::Ok);
    EXPECT_EQ(gfx::draw_text(image.get(), 0, 0, absolute, std::string_view(), 0xFFFFFFFFu, nullptr, BlitMode::Copy),
              Status::IllegalCall);
    EXPECT_EQ(bytes_of(*image), before);
    open_screen();
}

// --- The screen --------------------------------------------------------------

std::vector<Color> monitor_rows(std::int32_t first, std::int32_t count) {
    const gfx::HeadlessMonitor m = gfx::headless_monitor();
    return std::vector<Color>(m.pixels.begin() + first * m.width, m.pixels.begin() + (first + count) * m.width);
}

TEST_F(Text, OnTheVisiblePageTheRowsReachTheMonitorAndOnAHiddenPageNot) {
    const Color ink = 0xFFFFFFFFu;
    ASSERT_TRUE(gfx::headless_wait_cycles(2));
    const std::vector<Color> before = monitor_rows(200, 8);

    // Work page 1 while page 0 is visible: nothing reaches the monitor.
    gfx::screen_set_pages(1, 0);
    ASSERT_EQ(gfx::draw_text(nullptr, 100, 200, absolute, "\xDB\xDB", ink, nullptr, BlitMode::Copy), Status::Ok);
    const auto page1 = gfx::detail::screen_page_surface(1);
    Color drawn = 0;
    std::memcpy(&drawn, page1->row(203) + 4 * 104, 4);
    EXPECT_EQ(drawn, ink);
    ASSERT_TRUE(gfx::headless_wait_cycles(3));
    EXPECT_EQ(monitor_rows(200, 8), before);

    // Drawing onto the visible page sets the flags of its rows.
    gfx::screen_set_pages(0, 0);
    ASSERT_TRUE(gfx::headless_wait_cycles(3));
    const auto page0 = gfx::detail::screen_page_surface(0);
    {
        gfx::DisplayLock lock;  // the update thread must not see the rows before the text
        ASSERT_EQ(gfx::draw_text(nullptr, 100, 200, absolute, "\xDB\xDB", ink, nullptr, BlitMode::Copy), Status::Ok);
    }
    ASSERT_TRUE(gfx::headless_wait_cycles(3));
    const std::vector<Color> after = monitor_rows(200, 8);
    for (std::int32_t y = 0; y < 8; ++y) {
        for (std::int32_t x = 0; x < 640; ++x) {
            Color page_pixel;
            std::memcpy(&page_pixel, page0->row(200 + y) + 4 * x, 4);
            EXPECT_EQ(after[static_cast<std::size_t>(y * 640 + x)] & 0xFFFFFF, page_pixel & 0xFFFFFF);
        }
        EXPECT_EQ(after[static_cast<std::size_t>(y * 640 + 108)] & 0xFFFFFF, 0xFFFFFFu);
    }
}

// --- Font images ---------------------------------------------------------------

struct FontSpec {
    std::int32_t width = 864, height = 18;
    bool long_form = false;
    std::uint8_t version = 0, first = 32, last = 127;
    std::vector<std::uint8_t> widths = std::vector<std::uint8_t>(96, 8);
    std::uint32_t seed = 1;
};

// Glyph pixels are random, about one in four the transparent key.
ImagePtr make_font(const FontSpec& f) {
    ImagePtr image;
    if (f.long_form) {
        image.reset(new Image);
        const std::uint32_t pitch = static_cast<std::uint32_t>((f.width * 4 + 15) / 16 * 16);
        image->size = 32 + static_cast<std::size_t>(f.height) * pitch;
        image->block = std::make_unique<std::uint8_t[]>(image->size);
        const std::uint32_t header[5] = {7, 4, static_cast<std::uint32_t>(f.width), static_cast<std::uint32_t>(f.height), pitch};
        std::memcpy(image->block.get(), header, sizeof header);
    } else {
        image = canvas(f.width, f.height);
    }
    std::mt19937 rng(f.seed);
    for (std::int32_t y = 1; y < f.height; ++y) {
        for (std::int32_t x = 0; x < f.width; ++x) set(*image, x, y, rng() % 4 == 0 ? 0x80FF00FFu : rng());
    }
    const auto g = gfx::detail::image_source_geometry(*image, 4);
    std::uint8_t* header = image->block.get() + g->header;
    header[0] = f.version;
    header[1] = f.first;
    header[2] = f.last;
    std::memcpy(header + 3, f.widths.data(), f.widths.size());
    return image;
}

// The glyph rectangles of `text` blitted one by one with the blit operation,
// at positions worked out here from the font's table.
void font_reference(Image* target, std::int64_t x, std::int64_t y, const std::string& text, const FontSpec& f,
                    const Image* font, BlitMode mode, Color colour) {
    const std::int32_t lo = std::min(f.first, f.last), hi = std::max(f.first, f.last);
    std::int64_t pen = x;
    for (unsigned char ch : text) {
        if (ch < lo || ch > hi) {
            pen += f.height - 1;
            continue;
        }
        std::int32_t start = 0;
        for (std::int32_t c = lo; c < ch; ++c) start += f.widths[static_cast<std::size_t>(c - lo)];
        const std::int32_t w = f.widths[static_cast<std::size_t>(ch - lo)];
        if (w > 0) {
            ASSERT_EQ(gfx::blit(target, static_cast<float>(pen), static_cast<float>(y), font, start, 1,
                                start + w - 1, f.height - 1, 0, mode, static_cast<std::int32_t>(colour)),
                      Status::Ok);
        }
        pen += w;
    }
}

struct FontCase {
    const char* name;
    FontSpec font;
    std::int32_t width, height;  // target
    float x, y;
    std::string text;
    BlitMode mode = BlitMode::Transparent;
    Color colour = 0;
};

FontSpec varied_font(bool long_form, std::uint32_t seed) {
    FontSpec f;
    f.width = 300;
    f.height = 12;
    f.long_form = long_form;
    f.first = 'A';
    f.last = 'Z';
    f.seed = seed;
    f.widths.clear();
    for (int c = 'A'; c <= 'Z'; ++c) f.widths.push_back(static_cast<std::uint8_t>(c == 'E' ? 0 : c == 'W' ? 40 : (c * 7) % 13 + 1));
    return f;
}

TEST_F(Text, FontImagePlacesClipsAndAdvancesLikeBlitsOfItsGlyphs) {
    FontSpec swapped;
    swapped.first = 127;
    swapped.last = 32;
    FontSpec narrow_target = varied_font(true, 7);
    const FontCase cases[] = {
        {"the intro's font, inside", {}, 200, 40, 3, 5, "Hello, World!"},
        {"the intro's font in the 32-byte form", {.long_form = true}, 200, 40, 3, 5, "Hello, World!"},
        {"header first 127, last 32", swapped, 200, 40, 3, 5, "Hello, World!"},
        {"codes outside the range move the pen by h = 17", {}, 200, 40, 0, 0, std::string("A\x01" "B\x80\xFF" "C")},
        {"glyphs straddling the left and right edges", {}, 60, 40, -5, 2, "ABCDEFGHIJ"},
        {"cut at the top", {}, 100, 40, 0, -6, "ABC"},
        {"cut at the bottom", {}, 100, 20, 0, 10, "ABC"},
        {"cut at top and bottom", {}, 100, 5, 0, -4, "ABC"},
        {"varied widths, a width 0, a wide W", varied_font(false, 3), 120, 30, -4, 3, "AWEEBZQAWE"},
        {"varied widths, 32-byte form", varied_font(true, 4), 120, 30, 7.5f, 3.5f, "ZWAEEB"},
        {"a glyph wider than the target", narrow_target, 20, 30, -7, 0, "W"},
        {"long text mostly off to the right", {}, 64, 40, 1, 1, std::string(10000, 'x')},
        {"long text mostly off to the left", {}, 64, 40, -8.0f * 9990, 1, long_text(10000, 9)},
        {"mode Copy", {}, 100, 40, 2, 2, "Key", BlitMode::Copy},
        {"mode Blend 66", {}, 100, 40, 2, 2, "Key", BlitMode::Blend, 66},
        {"mode Add 255", {}, 100, 40, 2, 2, "Key", BlitMode::Add, 255},
        {"mode Alpha", {}, 100, 40, 2, 2, "Key", BlitMode::Alpha},
        {"mode Blend 0 acts as Transparent", {}, 100, 40, 2, 2, "Key", BlitMode::Blend, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImagePtr font = make_font(c.font);
        ImagePtr image = canvas(c.width, c.height);
        ImagePtr reference = canvas(c.width, c.height);
        EXPECT_EQ(gfx::draw_text(image.get(), c.x, c.y, absolute, c.text, c.colour, font.get(), c.mode), Status::Ok);
        font_reference(reference.get(), gfx::detail::to_pixel(c.x), gfx::detail::to_pixel(c.y), c.text, c.font,
                       font.get(), c.mode, c.colour);
        EXPECT_EQ(bytes_of(*image), bytes_of(*reference));
        EXPECT_NE(bytes_of(*image), bytes_of(*canvas(c.width, c.height))) << "something must be drawn";
    }
}

TEST_F(Text, TheIntrosFontDrawsAFromColumns264To271) {
    const FontSpec f;
    ImagePtr font = make_font(f);
    ImagePtr image = canvas(40, 20);
    ASSERT_EQ(gfx::draw_text(image.get(), 4, 1, absolute, "AA", 0, font.get(), BlitMode::Copy), Status::Ok);
    for (std::int32_t y = 0; y < 20; ++y) {
        for (std::int32_t x = 0; x < 40; ++x) {
            const bool inside = x >= 4 && x < 20 && y >= 1 && y < 18;
            const Color want = inside ? pixel(*font, 264 + (x - 4) % 8, y) : background;
            EXPECT_EQ(pixel(*image, x, y), want) << x << ", " << y;
        }
    }
}

TEST_F(Text, ACharacterOutsideTheRangeAdvancesByTheGlyphHeight) {
    ImagePtr font = make_font({});
    ImagePtr with_gap = canvas(100, 20);
    ImagePtr direct = canvas(100, 20);
    ASSERT_EQ(gfx::draw_text(with_gap.get(), 0, 0, absolute, "A\x01" "B", 0, font.get(), BlitMode::Copy), Status::Ok);
    ASSERT_EQ(gfx::draw_text(direct.get(), 0, 0, absolute, "A", 0, font.get(), BlitMode::Copy), Status::Ok);
    ASSERT_EQ(gfx::draw_text(direct.get(), 8 + 17, 0, absolute, "B", 0, font.get(), BlitMode::Copy), Status::Ok);
    EXPECT_EQ(bytes_of(*with_gap), bytes_of(*direct));
    // Cut at the top, the pen still moves by the full 17.
    ImagePtr cut_gap = canvas(100, 20);
    ImagePtr cut_direct = canvas(100, 20);
    ASSERT_EQ(gfx::draw_text(cut_gap.get(), 0, -9, absolute, "A\x01" "B", 0, font.get(), BlitMode::Copy), Status::Ok);
    ASSERT_EQ(gfx::draw_text(cut_direct.get(), 0, -9, absolute, "A", 0, font.get(), BlitMode::Copy), Status::Ok);
    ASSERT_EQ(gfx::draw_text(cut_direct.get(), 25, -9, absolute, "B", 0, font.get(), BlitMode::Copy), Status::Ok);
    EXPECT_EQ(bytes_of(*cut_gap), bytes_of(*cut_direct));
}

struct FailureCase {
    const char* name;
    std::function<ImagePtr()> font;
    BlitMode mode = BlitMode::Transparent;
};

TEST_F(Text, FontImageFailuresDrawNothingYetWhollyOutsideIsOk) {
    const FailureCase cases[] = {
        {"version 1", [] { return make_font({.version = 1}); }},
        {"height 1", [] { return make_font({.height = 1}); }},
        {"100 widths of 9 = 900 > 864",
         [] { return make_font({.first = 0, .last = 99, .widths = std::vector<std::uint8_t>(100, 9)}); }},
        {"1-byte pixels in the 32-byte form",
         [] {
             ImagePtr f = make_font({.long_form = true});
             const std::uint32_t one = 1;
             std::memcpy(f->block.get() + 4, &one, 4);
             return f;
         }},
        {"2-byte pixels in the 4-byte form",
         [] {
             ImagePtr f = make_font({});
             f->block[0] = static_cast<std::uint8_t>((f->block[0] & ~7) | 2);
             return f;
         }},
        {"pitch 3",
         [] {
             ImagePtr f(new Image);
             f->size = 32 + 3 * 20;
             f->block = std::make_unique<std::uint8_t[]>(f->size);
             const std::uint32_t header[5] = {7, 4, 0, 20, 3};
             std::memcpy(f->block.get(), header, sizeof header);
             return f;
         }},
        {"header of 256 widths runs past a 1 x 2 Image",
         [] {
             ImagePtr f = canvas(1, 2);
             f->block[4] = 0;
             f->block[5] = 0;
             f->block[6] = 255;
             return f;
         }},
        {"no blend mode", [] { return make_font({}); }, static_cast<BlitMode>(3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImagePtr font = c.font();
        const Bytes font_before = bytes_of(*font);
        ImagePtr image = canvas(640, 480);
        const Bytes before = bytes_of(*image);
        EXPECT_EQ(gfx::draw_text(image.get(), 0, 100, absolute, "AB", 0, font.get(), c.mode), Status::IllegalCall);
        EXPECT_EQ(bytes_of(*image), before);
        EXPECT_EQ(gfx::draw_text(image.get(), 0, 500, absolute, "AB", 0, font.get(), c.mode), Status::Ok);
        const std::int32_t rows = gfx::detail::image_source_geometry(*font, 4)->height - 1;
        EXPECT_EQ(gfx::draw_text(image.get(), 0, static_cast<float>(-rows), absolute, "AB", 0, font.get(), c.mode),
                  Status::Ok);
        EXPECT_EQ(bytes_of(*image), before);
        EXPECT_EQ(bytes_of(*font), font_before) << "the Font image is only read";
    }
}

TEST_F(Text, FontImagesThatAreNoImagesOrTheTargetItself) {
    ImagePtr font = make_font({});
    ImagePtr broken = copy_of(*font);
    broken->block[2] = 0xFF;  // height beyond the storage
    ImagePtr image = canvas(64, 32);
    const Bytes before = bytes_of(*image);
    EXPECT_EQ(gfx::draw_text(image.get(), 0, 0, absolute, "A", 0, broken.get(), BlitMode::Copy), Status::IllegalCall);
    EXPECT_EQ(gfx::draw_text(image.get(), 0, 900, absolute, "A", 0, broken.get(), BlitMode::Copy), Status::IllegalCall);
    EXPECT_EQ(bytes_of(*image), before);
    const Bytes font_before = bytes_of(*font);
    EXPECT_EQ(gfx::draw_text(font.get(), 0, 1, absolute, "A", 0, font.get(), BlitMode::Copy), Status::IllegalCall);
    EXPECT_EQ(bytes_of(*font), font_before);
}

TEST_F(Text, FontImageOnTheVisibleScreenPage) {
    ImagePtr font = make_font({});
    ASSERT_TRUE(gfx::headless_wait_cycles(2));
    {
        gfx::DisplayLock lock;
        ASSERT_EQ(gfx::draw_text(nullptr, 630, 470, absolute, "AB", 0, font.get(), BlitMode::Copy), Status::Ok);
    }
    ASSERT_TRUE(gfx::headless_wait_cycles(3));
    const std::vector<Color> shown = monitor_rows(470, 10);
    for (std::int32_t y = 0; y < 10; ++y) {
        for (std::int32_t x = 0; x < 10; ++x) {
            const Color glyph = pixel(*font, 264 + x, y + 1);  // A at 264..271, B right after it
            EXPECT_EQ(shown[static_cast<std::size_t>(y * 640 + 630 + x)] & 0xFFFFFF, glyph & 0xFFFFFF) << x << ", " << y;
        }
    }
}

}  // namespace
