// Reading what the intro shows: text in the built-in font decoded back from
// pixels, and a working directory with or without the pictures.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "gfx/text.hpp"

namespace scene_test {

struct Frame {
    double time = 0.0;
    std::vector<std::uint32_t> pixels;  // 640 x 480, as the monitor shows it
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * 640 + x]; }
};

// Reads `count` 8 x 8 cells from (x, y): a cell's ink is every pixel whose
// red, green and blue equal `ink`; each cell becomes the printable character
// whose glyph matches exactly, or '?'.
inline std::string read_text(const Frame& f, int x, int y, int count, std::uint32_t ink) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        std::uint8_t rows[8] = {};
        for (int r = 0; r < 8; ++r) {
            for (int k = 0; k < 8; ++k) {
                if ((f.at(x + 8 * i + k, y + r) & 0xFFFFFFu) == (ink & 0xFFFFFFu)) rows[r] |= static_cast<std::uint8_t>(1u << k);
            }
        }
        char found = '?';
        for (int c = 32; c < 127 && found == '?'; ++c) {
            bool same = true;
            for (int r = 0; r < 8; ++r) same = same && gfx::detail::builtin_font[c * 8 + r] == rows[r];
            if (same) found = static_cast<char>(c);
        }
        out += found;
    }
    return out;
}

// A fresh directory under the system's temporary folder.
inline std::filesystem::path fresh_directory(const std::string& name) {
    auto dir = std::filesystem::temp_directory_path() / ("intro-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline std::filesystem::path data_directory() {
    const char* source = std::getenv("INTRO_SOURCE_DIR");
    return std::filesystem::path(source != nullptr ? source : ".") / "data";
}

}  // namespace scene_test
