// Internal: the window title's 8-bit characters (Latin-1) as UTF-8, the
// encoding window systems take for titles.
#pragma once

#include <string>
#include <string_view>

namespace gfx::detail {

inline std::string title_utf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size() * 2);
    for (const char ch : latin1) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace gfx::detail
