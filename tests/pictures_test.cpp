// The seven pictures in data/: the generator makes them again byte for
// byte, and each one meets what the scenes rely on when it is loaded,
// placed and blended as they do.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "gfx/bmp.hpp"
#include "gfx/image.hpp"
#include "gfx/screen.hpp"
#include "gfx/text.hpp"
#include "tools/picture_file.hpp"

namespace {

namespace fs = std::filesystem;
using gfx::Color;

constexpr const char* picture_names[] = {"frame0.bmp", "frame.bmp",    "glw.bmp", "fnt32b.bmp",
                                         "kelvorn.bmp", "kelvorn2.bmp", "back.bmp"};

fs::path data_dir() {
    const char* env = std::getenv("INTRO_SOURCE_DIR");
    return fs::path(env != nullptr && *env != '\0' ? env : PICTURES_SOURCE_DIR) / "data";
}

std::vector<char> file_bytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool is_key(Color c) { return (c & 0x00FFFFFFu) == 0x00FF00FFu; }
int channel(Color c, int shift) { return static_cast<int>(c >> shift & 255); }
int luminance(Color c) { return (channel(c, 16) * 3 + channel(c, 8) * 6 + channel(c, 0)) / 10; }

TEST(PicturesGenerator, MakesDataAgainByteForByte) {
    char pattern[] = "/tmp/pictures_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path out = pattern;
    const std::string command = std::string("'") + MAKE_PICTURES + "' '" + out.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    for (const char* name : picture_names) {
        SCOPED_TRACE(name);
        const auto expected = file_bytes(data_dir() / name);
        const auto made = file_bytes(out / name);
        ASSERT_FALSE(expected.empty()) << "missing " << (data_dir() / name);
        EXPECT_TRUE(made == expected)
            << "the generator no longer draws the checked-in " << name << " (" << made.size() << " bytes against "
            << expected.size() << "); the new one is in " << out
            << ". If the change is meant, regenerate data/ with: " << MAKE_PICTURES << " " << data_dir();
        if (made == expected) fs::remove(out / name);
    }
    std::error_code ignored;
    fs::remove(out, ignored);  // kept, with the differing files, when something differs
}

class Pictures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gfx::screen_request_backend("Headless");
        ASSERT_EQ(gfx::screen_open(640, 480, 32, 2, 0, 0), gfx::Status::Ok) << gfx::screen_open_failure();
    }
    static void TearDownTestSuite() {
        gfx::screen_close();
        gfx::screen_request_backend("");
    }

    // Loads the picture into a fresh Image of the size the intro creates for
    // it, as the intro does.
    static gfx::Image* load(const char* name, std::int32_t width, std::int32_t height) {
        gfx::Image* image = gfx::image_create(width, height, 0, 0, gfx::flag_no_colour);
        EXPECT_NE(image, nullptr);
        if (image == nullptr) return nullptr;
        EXPECT_EQ(gfx::image_load_bmp((data_dir() / name).string(), image), gfx::Status::Ok) << name;
        return image;
    }
    static tools::Pixels pixels(const char* name, std::int32_t width, std::int32_t height) {
        gfx::Image* image = load(name, width, height);
        if (image == nullptr) return {};
        tools::Pixels out = tools::image_pixels(*image);
        gfx::image_destroy(image);
        return out;
    }
};

