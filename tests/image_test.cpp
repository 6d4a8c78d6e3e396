#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/image.hpp"
#include "gfx/primitives.hpp"
#include "gfx/screen.hpp"

using namespace gfx;

namespace {

class ImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        screen_request_backend("Headless");
        ASSERT_EQ(screen_open(640, 480, 32, 2, 0, 0), Status::Ok) << screen_open_failure();
    }
    void TearDown() override {
        screen_close();
        screen_request_backend("");
    }
};

void write32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

TEST_F(ImageTest, CreateWritesTheShortHeaderAndFillsEveryPixel) {
    struct Case {
        const char* name;
        std::int32_t width, height;
        Color colour;
        std::int32_t depth, flags;
        std::int32_t bpp;
        Color fill;  // the value each pixel must hold, in its low bpp bytes
    };
    const Case cases[] = {
        {"intro canvas, default colour", 641, 481, 0x12345678u, 0, flag_no_colour, 4, default_fill},
        {"given colour, alpha kept", 3, 2, 0x00ABCDEFu, 0, 0, 4, 0x00ABCDEFu},
        {"depth 32", 5, 1, 0x80FF0001u, 32, 0, 4, 0x80FF0001u},
        {"depth 24 would be 3 bytes; depth 25 rounds to 4", 2, 2, 0xA1B2C3D4u, 25, 0, 4, 0xA1B2C3D4u},
        {"depth 16 keeps the low 16 bits", 7, 3, 0xA1B2C3D4u, 16, 0, 2, 0xC3D4u},
        {"depth 8 keeps the low byte", 9, 4, 0xA1B2C3D4u, 8, 0, 1, 0xD4u},
        {"widest the header holds", 8191, 1, 0x01020304u, 0, 0, 4, 0x01020304u},
        {"tallest the header holds", 1, 65535, 0x01020304u, 0, 0, 4, 0x01020304u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image* image = image_create(c.width, c.height, c.colour, c.depth, c.flags);
        ASSERT_NE(image, nullptr);
        const auto bytes = image_bytes(*image);
        ASSERT_EQ(bytes.size(), 4u + static_cast<std::size_t>(c.width) * c.height * c.bpp);
        const std::uint16_t word = static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
        EXPECT_EQ(word & 7, c.bpp);
        EXPECT_EQ(word >> 3, c.width);
        EXPECT_EQ(bytes[2] | (bytes[3] << 8), c.height);
        std::size_t wrong = 0;
        for (std::size_t at = 4; at < bytes.size(); at += static_cast<std::size_t>(c.bpp)) {
            Color v = 0;
            std::memcpy(&v, &bytes[at], static_cast<std::size_t>(c.bpp));
            wrong += v != c.fill;
        }
        EXPECT_EQ(wrong, 0u);
        const auto size = image_size(*image);
        ASSERT_TRUE(size.has_value());
        EXPECT_EQ(size->width, c.width);
        EXPECT_EQ(size->height, c.height);
        image_destroy(image);
    }
}

TEST_F(ImageTest, TheIntroCanvasHeaderBytes) {
    Image* image = image_create(641, 481, 0, 0, flag_no_colour);
    ASSERT_NE(image, nullptr);
    const auto bytes = image_bytes(*image);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 4),
              (std::vector<std::uint8_t>{0x0C, 0x14, 0xE1, 0x01}));
    image_destroy(image);
}

