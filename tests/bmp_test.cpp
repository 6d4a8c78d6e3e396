// image_load_bmp: depths, palettes, destinations, refusals, raw dumps, and
// files written by ImageMagick.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "gfx/backends/headless.hpp"
#include "gfx/bmp.hpp"
#include "gfx/image.hpp"
#include "gfx/screen.hpp"
#include "gfx/surface.hpp"

namespace {

using gfx::Color;
using gfx::Image;
using gfx::Status;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

void open_screen() {
    gfx::screen_request_backend("Headless");
    ASSERT_EQ(gfx::screen_open(640, 480, 32, 2, 0, 0), Status::Ok) << gfx::screen_open_failure();
}

class Bmp : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/bmp_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        if (std::getenv("BMP_TEST_KEEP") == nullptr) fs::remove_all(dir_, ignored);
    }
    void SetUp() override {
        if (!gfx::detail::screen_is_open()) open_screen();
    }

    static std::string write_file(const std::string& name, const Bytes& bytes) {
        const std::string path = (fs::path(dir_) / name).string();
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    static std::string dir_;
};
std::string Bmp::dir_;

void put16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t get32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// A BMP as this test writes it. `values` holds |height| rows of `width`
// values from the top: palette indices, or 0xAARRGGBB colours at 24 and 32 bits.
struct BmpFile {
    std::int32_t width = 1, height = 1;  // negative height: rows stored top-down
    std::uint16_t bits = 24;
    std::uint32_t compression = 0;
    std::vector<std::uint32_t> palette;  // 0x00RRGGBB
    std::vector<std::uint32_t> masks;    // right after the information header
    std::vector<std::uint32_t> values;
    std::size_t gap = 0;                 // bytes between the palette and the pixels
};

std::size_t padded_row(std::int64_t width, int bits) { return static_cast<std::size_t>((width * bits + 31) / 32 * 4); }

Bytes encode(const BmpFile& f) {
    const std::size_t rows = static_cast<std::size_t>(std::abs(static_cast<std::int64_t>(f.height)));
    const std::size_t row_bytes = padded_row(f.width, f.bits);
    const std::size_t offset = 54 + 4 * f.masks.size() + 4 * f.palette.size() + f.gap;
    Bytes b(offset + rows * row_bytes, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, static_cast<std::uint32_t>(b.size()));
    put32(b, 10, static_cast<std::uint32_t>(offset));
    put32(b, 14, 40);
    put32(b, 18, static_cast<std::uint32_t>(f.width));
    put32(b, 22, static_cast<std::uint32_t>(f.height));
    put16(b, 26, 1);
    put16(b, 28, f.bits);
    put32(b, 30, f.compression);
    std::size_t at = 54;
    for (std::uint32_t m : f.masks) put32(b, (at += 4) - 4, m);
    for (std::uint32_t p : f.palette) put32(b, (at += 4) - 4, p);
    for (std::size_t y = 0; y < rows; ++y) {
        const std::size_t stored = f.height < 0 ? y : rows - 1 - y;
        std::uint8_t* row = b.data() + offset + stored * row_bytes;
        for (std::size_t x = 0; x < static_cast<std::size_t>(f.width); ++x) {
            const std::uint32_t v = f.values[y * static_cast<std::size_t>(f.width) + x];
            switch (f.bits) {
                case 1: row[x / 8] = static_cast<std::uint8_t>(row[x / 8] | ((v & 1) << (7 - x % 8))); break;
                case 4: row[x / 2] = static_cast<std::uint8_t>(row[x / 2] | ((v & 15) << (x % 2 ? 0 : 4))); break;
                case 8: row[x] = static_cast<std::uint8_t>(v); break;
                case 24: row[3 * x] = v & 0xFF; row[3 * x + 1] = (v >> 8) & 0xFF; row[3 * x + 2] = (v >> 16) & 0xFF; break;
                default: std::memcpy(row + 4 * x, &v, 4); break;
            }
        }
    }
    return b;
}

// The colours a loader must produce for `f` (palette entries looked up here).
std::vector<Color> expected_colours(const BmpFile& f) {
    std::vector<Color> out;
    for (std::uint32_t v : f.values) {
        if (f.bits <= 8) {
            out.push_back(0xFF000000u | f.palette.at(v));
        } else if (f.bits == 24) {
            out.push_back(0xFF000000u | (v & 0xFFFFFF));
        } else {
            out.push_back(v);
        }
    }
    return out;
}

BmpFile random_file(std::int32_t width, std::int32_t height, std::uint16_t bits, std::uint32_t seed) {
    std::mt19937 rng(seed);
    BmpFile f;
    f.width = width;
    f.height = height;
    f.bits = bits;
    const std::uint32_t colours = bits <= 8 ? (1u << bits) : 0;
    for (std::uint32_t i = 0; i < colours; ++i) f.palette.push_back(rng() & 0xFFFFFF);
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(std::abs(height));
    for (std::size_t i = 0; i < count; ++i) f.values.push_back(colours != 0 ? rng() % colours : rng());
    return f;
}