TEST_F(Pictures, EachLoadsWithTheSizeTheScenesExpect) {
    const struct {
        const char* name;
        std::int32_t created_w, created_h, width, height;
    } cases[] = {
        {"frame0.bmp", 641, 480, 640, 480}, {"frame.bmp", 641, 480, 640, 480},     {"glw.bmp", 121, 61, 121, 61},
        {"fnt32b.bmp", 864, 18, 864, 18},   {"kelvorn.bmp", 641, 241, 640, 240},  {"kelvorn2.bmp", 641, 241, 640, 240},
        {"back.bmp", 801, 601, 800, 600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const tools::Pixels p = pixels(c.name, c.created_w, c.created_h);
        EXPECT_EQ(p.width, c.width);
        EXPECT_EQ(p.height, c.height);
        EXPECT_EQ(p.data.size(), static_cast<std::size_t>(c.width) * static_cast<std::size_t>(c.height));
    }
}

TEST_F(Pictures, FrameWindowShowsTheWholeBorderAndOnlyNoise) {
    // Screen pixels, ends included: the simulated screen with its border, and
    // the noise around it, where the boot canvas lies at (99, 64).
    constexpr int border_l = 119, border_t = 84, border_r = 519, border_b = 386;
    constexpr int noise_l = 99, noise_t = 64, noise_r = 546, noise_b = 447;
    for (const char* name : {"frame0.bmp", "frame.bmp"}) {
        SCOPED_TRACE(name);
        const tools::Pixels p = pixels(name, 641, 480);
        ASSERT_EQ(p.width, 640);
        ASSERT_EQ(p.height, 480);

        int border_hidden = 0, outside_noise = 0, keys = 0;
        for (int y = 0; y < p.height; ++y) {
            for (int x = 0; x < p.width; ++x) {
                const bool key = is_key(p.at(x, y));
                keys += key;
                if (!key && x >= border_l && x <= border_r && y >= border_t && y <= border_b) ++border_hidden;
                if (key && (x < noise_l || x > noise_r || y < noise_t || y > noise_b)) ++outside_noise;
            }
        }
        EXPECT_EQ(border_hidden, 0) << "frame pixels over the simulated screen or its border";
        EXPECT_EQ(outside_noise, 0) << "see-through pixels where the canvas has no noise";

        // One window: every key pixel is reached from the middle through key
        // pixels, so no stray see-through dot sits in the case.
        std::vector<std::uint8_t> seen(p.data.size(), 0);
        std::vector<int> todo{240 * 640 + 320};
        seen[todo.back()] = 1;
        int reached = 0;
        while (!todo.empty()) {
            const int at = todo.back();
            todo.pop_back();
            ++reached;
            const int x = at % 640, y = at / 640;
            for (const auto& [nx, ny] : {std::pair{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}}) {
                if (nx < 0 || ny < 0 || nx >= 640 || ny >= 480) continue;
                const int next = ny * 640 + nx;
                if (!seen[next] && is_key(p.data[next])) {
                    seen[next] = 1;
                    todo.push_back(next);
                }
            }
        }
        EXPECT_EQ(reached, keys);
    }
}

TEST_F(Pictures, OnlyThePowerLightChangesBetweenTheFrames) {
    const tools::Pixels off = pixels("frame0.bmp", 641, 480), on = pixels("frame.bmp", 641, 480);
    ASSERT_EQ(off.data.size(), on.data.size());
    int left = 640, right = -1, top = 480, bottom = -1;
    long red_off = 0, red_on = 0;
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            if (off.at(x, y) == on.at(x, y)) continue;
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
            red_off += channel(off.at(x, y), 16);
            red_on += channel(on.at(x, y), 16);
        }
    }
    ASSERT_GE(right, left) << "the two frames are the same: the light is not lit";
    EXPECT_LE(right - left, 64);
    EXPECT_LE(bottom - top, 64);
    EXPECT_GT(top, 400) << "the light belongs below the window";
    EXPECT_GT(red_on, red_off);
}

TEST_F(Pictures, GlareFadesIntoTheKeyWithoutAnEdge) {
    const tools::Pixels p = pixels("glw.bmp", 121, 61);
    ASSERT_EQ(p.width, 121);
    ASSERT_EQ(p.height, 61);
    // The glare lies mostly on the light-blue border (0xFF7F7FD7), blended at
    // alpha 66: d + floor((s - d) x 67 / 256) per byte.
    constexpr Color border = 0xFF7F7FD7u;
    int shown = 0, brightest = 0, worst_step = 0;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const Color c = p.at(x, y);
            const bool edge_of_picture = x == 0 || y == 0 || x == p.width - 1 || y == p.height - 1;
            if (is_key(c)) continue;
            ++shown;
            if (edge_of_picture) {
                ADD_FAILURE() << "glare cut by the picture's edge at " << x << ", " << y;
                continue;
            }
            brightest = std::max(brightest, luminance(c));
            const bool fringe = is_key(p.at(x - 1, y)) || is_key(p.at(x + 1, y)) || is_key(p.at(x, y - 1)) ||
                                is_key(p.at(x, y + 1));
            if (!fringe) continue;
            for (int shift : {0, 8, 16}) {
                const int d = channel(border, shift), s = channel(c, shift);
                const int step = static_cast<int>(std::floor((s - d) * 67 / 256.0));
                worst_step = std::max(worst_step, std::abs(step));
            }
        }
    }
    EXPECT_GT(shown, 1500);
    EXPECT_GE(brightest, 230) << "no bright middle";
    EXPECT_LE(worst_step, 12) << "the glare's rim shows as an edge on the border";
}

