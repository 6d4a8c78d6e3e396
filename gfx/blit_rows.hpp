// Internal: the row routines of the blend modes, one set per instruction set,
// and the table that names every variant this processor can run.
//
// Every routine of a set gives the same bytes as the scalar set for any
// width, height, pitch and alignment (rows need not be 4-byte aligned); w or
// h <= 0 draws nothing. Each Blend routine handles alpha 0 itself by running
// Transparent, so a routine pointer is complete on its own. Source and target
// rows must not overlap.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

#include "gfx/blit.hpp"
#include "gfx/types.hpp"

namespace gfx::detail {

// One pixel of each formula, shared by the scalar routines and the leading
// and trailing pixels of the vector ones. s and d may sit at any byte.
inline std::uint32_t load_pixel(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void store_pixel(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

// d_c + floor((s_c - d_c) * k / 256): >> of a negative int floors.
inline std::uint8_t mix_byte(int s, int d, int k) { return static_cast<std::uint8_t>(d + (((s - d) * k) >> 8)); }

inline void transparent_pixel(const std::uint8_t* s, std::uint8_t* d) {
    const std::uint32_t v = load_pixel(s);
    if (!is_transparent_key(v)) store_pixel(d, v & rgb_mask);
}

// k = (alpha & 255) + 1, 1..256.
inline void blend_pixel(const std::uint8_t* s, std::uint8_t* d, int k) {
    if (is_transparent_key(load_pixel(s))) return;
    for (int c = 0; c < 4; ++c) d[c] = mix_byte(s[c], d[c], k);
}

// k = alpha & 255, 0..255.
inline void add_pixel(const std::uint8_t* s, std::uint8_t* d, int k) {
    if (is_transparent_key(load_pixel(s))) return;
    for (int c = 0; c < 4; ++c) {
        const int sum = d[c] + ((s[c] * k) >> 8);
        d[c] = static_cast<std::uint8_t>(sum < 255 ? sum : 255);
    }
}

// By the source's own alpha byte (byte 3), no key test.
inline void alpha_pixel(const std::uint8_t* s, std::uint8_t* d) {
    const int a = s[3];
    for (int c = 0; c < 4; ++c) d[c] = mix_byte(s[c], d[c], a);
}

inline int blend_factor(std::int32_t alpha) { return (alpha & 255) + 1; }
inline int add_factor(std::int32_t alpha) { return alpha & 255; }

struct RowSet {
    const char* name;  // "scalar", "sse2", "avx2", "avx512"
    RowRoutine copy, transparent, blend, add, alpha;
};

// Copy in every set: a block copy per row, which the C library already does
// with the widest moves the processor has.
void copy_rows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h, std::int32_t src_pitch,
               std::int32_t dst_pitch, std::int32_t alpha);

RowRoutine row_set_routine(const RowSet& set, BlitMode mode);

extern const RowSet scalar_rows;
#if defined(__x86_64__) || defined(__i386__)
extern const RowSet sse2_rows;
extern const RowSet avx2_rows;
extern const RowSet avx512_rows;
#endif

struct RowVariant {
    const char* name;  // the set's name
    BlitMode mode;
    RowRoutine routine;
};

// Every compiled variant that the processor supports, the scalar set first,
// each set with all five modes. Independent of GFX_FORCE_SCALAR.
std::span<const RowVariant> blit_row_variants();

// The name of the set that blit_rows dispatches to.
const char* blit_rows_active_set();

}  // namespace gfx::detail