struct ImageView {
    std::int32_t width = 0, height = 0, pitch = 0;
    const std::uint8_t* pixels = nullptr;
    Color at(std::int32_t x, std::int32_t y) const { return get32(pixels + static_cast<std::ptrdiff_t>(y) * pitch + 4 * x); }
};

ImageView view(const Image& image) {
    const auto g = gfx::detail::image_source_geometry(image, 4);
    EXPECT_TRUE(g.has_value());
    if (!g) return {};
    return {g->width, g->height, g->pitch, image.block.get() + g->header};
}

// An Image already in the 32-byte form, filled with `fill`.
Image* long_form_image(std::int32_t width, std::int32_t height, Color fill) {
    auto* image = new Image;
    const std::uint32_t pitch = static_cast<std::uint32_t>((width * 4 + 15) / 16 * 16);
    image->size = 32 + static_cast<std::size_t>(height) * pitch;
    image->block = std::make_unique<std::uint8_t[]>(image->size);
    Bytes header(32, 0);
    put32(header, 0, 7);
    put32(header, 4, 4);
    put32(header, 8, static_cast<std::uint32_t>(width));
    put32(header, 12, static_cast<std::uint32_t>(height));
    put32(header, 16, pitch);
    std::memcpy(image->block.get(), header.data(), 32);
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            std::memcpy(image->block.get() + 32 + static_cast<std::size_t>(y) * pitch + 4 * static_cast<std::size_t>(x), &fill, 4);
        }
    }
    return image;
}

Bytes read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

Bytes snapshot(const Image& image) { return Bytes(image.block.get(), image.block.get() + image.size); }

