#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "gfx/blit.hpp"
#include "gfx/blit_rows.hpp"

using namespace gfx;
using detail::RowRoutine;
using detail::RowVariant;

namespace {

std::string mode_name(BlitMode mode) {
    switch (mode) {
        case BlitMode::Transparent: return "Transparent";
        case BlitMode::Copy: return "Copy";
        case BlitMode::Alpha: return "Alpha";
        case BlitMode::Add: return "Add";
        case BlitMode::Blend: return "Blend";
    }
    return "Unknown";
}

// The alpha arguments worth trying for each mode: the edges of k's range and
// both sides of 128, where a signed 16-bit product would start to overflow.
std::vector<std::int32_t> alphas_for(BlitMode mode) {
    switch (mode) {
        case BlitMode::Blend:
        case BlitMode::Add: return {0, 1, 2, 66, 127, 128, 129, 130, 200, 254, 255, -1, 256, 383, -129, INT32_MIN};
        default: return {-1, 0, 77};
    }
}

RowRoutine reference_of(BlitMode mode) { return detail::row_set_routine(detail::scalar_rows, mode); }

// The formulas again, in floating point, independent of the row routines'
// integer tricks.
std::uint8_t formula_byte(BlitMode mode, std::int32_t alpha, int s, int d, int s_alpha) {
    switch (mode) {
        case BlitMode::Copy: return static_cast<std::uint8_t>(s);
        case BlitMode::Blend: {
            const int k = (alpha & 255) + 1;
            return static_cast<std::uint8_t>(d + std::floor((s - d) * k / 256.0));
        }
        case BlitMode::Add: {
            const int k = alpha & 255;
            return static_cast<std::uint8_t>(std::min(255.0, d + std::floor(s * k / 256.0)));
        }
        case BlitMode::Alpha: return static_cast<std::uint8_t>(d + std::floor((s - d) * s_alpha / 256.0));
        case BlitMode::Transparent: break;
    }
    return 0;
}

struct Mismatch {
    long count = 0;
    std::string first;
    void note(const std::string& where) {
        if (count++ == 0) first = where;
    }
};

std::string hex(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", v);
    return text;
}

std::uint32_t pixel_at(const std::vector<std::uint8_t>& b, std::size_t offset) {
    std::uint32_t v;
    std::memcpy(&v, b.data() + offset, 4);
    return v;
}

class Variant : public ::testing::TestWithParam<RowVariant> {};

std::vector<RowVariant> fast_variants() {
    std::vector<RowVariant> list;
    for (const RowVariant& v : detail::blit_row_variants()) {
        if (std::string(v.name) != "scalar") list.push_back(v);
    }
    return list;
}

std::string variant_name(const ::testing::TestParamInfo<RowVariant>& info) {
    return std::string(info.param.name) + "_" + mode_name(info.param.mode);
}

// Every (source byte, target byte) pair in all four bytes of a pixel, checked
// against the floating-point formula; for Alpha with every source alpha.
class EveryBytePair : public Variant {};

TEST_P(EveryBytePair, MatchesTheFormula) {
    const RowVariant& v = GetParam();
    std::vector<std::uint8_t> src(65536 * 4), dst(65536 * 4), want(65536 * 4);
    Mismatch bad;
    const auto check = [&](std::int32_t alpha, int s_alpha) {
        for (int i = 0; i < 65536; ++i) {
            const int s = i >> 8, d = i & 255;
            const std::uint32_t sp = s_alpha < 0 ? 0x01010101u * static_cast<std::uint32_t>(s)
                                                 : (static_cast<std::uint32_t>(s_alpha) << 24) |
                                                       0x010101u * static_cast<std::uint32_t>(s);
            const std::uint32_t dp = 0x01010101u * static_cast<std::uint32_t>(d);
            std::memcpy(&src[4 * i], &sp, 4);
            std::memcpy(&dst[4 * i], &dp, 4);
            const int sa = static_cast<int>(sp >> 24);
            for (int c = 0; c < 4; ++c) want[4 * i + c] = formula_byte(v.mode, alpha, src[4 * i + c], d, sa);
        }
        // One long row, then the same pairs as 256 rows of 256 with padding.
        std::vector<std::uint8_t> out = dst;
        v.routine(src.data(), out.data(), 65536, 1, 0, 0, alpha);
        std::vector<std::uint8_t> out2 = dst;
        v.routine(src.data(), out2.data(), 256, 256, 1024, 1024, alpha);
        for (std::size_t b = 0; b < want.size(); ++b) {
            if (out[b] != want[b] || out2[b] != want[b]) {
                bad.note("alpha " + std::to_string(alpha) + " source alpha " + std::to_string(s_alpha) +
                         " pixel " + std::to_string(b / 4) + " byte " + std::to_string(b % 4) + ": got " +
                         std::to_string(out[b]) + "/" + std::to_string(out2[b]) + " want " +
                         std::to_string(want[b]));
            }
        }
    };
    if (v.mode == BlitMode::Alpha) {
        for (int s_alpha = 0; s_alpha < 256; ++s_alpha) check(-1, s_alpha);
    } else {
        for (std::int32_t alpha : alphas_for(v.mode)) {
            if (v.mode == BlitMode::Blend && alpha == 0) continue;  // runs Transparent
            check(alpha, -1);
        }
    }
    EXPECT_EQ(bad.count, 0) << bad.first;
}

// Transparent does no arithmetic; the key and random tests cover it.
std::vector<RowVariant> arithmetic_variants() {
    std::vector<RowVariant> list;
    for (const RowVariant& v : detail::blit_row_variants()) {
        if (v.mode != BlitMode::Transparent) list.push_back(v);
    }
    return list;
}

INSTANTIATE_TEST_SUITE_P(All, EveryBytePair, ::testing::ValuesIn(arithmetic_variants()), variant_name);

// Source pixels in runs of one class, so vectors that are all key, partly key
// and free of key all occur, as do all-clear and all-opaque alphas.
std::uint32_t random_pixel(std::mt19937& rng, int kind) {
    const std::uint32_t r = rng();
    switch (kind) {
        case 0: return (r & 0xFF000000u) | key_rgb;           // key, any alpha
        case 1: return r & 0x00FFFFFFu;                       // alpha 0
        case 2: return r | 0xFF000000u;                       // opaque
        case 3: return (r & 0xFF000000u) | (0x00FF00FEu ^ (r & 0x00010100u));  // near the key
        default: return r;
    }
}

std::vector<std::uint8_t> random_row_bytes(std::mt19937& rng, std::size_t pixels, bool with_runs) {
    std::vector<std::uint8_t> bytes(pixels * 4);
    std::size_t i = 0;
    while (i < pixels) {
        const int kind = static_cast<int>(rng() % 6);
        const std::size_t run = with_runs ? 1 + rng() % 24 : 1;
        for (std::size_t j = 0; j < run && i < pixels; ++j, ++i) {
            const std::uint32_t p = random_pixel(rng, kind);
            std::memcpy(&bytes[4 * i], &p, 4);
        }
    }
    return bytes;
}

class RandomPixels : public Variant {};

TEST_P(RandomPixels, SameBytesAsTheReference) {
    const RowVariant& v = GetParam();
    const RowRoutine reference = reference_of(v.mode);
    std::mt19937 rng(20240611u);
    Mismatch bad;
    for (int round = 0; round < 40; ++round) {
        const std::int32_t w = 1 + static_cast<std::int32_t>(rng() % 300);
        const std::int32_t h = 1 + static_cast<std::int32_t>(rng() % 6);
        const std::int32_t src_pitch = 4 * w + 4 * static_cast<std::int32_t>(rng() % 9);
        const std::int32_t dst_pitch = 4 * w + static_cast<std::int32_t>(rng() % 37);
        const bool runs = round % 2 == 0;
        const auto src = random_row_bytes(rng, static_cast<std::size_t>(src_pitch / 4 + 1) * h, runs);
        const auto dst = random_row_bytes(rng, static_cast<std::size_t>(dst_pitch / 4 + 1) * h, runs);
        for (std::int32_t alpha : alphas_for(v.mode)) {
            std::vector<std::uint8_t> got = dst, want = dst;
            v.routine(src.data(), got.data(), w, h, src_pitch, dst_pitch, alpha);
            reference(src.data(), want.data(), w, h, src_pitch, dst_pitch, alpha);
            for (std::size_t b = 0; b + 4 <= got.size(); b += 4) {
                if (pixel_at(got, b) != pixel_at(want, b)) {
                    bad.note("round " + std::to_string(round) + " alpha " + std::to_string(alpha) + " byte " +
                             std::to_string(b) + ": got " + hex(pixel_at(got, b)) + " want " +
                             hex(pixel_at(want, b)));
                }
            }
        }
    }
    EXPECT_EQ(bad.count, 0) << bad.first;
}

INSTANTIATE_TEST_SUITE_P(Fast, RandomPixels, ::testing::ValuesIn(fast_variants()), variant_name);

// Key pixels (and pixels one bit away from it) with every alpha byte, over
// every kind of target, in every alignment within a vector.
class KeyPixels : public Variant {};

TEST_P(KeyPixels, SameBytesAsTheReference) {
    const RowVariant& v = GetParam();
    const RowRoutine reference = reference_of(v.mode);
    const std::uint32_t rgbs[] = {key_rgb, 0x00FF00FEu, 0x00FE00FFu, 0x00FF01FFu, 0x007F00FFu};
    std::vector<std::uint32_t> src, dst;
    std::mt19937 rng(77u);
    for (std::uint32_t rgb : rgbs) {
        for (std::uint32_t a = 0; a < 256; ++a) {
            src.push_back(a << 24 | rgb);
            dst.push_back(rng());
        }
    }
    Mismatch bad;
    for (std::int32_t alpha : alphas_for(v.mode)) {
        for (std::size_t shift = 0; shift < 17; ++shift) {
            std::vector<std::uint32_t> got = dst, want = dst;
            const auto n = static_cast<std::int32_t>(src.size() - shift);
            v.routine(reinterpret_cast<const std::uint8_t*>(src.data() + shift),
                      reinterpret_cast<std::uint8_t*>(got.data()), n, 1, 0, 0, alpha);
            reference(reinterpret_cast<const std::uint8_t*>(src.data() + shift),
                      reinterpret_cast<std::uint8_t*>(want.data()), n, 1, 0, 0, alpha);
            for (std::size_t i = 0; i < got.size(); ++i) {
                if (got[i] != want[i]) {
                    bad.note("alpha " + std::to_string(alpha) + " source " + hex(src[i + shift]) + ": got " +
                             hex(got[i]) + " want " + hex(want[i]));
                }
            }
        }
    }
    EXPECT_EQ(bad.count, 0) << bad.first;
}

INSTANTIATE_TEST_SUITE_P(Fast, KeyPixels, ::testing::ValuesIn(fast_variants()), variant_name);

// The keyed modes never touch a target pixel under a key, whatever the
// variant; checked on its own so that the reference is held to it too.
TEST(KeyedModes, LeaveTheTargetUnderTheKey) {
    Mismatch bad;
    for (const RowVariant& v : detail::blit_row_variants()) {
        if (v.mode == BlitMode::Copy || v.mode == BlitMode::Alpha) continue;
        for (std::int32_t alpha : alphas_for(v.mode)) {
            std::vector<std::uint32_t> src(256), dst(256), got;
            for (std::uint32_t a = 0; a < 256; ++a) {
                src[a] = a << 24 | key_rgb;
                dst[a] = 0x9E3779B9u * (a + 1);
            }
            got = dst;
            v.routine(reinterpret_cast<const std::uint8_t*>(src.data()), reinterpret_cast<std::uint8_t*>(got.data()),
                      256, 1, 0, 0, alpha);
            if (got != dst) bad.note(std::string(v.name) + " " + mode_name(v.mode) + " " + std::to_string(alpha));
        }
    }
    EXPECT_EQ(bad.count, 0) << bad.first;
}

// Every width 0..72 at every byte offset of source and target within 16
// bytes, two rows each, with guard bytes around the rows. The source ends
// exactly at the end of its allocation, so reading past it shows under
// AddressSanitizer.
class WidthsAndAlignments : public Variant {};

TEST_P(WidthsAndAlignments, SameBytesAndGuardsUntouched) {
    const RowVariant& v = GetParam();
    const RowRoutine reference = reference_of(v.mode);
    constexpr std::uint8_t guard = 0xA5;
    constexpr int guard_bytes = 64;
    std::mt19937 rng(4242u);
    Mismatch bad;
    std::vector<std::int32_t> alphas = alphas_for(v.mode);
    if (alphas.size() > 4) alphas = {0, 128, 129, 255};
    for (std::int32_t w = 0; w <= 72; ++w) {
        const auto pool = random_row_bytes(rng, 2 * 72 + 32, true);
        const auto target_pool = random_row_bytes(rng, 2 * 72 + 32, true);
        for (int src_offset = 0; src_offset < 16; ++src_offset) {
            for (int dst_offset = 0; dst_offset < 16; ++dst_offset) {
                const std::int32_t src_pitch = 4 * w + 8;
                const std::int32_t dst_pitch = 4 * w + 12;
                const std::size_t src_size = static_cast<std::size_t>(src_offset) + src_pitch + 4 * w;
                auto src = std::make_unique<std::uint8_t[]>(src_size);
                std::memcpy(src.get(), pool.data(), src_size);
                const std::size_t dst_size = 2 * guard_bytes + dst_offset + 2 * static_cast<std::size_t>(dst_pitch);
                std::vector<std::uint8_t> dst(dst_size, guard);
                std::uint8_t* row0 = dst.data() + guard_bytes + dst_offset;
                std::memcpy(row0, target_pool.data(), 4 * static_cast<std::size_t>(w));
                std::memcpy(row0 + dst_pitch, target_pool.data() + 4 * w, 4 * static_cast<std::size_t>(w));
                for (std::int32_t alpha : alphas) {
                    std::vector<std::uint8_t> got = dst, want = dst;
                    v.routine(src.get() + src_offset, got.data() + guard_bytes + dst_offset, w, 2, src_pitch,
                              dst_pitch, alpha);
                    reference(src.get() + src_offset, want.data() + guard_bytes + dst_offset, w, 2, src_pitch,
                              dst_pitch, alpha);
                    const std::string where = "width " + std::to_string(w) + " offsets " +
                                              std::to_string(src_offset) + "/" + std::to_string(dst_offset) +
                                              " alpha " + std::to_string(alpha);
                    if (got != want) bad.note(where + ": differs from the reference");
                    for (std::size_t b = 0; b < dst_size; ++b) {
                        const std::size_t at = b - guard_bytes - dst_offset;
                        const bool in_row = b >= guard_bytes + static_cast<std::size_t>(dst_offset) &&
                                            (at < 4 * static_cast<std::size_t>(w) ||
                                             (at >= static_cast<std::size_t>(dst_pitch) &&
                                              at < static_cast<std::size_t>(dst_pitch) + 4 * w));
                        if (!in_row && got[b] != guard) {
                            bad.note(where + ": wrote outside the rows at byte " + std::to_string(b));
                            break;
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(bad.count, 0) << bad.first;
}

INSTANTIATE_TEST_SUITE_P(All, WidthsAndAlignments, ::testing::ValuesIn(detail::blit_row_variants()), variant_name);

TEST(Dispatch, OffersEverySetTheProcessorRuns) {
    std::vector<std::string> sets;
    for (const RowVariant& v : detail::blit_row_variants()) {
        if (sets.empty() || sets.back() != v.name) sets.emplace_back(v.name);
    }
    std::vector<std::string> expected{"scalar"};
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("sse2")) expected.emplace_back("sse2");
    if (__builtin_cpu_supports("avx2")) expected.emplace_back("avx2");
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) expected.emplace_back("avx512");
#endif
    EXPECT_EQ(sets, expected);
    for (const std::string& set : sets) {
        int modes = 0;
        for (const RowVariant& v : detail::blit_row_variants()) modes += v.name == set && v.routine != nullptr;
        EXPECT_EQ(modes, 5) << set;
    }
}

TEST(Dispatch, ChoosesTheWidestSetUnlessForcedScalar) {
    const char* force = std::getenv("GFX_FORCE_SCALAR");
    const bool forced = force != nullptr && std::string(force) == "1";
    const std::string widest = detail::blit_row_variants().back().name;
    const std::string active = detail::blit_rows_active_set();
    EXPECT_EQ(active, forced ? "scalar" : widest);
    for (BlitMode mode : {BlitMode::Transparent, BlitMode::Copy, BlitMode::Alpha, BlitMode::Add, BlitMode::Blend}) {
        RowRoutine expected = nullptr;
        for (const RowVariant& v : detail::blit_row_variants()) {
            if (v.name == active && v.mode == mode) expected = v.routine;
        }
        EXPECT_EQ(detail::blit_rows(mode), expected) << mode_name(mode);
    }
    EXPECT_EQ(detail::blit_rows(static_cast<BlitMode>(3)), nullptr);
}

// The dispatching entry: Blend with alpha 0 is Transparent, nothing happens
// for an empty rectangle or a number that is no mode.
TEST(Dispatch, EntryRunsTheRoutine) {
    struct Case {
        const char* name;
        BlitMode mode;
        std::int32_t alpha, w, h;
        std::uint32_t expected;  // the first target pixel afterwards
    };
    const std::uint32_t s = 0xFF7F7FD7u, d = 0xFF000000u;
    const Case cases[] = {
        {"Blend0IsTransparent", BlitMode::Blend, 0, 1, 1, 0x007F7FD7u},
        {"Copy", BlitMode::Copy, 0, 1, 1, s},
        {"ZeroWidth", BlitMode::Copy, 0, 0, 1, d},
        {"ZeroHeight", BlitMode::Copy, 0, 1, 0, d},
        {"NegativeWidth", BlitMode::Copy, 0, -4, 1, d},
        {"NoMode", static_cast<BlitMode>(5), 0, 1, 1, d},
    };
    for (const Case& c : cases) {
        std::uint32_t src = s, dst = d;
        detail::blit_rows(c.mode, reinterpret_cast<const std::uint8_t*>(&src), reinterpret_cast<std::uint8_t*>(&dst),
                          c.w, c.h, 4, 4, c.alpha);
        EXPECT_EQ(dst, c.expected) << c.name;
    }
}

}  // namespace
