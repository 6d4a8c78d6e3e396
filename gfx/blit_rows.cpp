#include "gfx/blit_rows.hpp"

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace gfx::detail {
namespace {

// Rows may start at any byte, so pixels are read and written through memcpy.
std::uint32_t load(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void store(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

bool is_key_at(const std::uint8_t* p) { return is_transparent_key(load(p)); }

void copy_scalar(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h, std::int32_t src_pitch,
                 std::int32_t dst_pitch, std::int32_t) {
    if (w <= 0) return;
    const auto bytes = static_cast<std::size_t>(w) * 4;
    for (std::int32_t y = 0; y < h; ++y, src += src_pitch, dst += dst_pitch) std::memcpy(dst, src, bytes);
}

void transparent_scalar(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
                        std::int32_t src_pitch, std::int32_t dst_pitch, std::int32_t) {
    for (std::int32_t y = 0; y < h; ++y, src += src_pitch, dst += dst_pitch) {
        for (std::int32_t x = 0; x < w; ++x) {
            const std::uint32_t s = load(src + 4 * x);
            if (!is_transparent_key(s)) store(dst + 4 * x, s & rgb_mask);
        }
    }
}

// d_c + floor((s_c - d_c) * k / 256); >> on a negative int is floor division
// by a power of two.
std::uint8_t mix(std::uint8_t s, std::uint8_t d, int k) { return static_cast<std::uint8_t>(d + (((s - d) * k) >> 8)); }

void blend_scalar(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h, std::int32_t src_pitch,
                  std::int32_t dst_pitch, std::int32_t alpha) {
    if (alpha == 0) return transparent_scalar(src, dst, w, h, src_pitch, dst_pitch, alpha);
    const int k = (alpha & 255) + 1;
    for (std::int32_t y = 0; y < h; ++y, src += src_pitch, dst += dst_pitch) {
        for (std::int32_t x = 0; x < w; ++x) {
            const std::uint8_t* s = src + 4 * x;
            std::uint8_t* d = dst + 4 * x;
            if (is_key_at(s)) continue;
            for (int c = 0; c < 4; ++c) d[c] = mix(s[c], d[c], k);
        }
    }
}

void add_scalar(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h, std::int32_t src_pitch,
                std::int32_t dst_pitch, std::int32_t alpha) {
    const int k = alpha & 255;
    for (std::int32_t y = 0; y < h; ++y, src += src_pitch, dst += dst_pitch) {
        for (std::int32_t x = 0; x < w; ++x) {
            const std::uint8_t* s = src + 4 * x;
            std::uint8_t* d = dst + 4 * x;
            if (is_key_at(s)) continue;
            for (int c = 0; c < 4; ++c) {
                const int sum = d[c] + ((s[c] * k) >> 8);
                d[c] = static_cast<std::uint8_t>(sum < 255 ? sum : 255);
            }
        }
    }
}

void alpha_scalar(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h, std::int32_t src_pitch,
                  std::int32_t dst_pitch, std::int32_t) {
    for (std::int32_t y = 0; y < h; ++y, src += src_pitch, dst += dst_pitch) {
        for (std::int32_t x = 0; x < w; ++x) {
            const std::uint8_t* s = src + 4 * x;
            std::uint8_t* d = dst + 4 * x;
            const int a = s[3];
            for (int c = 0; c < 4; ++c) d[c] = mix(s[c], d[c], a);
        }
    }
}

std::span<const RowSet* const> supported_sets() {
    static const std::vector<const RowSet*> sets = [] {
        std::vector<const RowSet*> found{&scalar_rows};
        return found;
    }();
    return sets;
}

const RowSet& chosen_set() {
    // Decided once; the environment is read before any drawing can happen.
    static const RowSet* const chosen = [] {
        const char* force = std::getenv("GFX_FORCE_SCALAR");
        if (force != nullptr && std::strcmp(force, "1") == 0) return &scalar_rows;
        return supported_sets().back();
    }();
    return *chosen;
}

constexpr std::array<BlitMode, 5> all_modes{BlitMode::Copy, BlitMode::Transparent, BlitMode::Blend, BlitMode::Add,
                                            BlitMode::Alpha};

}  // namespace

const RowSet scalar_rows{"scalar", copy_scalar, transparent_scalar, blend_scalar, add_scalar, alpha_scalar};

RowRoutine row_set_routine(const RowSet& set, BlitMode mode) {
    switch (mode) {
        case BlitMode::Transparent: return set.transparent;
        case BlitMode::Copy: return set.copy;
        case BlitMode::Alpha: return set.alpha;
        case BlitMode::Add: return set.add;
        case BlitMode::Blend: return set.blend;
    }
    return nullptr;
}

std::span<const RowVariant> blit_row_variants() {
    static const std::vector<RowVariant> variants = [] {
        std::vector<RowVariant> list;
        for (const RowSet* set : supported_sets()) {
            for (BlitMode mode : all_modes) list.push_back({set->name, mode, row_set_routine(*set, mode)});
        }
        return list;
    }();
    return variants;
}

const char* blit_rows_active_set() { return chosen_set().name; }

RowRoutine blit_rows(BlitMode mode) { return row_set_routine(chosen_set(), mode); }

void blit_rows(BlitMode mode, const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
               std::int32_t src_pitch, std::int32_t dst_pitch, std::int32_t alpha) {
    const RowRoutine routine = blit_rows(mode);
    if (routine != nullptr && w > 0 && h > 0) routine(src, dst, w, h, src_pitch, dst_pitch, alpha);
}

}  // namespace gfx::detail