TEST_F(Pictures, FontDrawsEachGlyphInItsCell) {
    gfx::Image* font = load("fnt32b.bmp", 864, 18);
    ASSERT_NE(font, nullptr);
    // The font header as the intro writes it, at the start of the pixel data.
    auto bytes = gfx::image_bytes(*font);
    const std::size_t start = bytes[0] == 7 ? 32 : 4;
    bytes[start] = 0;
    bytes[start + 1] = 32;
    bytes[start + 2] = 127;
    for (std::size_t i = 3; i < 99; ++i) bytes[start + i] = 8;

    std::string all;
    for (int code = 32; code <= 127; ++code) all += static_cast<char>(code);
    constexpr Color ground = 0xFF000000u;
    gfx::Image* target = gfx::image_create(8 * 96 + 16, 17, ground, 0, 0);
    ASSERT_NE(target, nullptr);
    ASSERT_EQ(gfx::draw_text(target, 8, 0, 4, all, 0, font, gfx::BlitMode::Transparent), gfx::Status::Ok);
    const tools::Pixels drawn = tools::image_pixels(*target);
    gfx::image_destroy(target);
    gfx::image_destroy(font);
    ASSERT_EQ(drawn.width, 8 * 96 + 16);

    for (int y = 0; y < 17; ++y)
        for (int x : {0, 1, 2, 3, 4, 5, 6, 7, 8 * 97, 8 * 97 + 7}) EXPECT_EQ(drawn.at(x, y), ground) << x << ", " << y;

    // Ink is the chrome (bright), the outline dark; the built-in glyph's rows
    // appear doubled from the second row on, the glyph moved sideways as a
    // whole (to centre it) but kept inside its cell.
    for (int code = 32; code <= 127; ++code) {
        SCOPED_TRACE(code);
        const int left = 8 + 8 * (code - 32);
        const std::uint8_t* glyph = &gfx::detail::builtin_font[code * 8];
        bool matched = false;
        for (int shift = -7; shift <= 7 && !matched; ++shift) {
            bool same = true;
            for (int y = 0; y < 17 && same; ++y) {
                for (int x = 0; x < 8 && same; ++x) {
                    const int gx = x - shift, gy = (y - 1) / 2;
                    const bool expected = y >= 1 && gx >= 0 && gx < 8 && (glyph[gy] >> gx & 1);
                    const Color c = drawn.at(left + x, y);
                    same = expected == (c != ground && luminance(c) >= 70);
                }
            }
            matched = same;
        }
        EXPECT_TRUE(matched) << "glyph " << static_cast<char>(code) << " is not where it belongs";

        int ink = 0, stray = 0;
        for (int y = 0; y < 17; ++y) {
            for (int x = 0; x < 8; ++x) {
                const Color c = drawn.at(left + x, y);
                if (c == ground) continue;
                EXPECT_FALSE(is_key(c));
                if (luminance(c) >= 70) {
                    ++ink;
                    continue;
                }
                bool near_ink = false;
                for (int ny = y - 1; ny <= y + 1; ++ny)
                    for (int nx = x - 1; nx <= x + 1; ++nx)
                        if (ny >= 0 && ny < 17 && nx >= 0 && nx < 8 && drawn.at(left + nx, ny) != ground &&
                            luminance(drawn.at(left + nx, ny)) >= 70)
                            near_ink = true;
                stray += !near_ink;
            }
        }
        EXPECT_EQ(stray, 0) << "outline pixels away from the glyph";
        if (code > 32) {
            EXPECT_GT(ink, 0);
        }
    }
}

TEST_F(Pictures, LogosAreKeyedAndNeverAddOntoEachOther) {
    const tools::Pixels logo = pixels("kelvorn.bmp", 641, 241), logo2 = pixels("kelvorn2.bmp", 641, 241);
    ASSERT_EQ(logo.width, 640);
    ASSERT_EQ(logo2.width, 640);
    const struct {
        const tools::Pixels& p;
        int x, y;
    } placed[] = {{logo, 0, 120}, {logo2, 160, 60}};

    std::vector<int> covered(640 * 480, 0);
    for (const auto& l : placed) {
        int letters = 0;
        for (int y = 0; y < l.p.height; ++y) {
            for (int x = 0; x < l.p.width; ++x) {
                if (is_key(l.p.at(x, y))) continue;
                ++letters;
                const int sx = l.x + x, sy = l.y + y;
                if (sx < 640 && sy < 480) ++covered[sy * 640 + sx];
            }
        }
        EXPECT_GT(letters, 5000);
        EXPECT_TRUE(is_key(l.p.at(0, 0)) && is_key(l.p.at(639, 239)));
    }
    EXPECT_EQ(std::count(covered.begin(), covered.end(), 2), 0) << "the logos overlap on the screen";
    int off_screen = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 480; x < 640; ++x) off_screen += !is_key(logo2.at(x, y));
    EXPECT_EQ(off_screen, 0) << "parts of the second logo that the screen never shows";
}

TEST_F(Pictures, BackgroundIsDarkAndPatterned) {
    const tools::Pixels p = pixels("back.bmp", 801, 601);
    ASSERT_EQ(p.data.size(), 800u * 600u);
    int highest = 0, darkest = 255, lightest = 0;
    double sum = 0, sum2 = 0;
    for (Color c : p.data) {
        for (int shift : {0, 8, 16}) highest = std::max(highest, channel(c, shift));
        const int l = luminance(c);
        darkest = std::min(darkest, l);
        lightest = std::max(lightest, l);
        sum += l;
        sum2 += static_cast<double>(l) * l;
    }
    const double mean = sum / static_cast<double>(p.data.size());
    const double spread = std::sqrt(sum2 / static_cast<double>(p.data.size()) - mean * mean);
    EXPECT_LE(highest, 120) << "added to itself it would wash out";
    EXPECT_GT(lightest - darkest, 30) << "no pattern to see";
    EXPECT_GT(spread, 6.0);
}

}  // namespace
