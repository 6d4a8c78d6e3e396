#include "gfx/blit_rows.hpp"

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace gfx::detail {
namespace {

void transparent_scalar(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
                        std::int32_t src_pitch, std::int32_t dst_pitch, std::int32_t) {
    for (std::int32_t y = 0; y < h; ++y, src += src_pitch, dst += dst_pitch) {
        for (std::int32_t x = 0; x < w; ++x) transparent_pixel(src + 4 * x, dst + 4 * x);
    }
}

void blend_scalar(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h, std::int32_t src_pitch,
                  std::int32_t dst_pitch, std::int32_t alpha) {
    if (alpha == 0) return transparent_scalar(src, dst, w, h, src_pitch, dst_pitch, alpha);
    const int k = blend_factor(alpha);
    for (std::int32_t y = 0; y < h; ++y, src += src_pitch, dst += dst_pitch) {
        for (std::int32_t x = 0; x < w; ++x) blend_pixel(src + 4 * x, dst + 4 * x, k);
    }
}

void add_scalar(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h, std::int32_t src_pitch,
                std::int32_t dst_pitch, std::int32_t alpha) {
    const int k = add_factor(alpha);
    for (std::int32_t y = 0; y < h; ++y, src += src_pitch, dst += dst_pitch) {
        for (std::int32_t x = 0; x < w; ++x) add_pixel(src + 4 * x, dst + 4 * x, k);
    }
}

void alpha_scalar(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h, std::int32_t src_pitch,
                  std::int32_t dst_pitch, std::int32_t) {
    for (std::int32_t y = 0; y < h; ++y, src += src_pitch, dst += dst_pitch) {
        for (std::int32_t x = 0; x < w; ++x) alpha_pixel(src + 4 * x, dst + 4 * x);
    }
}

std::span<const RowSet* const> supported_sets() {
    static const std::vector<const RowSet*> sets = [] {
        std::vector<const RowSet*> found{&scalar_rows};
#if defined(__x86_64__) || defined(__i386__)
        __builtin_cpu_init();
        if (__builtin_cpu_supports("sse2")) found.push_back(&sse2_rows);
        if (__builtin_cpu_supports("avx2")) found.push_back(&avx2_rows);
        if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) found.push_back(&avx512_rows);
#endif
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

void copy_rows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h, std::int32_t src_pitch,
               std::int32_t dst_pitch, std::int32_t) {
    if (w <= 0 || h <= 0) return;
    const auto bytes = static_cast<std::size_t>(w) * 4;
    // Rows that follow each other without a gap in both (a whole Image onto
    // a whole page of its width) are one block, which the C library copies
    // faster than row by row.
    if (src_pitch == dst_pitch && static_cast<std::size_t>(src_pitch) == bytes) {
        std::memcpy(dst, src, bytes * static_cast<std::size_t>(h));
        return;
    }
    for (std::int32_t y = 0; y < h; ++y, src += src_pitch, dst += dst_pitch) std::memcpy(dst, src, bytes);
}

const RowSet scalar_rows{"scalar", copy_rows, transparent_scalar, blend_scalar, add_scalar, alpha_scalar};

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
