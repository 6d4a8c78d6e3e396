#include "gfx/blit_rows.hpp"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define GFX_AVX2 __attribute__((target("avx2")))

namespace gfx::detail {
namespace {

// Eight pixels at a time; the pixels that do not fill a vector at the end of a
// row go through the shared one-pixel formula.
template <class Op>
GFX_AVX2 void for_rows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
                       std::int32_t src_pitch, std::int32_t dst_pitch, const Op& op) {
    for (std::int32_t y = 0; y < h; ++y, src += src_pitch, dst += dst_pitch) {
        std::int32_t x = 0;
        for (; x + 8 <= w; x += 8) op.eight(src + 4 * x, dst + 4 * x);
        for (; x < w; ++x) op.one(src + 4 * x, dst + 4 * x);
    }
}

GFX_AVX2 inline __m256i load(const std::uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
GFX_AVX2 inline void store(std::uint8_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

// All ones in the 32-bit lanes that hold the transparent key.
GFX_AVX2 inline __m256i key_lanes(__m256i s) {
    return _mm256_cmpeq_epi32(_mm256_and_si256(s, _mm256_set1_epi32(static_cast<int>(rgb_mask))),
                              _mm256_set1_epi32(static_cast<int>(key_rgb)));
}

GFX_AVX2 inline int lane_bits(__m256i lanes) { return _mm256_movemask_ps(_mm256_castsi256_ps(lanes)); }

// d + floor((s - d) * k / 256) for every byte, which is the high byte of
// s * k + d * (256 - k); `weights` holds the pair (k, 256 - k) for each byte
// pair, both 0..255. One multiply-add per byte pair does it once the pixels
// are made signed (x - 128) for the instruction's signed operand: the sum is
// then s * k + d * (256 - k) - 32768, within -32768..32512 so it never
// saturates, and adding the 32768 back is flipping bit 7 of the high byte.
GFX_AVX2 inline __m256i mix(__m256i s, __m256i d, __m256i weights_lo, __m256i weights_hi) {
    const __m256i bias = _mm256_set1_epi8(static_cast<char>(0x80));
    const __m256i s_signed = _mm256_xor_si256(s, bias), d_signed = _mm256_xor_si256(d, bias);
    const __m256i lo = _mm256_maddubs_epi16(weights_lo, _mm256_unpacklo_epi8(s_signed, d_signed));
    const __m256i hi = _mm256_maddubs_epi16(weights_hi, _mm256_unpackhi_epi8(s_signed, d_signed));
    return _mm256_xor_si256(_mm256_packus_epi16(_mm256_srli_epi16(lo, 8), _mm256_srli_epi16(hi, 8)), bias);
}

// Skip the vector when it is all key and skip reading d when it has none:
// key pixels come in runs in real pictures.
template <bool clear_alpha>
struct KeyedCopyOp {
    GFX_AVX2 void eight(const std::uint8_t* s, std::uint8_t* d) const {
        __m256i v = load(s);
        const __m256i key = key_lanes(v);
        const int bits = lane_bits(key);
        if (bits == 0xFF) return;
        if constexpr (clear_alpha) v = _mm256_and_si256(v, _mm256_set1_epi32(static_cast<int>(rgb_mask)));
        store(d, bits == 0 ? v : _mm256_blendv_epi8(v, load(d), key));
    }
    void one(const std::uint8_t* s, std::uint8_t* d) const {
        if constexpr (clear_alpha) {
            transparent_pixel(s, d);
        } else {
            blend_pixel(s, d, 256);
        }
    }
};

using TransparentOp = KeyedCopyOp<true>;
using OpaqueBlendOp = KeyedCopyOp<false>;  // k = 256: d = s except the key

struct BlendOp {  // k = 1..255
    int k;
    GFX_AVX2 void eight(const std::uint8_t* s, std::uint8_t* d) const {
        const __m256i v = load(s);
        const __m256i key = key_lanes(v);
        if (lane_bits(key) == 0xFF) return;
        const __m256i t = load(d);
        const __m256i weights = _mm256_set1_epi16(static_cast<short>(k | (256 - k) << 8));
        store(d, _mm256_blendv_epi8(mix(v, t, weights, weights), t, key));
    }
    void one(const std::uint8_t* s, std::uint8_t* d) const { blend_pixel(s, d, k); }
};

// floor(s * 255 / 256) is s - 1 for s >= 1 and 0 for 0: a saturating
// subtract of one, so the intro's Add needs no multiply.
struct Add255Op {
    GFX_AVX2 void eight(const std::uint8_t* s, std::uint8_t* d) const {
        const __m256i v = load(s);
        const __m256i key = key_lanes(v);
        if (lane_bits(key) == 0xFF) return;
        const __m256i t = load(d);
        const __m256i sum = _mm256_adds_epu8(t, _mm256_subs_epu8(v, _mm256_set1_epi8(1)));
        store(d, _mm256_blendv_epi8(sum, t, key));
    }
    void one(const std::uint8_t* s, std::uint8_t* d) const { add_pixel(s, d, 255); }
};

// floor(s * k / 256) as the high half of (s << 8) * k.
struct AddOp {
    int k;
    GFX_AVX2 void eight(const std::uint8_t* s, std::uint8_t* d) const {
        const __m256i v = load(s);
        const __m256i key = key_lanes(v);
        if (lane_bits(key) == 0xFF) return;
        const __m256i t = load(d);
        const __m256i zero = _mm256_setzero_si256();
        const __m256i k16 = _mm256_set1_epi16(static_cast<short>(k));
        const __m256i lo = _mm256_mulhi_epu16(_mm256_unpacklo_epi8(zero, v), k16);
        const __m256i hi = _mm256_mulhi_epu16(_mm256_unpackhi_epi8(zero, v), k16);
        const __m256i sum = _mm256_adds_epu8(t, _mm256_packus_epi16(lo, hi));
        store(d, _mm256_blendv_epi8(sum, t, key));
    }
    void one(const std::uint8_t* s, std::uint8_t* d) const { add_pixel(s, d, k); }
};

struct AlphaOp {
    // A source alpha of 0 leaves d as it is; those pixels keep d, which also
    // covers the one weight, 256 - 0, that a byte cannot hold.
    GFX_AVX2 void eight(const std::uint8_t* s, std::uint8_t* d) const {
        const __m256i v = load(s);
        const __m256i clear = _mm256_cmpeq_epi32(_mm256_srli_epi32(v, 24), _mm256_setzero_si256());
        if (lane_bits(clear) == 0xFF) return;
        const __m256i t = load(d);
        const __m256i a = _mm256_shuffle_epi8(v, _mm256_set_epi32(0x0F0F0F0F, 0x0B0B0B0B, 0x07070707, 0x03030303,
                                                                  0x0F0F0F0F, 0x0B0B0B0B, 0x07070707, 0x03030303));
        const __m256i rest = _mm256_sub_epi8(_mm256_setzero_si256(), a);
        const __m256i mixed = mix(v, t, _mm256_unpacklo_epi8(a, rest), _mm256_unpackhi_epi8(a, rest));
        store(d, _mm256_blendv_epi8(mixed, t, clear));
    }
    void one(const std::uint8_t* s, std::uint8_t* d) const { alpha_pixel(s, d); }
};

GFX_AVX2 void transparent_avx2(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
                               std::int32_t src_pitch, std::int32_t dst_pitch, std::int32_t) {
    for_rows(src, dst, w, h, src_pitch, dst_pitch, TransparentOp{});
}

GFX_AVX2 void blend_avx2(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
                         std::int32_t src_pitch, std::int32_t dst_pitch, std::int32_t alpha) {
    if (alpha == 0) return for_rows(src, dst, w, h, src_pitch, dst_pitch, TransparentOp{});
    const int k = blend_factor(alpha);
    if (k == 256) return for_rows(src, dst, w, h, src_pitch, dst_pitch, OpaqueBlendOp{});
    for_rows(src, dst, w, h, src_pitch, dst_pitch, BlendOp{k});
}

GFX_AVX2 void add_avx2(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
                       std::int32_t src_pitch, std::int32_t dst_pitch, std::int32_t alpha) {
    const int k = add_factor(alpha);
    if (k == 0) return;
    if (k == 255) return for_rows(src, dst, w, h, src_pitch, dst_pitch, Add255Op{});
    for_rows(src, dst, w, h, src_pitch, dst_pitch, AddOp{k});
}

GFX_AVX2 void alpha_avx2(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
                         std::int32_t src_pitch, std::int32_t dst_pitch, std::int32_t) {
    for_rows(src, dst, w, h, src_pitch, dst_pitch, AlphaOp{});
}

}  // namespace

const RowSet avx2_rows{"avx2", copy_rows, transparent_avx2, blend_avx2, add_avx2, alpha_avx2};

}  // namespace gfx::detail

#endif