struct ImageDeleter {
    void operator()(Image* image) const { gfx::image_destroy(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

ImagePtr fresh(std::int32_t width = 16, std::int32_t height = 8) {
    return ImagePtr(gfx::image_create(width, height, 0, 0, gfx::flag_no_colour));
}

// Compares the top-left `width` x `height` of `image` with `expected`
// (rows of `expected_width` colours).
::testing::AssertionResult same_pixels(const ImageView& image, const std::vector<Color>& expected,
                                       std::int32_t expected_width, std::int32_t width, std::int32_t height) {
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const Color want = expected[static_cast<std::size_t>(y) * static_cast<std::size_t>(expected_width) +
                                        static_cast<std::size_t>(x)];
            if (image.at(x, y) != want) {
                char text[80];
                std::snprintf(text, sizeof text, "pixel (%d, %d) is 0x%08X, expected 0x%08X", x, y,
                              static_cast<unsigned>(image.at(x, y)), static_cast<unsigned>(want));
                return ::testing::AssertionFailure() << text;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// --- Pixel formats -----------------------------------------------------------

struct DecodeCase {
    const char* name;
    std::function<BmpFile()> make;
    std::size_t expected_row_bytes;  // the padded row length of the file
};

TEST_F(Bmp, DecodesEveryDepthIntoAFreshImage) {
    const DecodeCase cases[] = {
        {"1-bit, 10 wide: 2 pixel bytes + 2 padding",
         [] { return random_file(10, 5, 1, 11); }, 4},
        {"1-bit, 33 wide", [] { return random_file(33, 3, 1, 12); }, 8},
        {"4-bit, 5 wide", [] { return random_file(5, 4, 4, 13); }, 4},
        {"8-bit, 2-entry palette black and white",
         [] {
             BmpFile f = random_file(7, 3, 8, 14);
             f.palette = {0x000000, 0xFFFFFF};
             for (auto& v : f.values) v &= 1;
             return f;
         },
         8},
        {"8-bit, 256 entries", [] { return random_file(9, 6, 8, 15); }, 12},
        {"24-bit, 3 wide: 9 bytes + 3 padding", [] { return random_file(3, 4, 24, 16); }, 12},
        {"24-bit bytes 10 20 30",
         [] {
             BmpFile f = random_file(1, 1, 24, 0);
             f.values = {0x302010};
             return f;
         },
         4},
        {"32-bit, alpha kept (0, 1, 0x80, 0xFF)",
         [] {
             BmpFile f = random_file(4, 2, 32, 17);
             for (std::size_t i = 0; i < f.values.size(); ++i) {
                 const std::uint32_t alpha[] = {0x00, 0x01, 0x80, 0xFF};
                 f.values[i] = (f.values[i] & 0xFFFFFF) | (alpha[i % 4] << 24);
             }
             return f;
         },
         16},
        {"32-bit with the usual bit-field masks",
         [] {
             BmpFile f = random_file(6, 3, 32, 18);
             f.compression = 3;
             f.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
             return f;
         },
         24},
        {"24-bit top-down (negative height)", [] { return random_file(5, -4, 24, 19); }, 16},
        {"8-bit top-down", [] { return random_file(6, -3, 8, 20); }, 8},
        {"24-bit with 3 bytes between header and pixels",
         [] {
             BmpFile f = random_file(4, 3, 24, 21);
             f.gap = 3;
             return f;
         },
         12},
        {"width 0", [] { return random_file(0, 3, 24, 22); }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const BmpFile f = c.make();
        const Bytes bytes = encode(f);
        const std::size_t rows = static_cast<std::size_t>(std::abs(f.height));
        ASSERT_EQ(padded_row(f.width, f.bits), c.expected_row_bytes);
        ASSERT_EQ(bytes.size(), 54 + 4 * (f.masks.size() + f.palette.size()) + f.gap + rows * c.expected_row_bytes);

        ImagePtr image = fresh();
        ASSERT_EQ(gfx::image_load_bmp(write_file("decode.bmp", bytes), image.get()), Status::Ok);
        const ImageView v = view(*image);
        EXPECT_EQ(v.width, f.width);
        EXPECT_EQ(v.height, static_cast<std::int32_t>(rows));
        EXPECT_TRUE(same_pixels(v, expected_colours(f), f.width, f.width, static_cast<std::int32_t>(rows)));
    }
}

TEST_F(Bmp, FirstPixelOfA1BitRowIsTheTopBit) {
    BmpFile f = random_file(10, 1, 1, 0);
    f.palette = {0x000000, 0xFFFFFF};
    f.values = {1, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const Bytes bytes = encode(f);
    ASSERT_EQ(bytes[62], 0x80);
    ASSERT_EQ(bytes[63], 0x40);
    ImagePtr image = fresh();
    ASSERT_EQ(gfx::image_load_bmp(write_file("first.bmp", bytes), image.get()), Status::Ok);
    const ImageView v = view(*image);
    EXPECT_EQ(v.at(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(v.at(1, 0), 0xFF000000u);
    EXPECT_EQ(v.at(9, 0), 0xFFFFFFFFu);
}

TEST_F(Bmp, PaletteIndicesBeyondTheFileTakeWhatAnEarlierLoadLeft) {
    open_screen();  // a fresh palette table: all black
    BmpFile four = random_file(4, 1, 8, 30);
    four.palette = {0x112233, 0x445566, 0x778899, 0xAABBCC};
    four.values = {0, 1, 2, 3};
    BmpFile two = random_file(4, 1, 8, 31);
    two.palette = {0x010203, 0x040506};
    two.values = {0, 1, 3, 200};

    ImagePtr image = fresh();
    ASSERT_EQ(gfx::image_load_bmp(write_file("two.bmp", encode(two)), image.get()), Status::Ok);
    EXPECT_EQ(view(*image).at(2, 0), 0xFF000000u) << "entry 3 of a fresh table is black";
    ASSERT_EQ(gfx::image_load_bmp(write_file("four.bmp", encode(four)), image.get()), Status::Ok);
    ASSERT_EQ(gfx::image_load_bmp(write_file("two.bmp", encode(two)), image.get()), Status::Ok);
    const ImageView v = view(*image);
    EXPECT_EQ(v.at(0, 0), 0xFF010203u);
    EXPECT_EQ(v.at(1, 0), 0xFF040506u);
    EXPECT_EQ(v.at(2, 0), 0xFFAABBCCu) << "entry 3 left by the four-entry file";
    EXPECT_EQ(v.at(3, 0), 0xFF000000u);
}

// --- Destinations ------------------------------------------------------------

TEST_F(Bmp, ReFormsAFourByteImageAndReloadsIntoIt) {
    const BmpFile f = random_file(640, 480, 24, 40);
    const std::string path = write_file("640.bmp", encode(f));
    ImagePtr image = fresh(641, 480);
    ASSERT_EQ(gfx::image_load_bmp(path, image.get()), Status::Ok);
    const Bytes header(image->block.get(), image->block.get() + 20);
    EXPECT_EQ(get32(&header[0]), 7u);
    EXPECT_EQ(get32(&header[4]), 4u);
    EXPECT_EQ(get32(&header[8]), 640u);
    EXPECT_EQ(get32(&header[12]), 480u);
    EXPECT_EQ(get32(&header[16]), 2560u);
    EXPECT_GE(image->size, 32u + 480u * 2560u);
    ImageView v = view(*image);
    bool all_opaque = true;
    for (std::int32_t y = 0; y < 480; ++y) {
        for (std::int32_t x = 0; x < 640; ++x) all_opaque = all_opaque && (v.at(x, y) >> 24) == 0xFF;
    }
    EXPECT_TRUE(all_opaque);
    EXPECT_TRUE(same_pixels(v, expected_colours(f), 640, 640, 480));

    const BmpFile g = random_file(640, 480, 24, 41);
    ASSERT_EQ(gfx::image_load_bmp(write_file("640b.bmp", encode(g)), image.get()), Status::Ok);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), image->block.get())) << "header unchanged";
    EXPECT_TRUE(same_pixels(view(*image), expected_colours(g), 640, 640, 480));
}

TEST_F(Bmp, ReFormedPitchIsRoundedUpTo16Bytes) {
    const struct {
        std::int32_t width;
        std::uint32_t pitch;
    } cases[] = {{1, 16}, {4, 16}, {5, 32}, {8, 32}, {641, 2576}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        const BmpFile f = random_file(c.width, 2, 24, 50);
        ImagePtr image = fresh(3, 3);
        ASSERT_EQ(gfx::image_load_bmp(write_file("pitch.bmp", encode(f)), image.get()), Status::Ok);
        EXPECT_EQ(get32(image->block.get() + 16), c.pitch);
        EXPECT_TRUE(same_pixels(view(*image), expected_colours(f), c.width, c.width, 2));
    }
}

TEST_F(Bmp, ClipsIntoAnImageAlreadyInTheLongForm) {
    const Color fill = 0x12345678u;
    const struct {
        const char* name;
        std::int32_t width, height;
    } cases[] = {{"700 x 500 into 641 x 480", 700, 500},
                 {"100 x 50 into 641 x 480", 100, 50},
                 {"700 x 50 into 641 x 480", 700, 50},
                 {"100 x 500 top-down into 641 x 480", 100, -500},
                 {"height 0", 10, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const BmpFile f = random_file(c.width, c.height, 24, 60);
        std::unique_ptr<Image> image(long_form_image(641, 480, fill));
        const Bytes header(image->block.get(), image->block.get() + 32);
        const std::size_t size = image->size;
        ASSERT_EQ(gfx::image_load_bmp(write_file("clip.bmp", encode(f)), image.get()), Status::Ok);
        EXPECT_TRUE(std::equal(header.begin(), header.end(), image->block.get()));
        EXPECT_EQ(image->size, size);
        const std::int32_t w = std::min(c.width, 641), h = std::min(std::abs(c.height), 480);
        const ImageView v = view(*image);
        EXPECT_TRUE(same_pixels(v, expected_colours(f), c.width, w, h));
        std::int64_t untouched = 0;
        for (std::int32_t y = 0; y < 480; ++y) {
            for (std::int32_t x = 0; x < 641; ++x) untouched += (x >= w || y >= h) && v.at(x, y) == fill;
        }
        EXPECT_EQ(untouched, 641 * 480 - static_cast<std::int64_t>(w) * h);
    }
}

TEST_F(Bmp, HeightZeroReFormsWithHeightZero) {
    ImagePtr image = fresh(641, 480);
    ASSERT_EQ(gfx::image_load_bmp(write_file("flat.bmp", encode(random_file(12, 0, 24, 1))), image.get()), Status::Ok);
    EXPECT_EQ(get32(image->block.get()), 7u);
    EXPECT_EQ(get32(image->block.get() + 8), 12u);
    EXPECT_EQ(get32(image->block.get() + 12), 0u);
}

TEST_F(Bmp, LoadsOntoTheWorkPageCutToThePage) {
    const BmpFile f = random_file(700, 500, 24, 70);
    const std::string path = write_file("screen.bmp", encode(f));
    const auto page1 = gfx::detail::screen_page_surface(1);
    ASSERT_TRUE(page1.has_value());
    const Bytes page1_before(page1->pixels, page1->pixels + 640 * 480 * 4);

    gfx::screen_set_pages(0, 0);
    ASSERT_EQ(gfx::image_load_bmp(path, nullptr), Status::Ok);
    const auto page0 = gfx::detail::screen_page_surface(0);
    EXPECT_TRUE(same_pixels({640, 480, page0->pitch, page0->pixels}, expected_colours(f), 700, 640, 480));
    EXPECT_TRUE(std::equal(page1_before.begin(), page1_before.end(), page1->pixels));

    // The work page was visible, so its rows reach the monitor.
    ASSERT_TRUE(gfx::headless_wait_cycles(3));
    const gfx::HeadlessMonitor monitor = gfx::headless_monitor();
    ASSERT_EQ(monitor.width, 640);
    EXPECT_TRUE(same_pixels({640, 480, 640 * 4, reinterpret_cast<const std::uint8_t*>(monitor.pixels.data())},
                            expected_colours(f), 700, 640, 480));
}

TEST_F(Bmp, FileCutOffInItsPixelRowsKeepsTheRowsRead) {
    const Color fill = 0xCAFEBABEu;
    const BmpFile f = random_file(10, 10, 24, 80);
    Bytes bytes = encode(f);
    const std::size_t row = padded_row(10, 24);
    const struct {
        const char* name;
        std::size_t rows_present;
        std::size_t extra_bytes;  // of the next row
    } cases[] = {{"no row", 0, 5}, {"four rows and part of a fifth", 4, 17}, {"all but the last byte", 9, row - 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(54 + c.rows_present * row + c.extra_bytes));
        const std::string path = write_file("cut.bmp", cut);

        std::unique_ptr<Image> long_form(long_form_image(10, 10, fill));
        EXPECT_EQ(gfx::image_load_bmp(path, long_form.get()), Status::FileIoError);
        const ImageView v = view(*long_form);
        const std::vector<Color> want = expected_colours(f);
        for (std::int32_t y = 0; y < 10; ++y) {
            const bool read = y >= 10 - static_cast<std::int32_t>(c.rows_present);
            for (std::int32_t x = 0; x < 10; ++x) {
                EXPECT_EQ(v.at(x, y), read ? want[static_cast<std::size_t>(y * 10 + x)] : fill) << x << ", " << y;
            }
        }

        ImagePtr image = fresh(641, 480);
        EXPECT_EQ(gfx::image_load_bmp(path, image.get()), Status::FileIoError);
        EXPECT_EQ(get32(image->block.get()), 7u) << "re-formed";
        const ImageView r = view(*image);
        EXPECT_EQ(r.width, 10);
        EXPECT_EQ(r.height, 10);
        const std::int32_t first_read = 10 - static_cast<std::int32_t>(c.rows_present);
        EXPECT_TRUE(same_pixels({10, static_cast<std::int32_t>(c.rows_present), r.pitch, r.pixels + first_read * r.pitch},
                                std::vector<Color>(want.begin() + first_read * 10, want.end()), 10, 10,
                                static_cast<std::int32_t>(c.rows_present)));
    }
}

// --- Refusals ----------------------------------------------------------------

enum class After { Unchanged, ReFormedNoPixels };

struct RefusalCase {
    const char* name;
    std::function<Bytes()> make;
    Status status;
    After after;
};

Bytes valid_24() { return encode(random_file(4, 3, 24, 90)); }
Bytes patched(Bytes b, std::size_t at, std::uint32_t v, int width = 4) {
    if (width == 2) {
        put16(b, at, static_cast<std::uint16_t>(v));
    } else {
        put32(b, at, v);
    }
    return b;
}

TEST_F(Bmp, RefusesBadFilesRowByRow) {
    const RefusalCase cases[] = {
        {"plain text file", [] { return Bytes{'h', 'e', 'l', 'l', 'o', '\n'}; }, Status::FileIoError, After::Unchanged},
        {"empty file", [] { return Bytes{}; }, Status::FileIoError, After::Unchanged},
        {"header shorter than 54 bytes", [] { Bytes b = valid_24(); b.resize(53); return b; }, Status::FileIoError,
         After::Unchanged},
        {"signature BX", [] { Bytes b = valid_24(); b[1] = 'X'; return b; }, Status::FileIoError, After::Unchanged},
        {"information header of 108 bytes", [] { return patched(valid_24(), 14, 108); }, Status::FileIoError,
         After::Unchanged},
        {"16 bits per pixel", [] { return patched(valid_24(), 28, 16, 2); }, Status::IllegalCall, After::Unchanged},
        {"15 bits per pixel", [] { return patched(valid_24(), 28, 15, 2); }, Status::IllegalCall, After::Unchanged},
        {"2 bits per pixel", [] { return patched(valid_24(), 28, 2, 2); }, Status::FileIoError, After::Unchanged},
        {"0 bits per pixel", [] { return patched(valid_24(), 28, 0, 2); }, Status::FileIoError, After::Unchanged},
        {"run-length compression", [] { return patched(valid_24(), 30, 1); }, Status::FileIoError, After::Unchanged},
        {"pixel data offset 50", [] { return patched(valid_24(), 10, 50); }, Status::FileIoError, After::Unchanged},
        {"257 palette entries",
         [] {
             BmpFile f = random_file(2, 2, 8, 91);
             f.palette.resize(257);
             return encode(f);
         },
         Status::FileIoError, After::Unchanged},
        {"negative width", [] { return patched(valid_24(), 18, static_cast<std::uint32_t>(-4)); }, Status::FileIoError,
         After::Unchanged},
        {"width 32769", [] { return patched(valid_24(), 18, 32769); }, Status::FileIoError, After::Unchanged},
        {"height 32769", [] { return patched(valid_24(), 22, 32769); }, Status::FileIoError, After::Unchanged},
        {"height -32769", [] { return patched(valid_24(), 22, static_cast<std::uint32_t>(-32769)); },
         Status::FileIoError, After::Unchanged},
        {"height -2147483648", [] { return patched(valid_24(), 22, 0x80000000u); }, Status::FileIoError,
         After::Unchanged},
        {"file cut off in its palette",
         [] {
             Bytes b = encode(random_file(2, 2, 8, 92));
             b.resize(54 + 4 * 10);
             return b;
         },
         Status::FileIoError, After::Unchanged},
        {"bit-field masks cut off",
         [] {
             BmpFile f = random_file(2, 2, 32, 93);
             f.compression = 3;
             f.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
             Bytes b = encode(f);
             b.resize(60);
             return b;
         },
         Status::FileIoError, After::Unchanged},
        {"red mask 0x000000FF",
         [] {
             BmpFile f = random_file(2, 2, 32, 94);
             f.compression = 3;
             f.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};
             return encode(f);
         },
         Status::FileIoError, After::ReFormedNoPixels},
        {"green and blue masks swapped",
         [] {
             BmpFile f = random_file(2, 2, 32, 95);
             f.compression = 3;
             f.masks = {0x00FF0000, 0x000000FF, 0x0000FF00};
             return encode(f);
         },
         Status::FileIoError, After::ReFormedNoPixels},
        {"raw dump 0xFD with its header cut", [] { return Bytes{0xFD, 1, 2, 3, 4, 5}; }, Status::FileIoError,
         After::Unchanged},
        {"raw dump 0xFE with its header cut", [] { return Bytes{0xFE, 1, 2}; }, Status::FileIoError,
         After::Unchanged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = write_file("bad.bmp", c.make());
        ImagePtr image = fresh(16, 8);
        const Bytes before = snapshot(*image);
        EXPECT_EQ(gfx::image_load_bmp(path, image.get()), c.status);
        if (c.after == After::Unchanged) {
            EXPECT_EQ(snapshot(*image), before);
        } else {
            ASSERT_EQ(get32(image->block.get()), 7u);
            EXPECT_EQ(get32(image->block.get() + 8), 2u);
            EXPECT_EQ(get32(image->block.get() + 12), 2u);
            // The re-formed pixel rows hold what the block held there before.
            EXPECT_TRUE(std::equal(image->block.get() + 32, image->block.get() + 32 + 2 * 16, before.begin() + 32));
        }

        // A long-form Image and the screen are refused the same way; a
        // long-form Image is never re-formed, so it keeps every byte.
        std::unique_ptr<Image> long_form(long_form_image(4, 4, 0x01020304u));
        const Bytes long_before = snapshot(*long_form);
        EXPECT_EQ(gfx::image_load_bmp(path, long_form.get()), c.status);
        EXPECT_EQ(snapshot(*long_form), long_before);
    }
}

TEST_F(Bmp, MissingFilesAndDirectoriesAreNotFound) {
    ImagePtr image = fresh();
    const Bytes before = snapshot(*image);
    EXPECT_EQ(gfx::image_load_bmp((fs::path(dir_) / "no such file.bmp").string(), image.get()), Status::FileNotFound);
    EXPECT_EQ(gfx::image_load_bmp(dir_, image.get()), Status::FileNotFound);
    EXPECT_EQ(gfx::image_load_bmp("", image.get()), Status::FileNotFound);
    EXPECT_EQ(snapshot(*image), before);
}

TEST_F(Bmp, OnlyTheFirst259CharactersOfTheNameCount) {
    std::string name = (fs::path(dir_) / "").string();
    name += std::string(259 - name.size(), 'n');
    ASSERT_EQ(name.size(), 259u);
    {
        const Bytes bytes = encode(random_file(2, 2, 24, 3));
        std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
    }
    ImagePtr image = fresh();
    EXPECT_EQ(gfx::image_load_bmp(name + ".ignored/and/more", image.get()), Status::Ok);
    EXPECT_EQ(view(*image).width, 2);
    EXPECT_EQ(gfx::image_load_bmp(name.substr(0, 258), image.get()), Status::FileNotFound);
}

TEST_F(Bmp, NeedsAScreenForBmpsButNotForRawDumps) {
    const std::string bmp = write_file("noscreen.bmp", valid_24());
    const std::string dump = write_file("noscreen.raw", Bytes{0xFE, 2, 0, 0, 0, 0xAA, 0xBB});
    ImagePtr image = fresh();
    const Bytes before = snapshot(*image);
    gfx::screen_close();
    EXPECT_EQ(gfx::image_load_bmp(bmp, nullptr), Status::IllegalCall);
    EXPECT_EQ(gfx::image_load_bmp(dump, nullptr), Status::IllegalCall);
    EXPECT_EQ(gfx::image_load_bmp(bmp, image.get()), Status::IllegalCall);
    EXPECT_EQ(snapshot(*image), before);
    EXPECT_EQ(gfx::image_load_bmp(dump, image.get()), Status::Ok);
    EXPECT_EQ(image->block[0], 0xAA);
    EXPECT_EQ(image->block[1], 0xBB);
    open_screen();
}

TEST_F(Bmp, RefusesLongFormImagesItCannotWriteInto) {
    const std::string path = write_file("valid.bmp", valid_24());
    const struct {
        const char* name;
        std::size_t field;
        std::uint32_t value;
    } cases[] = {{"height beyond the storage", 12, 1000},
                 {"pitch beyond the storage", 16, 4096},
                 {"pitch below width x 4", 16, 8},
                 {"1 byte per pixel", 4, 1},
                 {"3 bytes per pixel", 4, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<Image> image(long_form_image(4, 4, 0x01020304u));
        std::uint8_t* header = image->block.get();
        const std::uint32_t v = c.value;
        std::memcpy(header + c.field, &v, 4);
        const Bytes before = snapshot(*image);
        EXPECT_EQ(gfx::image_load_bmp(path, image.get()), Status::IllegalCall);
        EXPECT_EQ(snapshot(*image), before);
    }
}

// --- Raw memory dumps --------------------------------------------------------

TEST_F(Bmp, RawDumpsCopyAtMostToTheEndOfTheDestination) {
    const struct {
        const char* name;
        Bytes file;
        std::size_t copied;  // bytes expected at the start of the block
    } cases[] = {
        {"0xFD, length 10", {0xFD, 9, 9, 9, 9, 10, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 10},
        {"0xFE, length 3", {0xFE, 3, 0, 0, 0, 0x11, 0x22, 0x33, 0x44}, 3},
        {"0xFE, length 0", {0xFE, 0, 0, 0, 0, 0x11}, 0},
        {"0xFE, shorter than its length", {0xFE, 100, 0, 0, 0, 0x55, 0x66}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImagePtr image = fresh(4, 4);
        Bytes want = snapshot(*image);
        const std::size_t header = c.file[0] == 0xFD ? 7 : 5;
        std::copy_n(c.file.begin() + static_cast<std::ptrdiff_t>(header), c.copied, want.begin());
        EXPECT_EQ(gfx::image_load_bmp(write_file("dump.raw", c.file), image.get()), Status::Ok);
        EXPECT_EQ(snapshot(*image), want);
    }

    // Longer than the Image's storage: exactly the storage is written.
    ImagePtr image = fresh(2, 2);
    Bytes big{0xFE, 0xFF, 0xFF, 0xFF, 0xFF};
    for (int i = 0; i < 100; ++i) big.push_back(static_cast<std::uint8_t>(i + 1));
    ASSERT_EQ(gfx::image_load_bmp(write_file("big.raw", big), image.get()), Status::Ok);
    EXPECT_EQ(image->size, 4u + 2 * 2 * 4);
    EXPECT_TRUE(std::equal(image->block.get(), image->block.get() + image->size, big.begin() + 5));
}

TEST_F(Bmp, RawDumpOntoTheScreenWritesAtMostOnePage) {
    gfx::screen_set_pages(0, 1);
    const auto page0 = gfx::detail::screen_page_surface(0);
    const auto page1 = gfx::detail::screen_page_surface(1);
    const std::size_t page_bytes = 640 * 480 * 4;
    const Bytes page1_before(page1->pixels, page1->pixels + page_bytes);
    Bytes dump{0xFE, 0xFF, 0xFF, 0xFF, 0xFF};
    std::mt19937 rng(5);
    for (std::size_t i = 0; i < page_bytes + 4096; ++i) dump.push_back(static_cast<std::uint8_t>(rng()));
    ASSERT_EQ(gfx::image_load_bmp(write_file("page.raw", dump), nullptr), Status::Ok);
    EXPECT_TRUE(std::equal(page0->pixels, page0->pixels + page_bytes, dump.begin() + 5));
    EXPECT_TRUE(std::equal(page1_before.begin(), page1_before.end(), page1->pixels));
    gfx::screen_set_pages(0, 0);
}

// --- Files written by ImageMagick ---------------------------------------------

bool have_convert() { return std::system("convert -version >/dev/null 2>&1") == 0; }

struct MagickCase {
    const char* name;
    int colours;        // distinct colours of the source picture; 0: any
    bool alpha;         // the source carries an alpha channel
    const char* args;   // options before the output file
    const char* format; // output prefix
    std::uint16_t bits; // the bit count the file must have
    bool flip;          // turn the file into a top-down one here
};

TEST_F(Bmp, LoadsFilesWrittenByImageMagickPixelExact) {
    if (!have_convert()) GTEST_SKIP() << "ImageMagick's convert is not installed (Debian package imagemagick)";
    const MagickCase cases[] = {
        {"1-bit bilevel", -2, false, "-type bilevel", "BMP3:", 1, false},
        {"1-bit two colours", 2, false, "-type palette -compress none", "BMP3:", 1, false},
        {"4-bit", 16, false, "-type palette -compress none", "BMP3:", 4, false},
        {"8-bit", 200, false, "-type palette -compress none", "BMP3:", 8, false},
        {"24-bit", 0, false, "-type truecolor", "BMP3:", 24, false},
        {"24-bit default", 0, false, "", "BMP3:", 24, false},
        {"32-bit with alpha", 0, true, "-define bmp3:alpha=true", "BMP3:", 32, false},
        {"24-bit made top-down", 0, false, "-type truecolor", "BMP3:", 24, true},
        {"8-bit made top-down", 100, false, "-type palette -compress none", "BMP3:", 8, true},
    };
    const std::int32_t w = 37, h = 11;
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string stem = "magick" + std::to_string(index++);
        std::mt19937 rng(1000 + c.bits);
        std::vector<Color> set;
        if (c.colours == -2) {
            set = {0xFF000000u, 0xFFFFFFFFu};
        } else {
            for (int i = 0; i < c.colours; ++i) set.push_back(0xFF000000u | (rng() & 0xFFFFFF));
        }
        std::vector<Color> picture;
        for (std::int32_t i = 0; i < w * h; ++i) {
            Color p = set.empty() ? rng() : set[rng() % set.size()];
            if (!c.alpha) p |= 0xFF000000u;
            picture.push_back(p);
        }
        // The source as a PAM, which ImageMagick reads exactly.
        std::string pam = "P7\nWIDTH " + std::to_string(w) + "\nHEIGHT " + std::to_string(h) + "\nDEPTH " +
                          (c.alpha ? "4" : "3") + "\nMAXVAL 255\nTUPLTYPE " + (c.alpha ? "RGB_ALPHA" : "RGB") +
                          "\nENDHDR\n";
        Bytes source(pam.begin(), pam.end());
        for (Color p : picture) {
            source.push_back(static_cast<std::uint8_t>(p >> 16));
            source.push_back(static_cast<std::uint8_t>(p >> 8));
            source.push_back(static_cast<std::uint8_t>(p));
            if (c.alpha) source.push_back(static_cast<std::uint8_t>(p >> 24));
        }
        const std::string in = write_file(stem + ".pam", source);
        const std::string out = (fs::path(dir_) / (stem + ".bmp")).string();
        const std::string command = std::string("convert '") + in + "' " + c.args + " '" + c.format + out + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;

        // The reference is ImageMagick's own reading of the file it wrote: its
        // palette reduction is not always exact, and what counts here is that
        // both readers agree.
        const std::string rgba = (fs::path(dir_) / (stem + ".rgba")).string();
        const std::string decode = "convert '" + out + "' -depth 8 'RGBA:" + rgba + "'";
        ASSERT_EQ(std::system(decode.c_str()), 0) << decode;
        const Bytes reference = read_file(rgba);
        ASSERT_EQ(reference.size(), static_cast<std::size_t>(w * h * 4));
        std::vector<Color> expected;
        for (std::size_t i = 0; i < reference.size(); i += 4) {
            expected.push_back((Color{reference[i + 3]} << 24) | (Color{reference[i]} << 16) |
                               (Color{reference[i + 1]} << 8) | Color{reference[i + 2]});
        }
        std::size_t differing = 0;
        for (std::size_t i = 0; i < expected.size(); ++i) differing += expected[i] != picture[i];
        EXPECT_LT(differing, expected.size() / 10) << "ImageMagick changed much of the picture";

        Bytes bytes = read_file(out);
        ASSERT_GE(bytes.size(), 54u);
        ASSERT_EQ(get32(&bytes[14]), 40u) << "ImageMagick wrote another header form";
        ASSERT_EQ(bytes[28] | (bytes[29] << 8), c.bits) << command;
        if (c.flip) {
            const std::size_t offset = get32(&bytes[10]);
            const std::size_t row = padded_row(w, c.bits);
            Bytes flipped(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
            for (std::int32_t y = h - 1; y >= 0; --y) {
                const auto start = bytes.begin() + static_cast<std::ptrdiff_t>(offset + static_cast<std::size_t>(y) * row);
                flipped.insert(flipped.end(), start, start + static_cast<std::ptrdiff_t>(row));
            }
            put32(flipped, 22, static_cast<std::uint32_t>(-h));
            bytes = flipped;
        }

        ImagePtr image = fresh();
        ASSERT_EQ(gfx::image_load_bmp(write_file(stem + "-loaded.bmp", bytes), image.get()), Status::Ok);
        const ImageView v = view(*image);
        ASSERT_EQ(v.width, w);
        ASSERT_EQ(v.height, h);
        EXPECT_TRUE(same_pixels(v, expected, w, w, h));
    }
}

TEST_F(Bmp, RefusesImageMagicksCompressedAndNewerForms) {
    if (!have_convert()) GTEST_SKIP() << "ImageMagick's convert is not installed (Debian package imagemagick)";
    const struct {
        const char* name;
        const char* command;  // %s: output file
    } cases[] = {
        {"8-bit run-length", "convert -seed 3 -size 40x20 plasma:fractal -type palette -colors 200 -compress rle"},
        {"124-byte information header", "convert -size 40x20 xc:red -type truecolor"},
    };
    const char* formats[] = {"BMP3:", "BMP:"};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        const std::string out = (fs::path(dir_) / "refused.bmp").string();
        const std::string command = std::string(cases[i].command) + " '" + formats[i] + out + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        ImagePtr image = fresh();
        const Bytes before = snapshot(*image);
        EXPECT_EQ(gfx::image_load_bmp(out, image.get()), Status::FileIoError);
        EXPECT_EQ(snapshot(*image), before);
    }
}

}  // namespace
