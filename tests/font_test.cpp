// The built-in font table: known glyphs, and that tools/make_font reproduces
// the checked-in file from the seabios VGA image.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "gfx/text.hpp"

namespace {

namespace fs = std::filesystem;
constexpr const char* bios_image = "/usr/share/seabios/vgabios-stdvga.bin";

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(BuiltinFont, KnownGlyphs) {
    const struct {
        int code;
        std::array<std::uint8_t, 8> rows;
    } cases[] = {
        {65, {0x0C, 0x1E, 0x33, 0x33, 0x3F, 0x33, 0x33, 0x00}},   // A, leftmost pixel in bit 0
        {1, {0x7E, 0x81, 0xA5, 0x81, 0xBD, 0x99, 0x81, 0x7E}},    // the smiling face
        {219, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},  // full block
        {0, {}},
        {32, {}},
        {255, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        for (int r = 0; r < 8; ++r) EXPECT_EQ(gfx::detail::builtin_font[8 * c.code + r], c.rows[static_cast<std::size_t>(r)]) << "row " << r;
    }
}

TEST(BuiltinFont, EveryPrintableCharacterBesidesSpaceHasInk) {
    for (int code = 33; code < 127; ++code) {
        int ink = 0;
        for (int r = 0; r < 8; ++r) ink += gfx::detail::builtin_font[8 * code + r] != 0;
        EXPECT_GT(ink, 0) << "code " << code;
    }
}

class MakeFont : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/font_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    int run(const std::string& input, const std::string& output) {
        const std::string command = std::string("'") + MAKE_FONT_PATH + "' '" + input + "' '" + output + "' 2>/dev/null";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string dir_;
};

TEST_F(MakeFont, ReproducesTheCheckedInTable) {
    if (!fs::exists(bios_image)) GTEST_SKIP() << bios_image << " is missing (Debian package seabios)";
    const char* source_dir = std::getenv("INTRO_SOURCE_DIR");
    if (source_dir == nullptr) source_dir = SOURCE_DIR;
    const std::string out = dir_ + "/font_builtin.cpp";
    ASSERT_EQ(run(bios_image, out), 0);
    const std::string made = read_text(out);
    EXPECT_FALSE(made.empty());
    EXPECT_EQ(made, read_text(std::string(source_dir) + "/gfx/font_builtin.cpp"))
        << "regenerate with: make_font " << bios_image << " gfx/font_builtin.cpp";
}

TEST_F(MakeFont, FindsTheTableByItsSignatureAndReversesTheBits) {
    // A made-up image: some noise, then the signature and glyphs 2..255 with
    // glyph c's rows all equal to c, in the image's own bit order.
    std::string image(333, '\x5A');
    image += std::string(8, '\0');
    for (unsigned char b : {0x7E, 0x81, 0xA5, 0x81, 0xBD, 0x99, 0x81, 0x7E}) image += static_cast<char>(b);
    for (int c = 2; c < 256; ++c) image += std::string(8, static_cast<char>(c));
    const struct {
        const char* name;
        std::string bytes;
        int exit_code;
    } cases[] = {
        {"signature found", image, 0},
        {"table cut short", image.substr(0, image.size() - 1), 1},
        {"no signature", std::string(4096, '\0'), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = dir_ + "/image.bin", out = dir_ + "/out.cpp";
        std::ofstream(in, std::ios::binary) << c.bytes;
        fs::remove(out);
        EXPECT_EQ(run(in, out), c.exit_code);
        if (c.exit_code != 0) continue;
        const std::string made = read_text(out);
        // Glyph 0x01 (bits 00000001) reverses to 0x80 and 0x06 to 0x60.
        EXPECT_NE(made.find("0x7E, 0x81, 0xA5, 0x81, 0xBD, 0x99, 0x81, 0x7E,  // 1\n"), std::string::npos);
        EXPECT_NE(made.find("0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40,  // 2\n"), std::string::npos);
        EXPECT_NE(made.find("0x60, 0x60, 0x60, 0x60, 0x60, 0x60, 0x60, 0x60,  // 6\n"), std::string::npos);
        EXPECT_NE(made.find("0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0,  // 15\n"), std::string::npos);
        EXPECT_NE(made.find("0x82, 0x82, 0x82, 0x82, 0x82, 0x82, 0x82, 0x82,  // 65 'A'\n"), std::string::npos);
        EXPECT_NE(made.find("found at\n// byte 333 "), std::string::npos);
    }
}

}  // namespace