TEST_F(ImageTest, CreateRefusesBadArguments) {
    struct Case {
        const char* name;
        std::int32_t width, height, depth;
    };
    const Case cases[] = {
        {"width 0", 0, 10, 0},
        {"negative width", -5, 10, 0},
        {"height 0", 10, 0, 0},
        {"height -1", 10, -1, 0},
        {"depth 24: 3 bytes a pixel", 10, 10, 24},
        {"depth 40: 5 bytes a pixel", 10, 10, 40},
        {"depth 64: 8 bytes a pixel", 10, 10, 64},
        {"width 8192: over the 13-bit field", 8192, 1, 0},
        {"height 65536: over the 16-bit field", 1, 65536, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image* image = image_create(c.width, c.height, 0, c.depth, flag_no_colour);
        EXPECT_EQ(image, nullptr);
        image_destroy(image);
    }
}

TEST_F(ImageTest, CreateRefusesWithoutAScreen) {
    screen_close();
    EXPECT_EQ(image_create(10, 10, 0, 0, flag_no_colour), nullptr);
    image_destroy(nullptr);
}

// Draws with every primitive over and well beyond the area a header claims.
void draw_everything(Image* image) {
    for (int mode = 0; mode <= 1; ++mode) {
        draw_point(image, 3, 3, 0xFF0000FFu, 0, 0);
        draw_point(image, 9000, 60000, 0xFF0000FFu, 0, 0);
        draw_line(image, -100, -100, 9000, 70000, 0xFF00FF00u, 0xFFFF, 0);
        draw_line(image, 0, 5, 9000, 5, 0xFF00FF00u, 0xFFFF, 0);
        draw_line(image, 5, 0, 5, 70000, 0xFF00FF00u, 0xF0F0, 0);
        fill_box(image, -10, -10, 9000, 70000, 0xFFFF0000u, 0xFFFF, 0);
        draw_box(image, 0, 0, 8190, 65534, 0xFF00FFFFu, 0xFFFF, 0);
        draw_box(image, 1, 1, 2000, 2000, 0xFF00FFFFu, 0x00FF, 0);
        flood_fill(image, 2, 2, 0xFF123456u, 0xFF000000u, "", 0, 0);
        flood_fill(image, 2, 2, 0xFF123456u, 0xFF000000u, std::string(300, 'p'), 1, 0);
    }
}

TEST_F(ImageTest, PrimitivesDrawNothingOnAnImageWhoseHeaderDoesNotFit) {
    struct Case {
        const char* name;
        void (*corrupt)(std::uint8_t* block);
    };
    const Case cases[] = {
        {"short form claiming 8191 x 65535",
         [](std::uint8_t* b) { b[0] = 0xFC; b[1] = 0xFF; b[2] = 0xFF; b[3] = 0xFF; }},
        {"short form one row too tall", [](std::uint8_t* b) { b[2] = 17; b[3] = 0; }},
        {"short form one pixel too wide",
         [](std::uint8_t* b) { const int word = (17 << 3) | 4; b[0] = word & 0xFF; b[1] = word >> 8; }},
        {"long form, 1000 x 1000",
         [](std::uint8_t* b) { write32(b, 7); write32(b + 4, 4); write32(b + 8, 1000); write32(b + 12, 1000);
                               write32(b + 16, 4000); }},
        {"long form, pitch shorter than a row",
         [](std::uint8_t* b) { write32(b, 7); write32(b + 4, 4); write32(b + 8, 8); write32(b + 12, 4);
                               write32(b + 16, 16); }},
        {"long form, 3 bytes a pixel",
         [](std::uint8_t* b) { write32(b, 7); write32(b + 4, 3); write32(b + 8, 4); write32(b + 12, 4);
                               write32(b + 16, 16); }},
        {"long form, negative width",
         [](std::uint8_t* b) { write32(b, 7); write32(b + 4, 4); write32(b + 8, 0xFFFFFFF0u); write32(b + 12, 4);
                               write32(b + 16, 64); }},
        {"long form, height x pitch wrapping 32 bits",
         [](std::uint8_t* b) { write32(b, 7); write32(b + 4, 4); write32(b + 8, 1); write32(b + 12, 0x10000001u);
                               write32(b + 16, 16); }},
        {"long form, negative pitch",
         [](std::uint8_t* b) { write32(b, 7); write32(b + 4, 4); write32(b + 8, 1); write32(b + 12, 1);
                               write32(b + 16, 0xFFFFFFF0u); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image* image = image_create(16, 16, 0, 0, flag_no_colour);
        ASSERT_NE(image, nullptr);
        c.corrupt(image->block.get());
        const auto bytes = image_bytes(*image);
        const std::vector<std::uint8_t> before(bytes.begin(), bytes.end());
        draw_everything(image);
        EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), before);
        image_destroy(image);
    }
}

TEST_F(ImageTest, AHeaderSmallerThanItsBlockKeepsDrawingInsideWhatItClaims) {
    struct Case {
        const char* name;
        std::size_t header, claimed_bytes;  // pixel data offset and height x pitch of the claimed geometry
        void (*shrink)(std::uint8_t* block);
    };
    const Case cases[] = {
        {"short form 4 x 4 on a 16 x 16 block", 4, 4 * 4 * 4,
         [](std::uint8_t* b) { const int word = (4 << 3) | 4; b[0] = word & 0xFF; b[1] = word >> 8; b[2] = 4; b[3] = 0; }},
        {"long form 3 x 5, pitch 16", 32, 5 * 16,
         [](std::uint8_t* b) { write32(b, 7); write32(b + 4, 4); write32(b + 8, 3); write32(b + 12, 5);
                               write32(b + 16, 16); }},
        {"first word 7 on a block too short for the long form: an empty short-form Image", 4, 0,
         [](std::uint8_t* b) { write32(b, 7); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // 1 x 1 for the last case: 8 bytes, shorter than a 32-byte header.
        const bool tiny = c.claimed_bytes == 0;
        Image* image = image_create(tiny ? 1 : 16, tiny ? 1 : 16, 0, 0, flag_no_colour);
        ASSERT_NE(image, nullptr);
        c.shrink(image->block.get());
        const auto bytes = image_bytes(*image);
        const std::vector<std::uint8_t> before(bytes.begin(), bytes.end());
        draw_everything(image);
        const std::vector<std::uint8_t> after(bytes.begin(), bytes.end());
        std::size_t changed_inside = 0, changed_outside = 0;
        for (std::size_t i = 0; i < after.size(); ++i) {
            const bool inside = i >= c.header && i < c.header + c.claimed_bytes;
            (inside ? changed_inside : changed_outside) += after[i] != before[i];
        }
        EXPECT_EQ(changed_outside, 0u);
        if (c.claimed_bytes != 0) {
            EXPECT_GT(changed_inside, 0u);
        }
        image_destroy(image);
    }
}

}  // namespace
