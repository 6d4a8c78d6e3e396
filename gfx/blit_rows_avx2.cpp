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

GFX_AVX2 inline int key_bits(__m256i key) { return _mm256_movemask_ps(_mm256_castsi256_ps(key)); }

// key lanes from d, the others from v.
GFX_AVX2 inline __m256i keep_keyed(__m256i key, __m256i d, __m256i v) {
    return _mm256_or_si256(_mm256_and_si256(key, d), _mm256_andnot_si256(key, v));
}

// d + floor((s - d) * k / 256) on bytes widened to 16-bit lanes, computed as
// (d * 256 + (s - d) * k) >> 8. The true sum lies in 0..65535, so the 16-bit
// product may wrap (it does once k >= 129) and the sum still comes out exact.
GFX_AVX2 inline __m256i mix16(__m256i s16, __m256i d16, __m256i k16) {
    const __m256i sum = _mm256_add_epi16(_mm256_slli_epi16(d16, 8), _mm256_mullo_epi16(_mm256_sub_epi16(s16, d16), k16));
    return _mm256_srli_epi16(sum, 8);
}

// Each pixel's alpha copied over its four 16-bit lanes.
GFX_AVX2 inline __m256i alpha16(__m256i s16) {
    return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(s16, 0xFF), 0xFF);
}

struct TransparentOp {
    // Skip the vector when it is all key and skip reading d when it has none:
    // key pixels come in runs in real pictures.
    GFX_AVX2 void eight(const std::uint8_t* s, std::uint8_t* d) const {
        const __m256i v = load(s);
        const __m256i key = key_lanes(v);
        const int bits = key_bits(key);
        if (bits == 0xFF) return;
        const __m256i out = _mm256_and_si256(v, _mm256_set1_epi32(static_cast<int>(rgb_mask)));
        store(d, bits == 0 ? out : keep_keyed(key, load(d), out));
    }
    void one(const std::uint8_t* s, std::uint8_t* d) const { transparent_pixel(s, d); }
};

struct OpaqueBlendOp {  // k = 256: d = s except the key
    GFX_AVX2 void eight(const std::uint8_t* s, std::uint8_t* d) const {
        const __m256i v = load(s);
        const __m256i key = key_lanes(v);
        const int bits = key_bits(key);
        if (bits == 0xFF) return;
        store(d, bits == 0 ? v : keep_keyed(key, load(d), v));
    }
    void one(const std::uint8_t* s, std::uint8_t* d) const { blend_pixel(s, d, 256); }
};

struct BlendOp {
    int k;
    GFX_AVX2 void eight(const std::uint8_t* s, std::uint8_t* d) const {
        const __m256i v = load(s);
        const __m256i key = key_lanes(v);
        if (key_bits(key) == 0xFF) return;
        const __m256i t = load(d);
        const __m256i zero = _mm256_setzero_si256();
        const __m256i k16 = _mm256_set1_epi16(static_cast<short>(k));
        const __m256i lo = mix16(_mm256_unpacklo_epi8(v, zero), _mm256_unpacklo_epi8(t, zero), k16);
        const __m256i hi = mix16(_mm256_unpackhi_epi8(v, zero), _mm256_unpackhi_epi8(t, zero), k16);
        store(d, keep_keyed(key, t, _mm256_packus_epi16(lo, hi)));
    }
    void one(const std::uint8_t* s, std::uint8_t* d) const { blend_pixel(s, d, k); }
};

// floor(s * 255 / 256) is s - 1 for s >= 1 and 0 for 0: a saturating
// subtract of one, so the intro's Add needs no multiply.
struct Add255Op {
    GFX_AVX2 void eight(const std::uint8_t* s, std::uint8_t* d) const {
        const __m256i v = load(s);
        const __m256i key = key_lanes(v);
        if (key_bits(key) == 0xFF) return;
        const __m256i t = load(d);
        const __m256i sum = _mm256_adds_epu8(t, _mm256_subs_epu8(v, _mm256_set1_epi8(1)));
        store(d, keep_keyed(key, t, sum));
    }
    void one(const std::uint8_t* s, std::uint8_t* d) const { add_pixel(s, d, 255); }
};

// floor(s * k / 256) as the high half of (s << 8) * k.
struct AddOp {
    int k;
    GFX_AVX2 void eight(const std::uint8_t* s, std::uint8_t* d) const {
        const __m256i v = load(s);
        const __m256i key = key_lanes(v);
        if (key_bits(key) == 0xFF) return;
        const __m256i t = load(d);
        const __m256i zero = _mm256_setzero_si256();
        const __m256i k16 = _mm256_set1_epi16(static_cast<short>(k));
        const __m256i lo = _mm256_mulhi_epu16(_mm256_unpacklo_epi8(zero, v), k16);
        const __m256i hi = _mm256_mulhi_epu16(_mm256_unpackhi_epi8(zero, v), k16);
        const __m256i sum = _mm256_adds_epu8(t, _mm256_packus_epi16(lo, hi));
        store(d, keep_keyed(key, t, sum));
    }
    void one(const std::uint8_t* s, std::uint8_t* d) const { add_pixel(s, d, k); }
};

struct AlphaOp {
    GFX_AVX2 void eight(const std::uint8_t* s, std::uint8_t* d) const {
        const __m256i v = load(s);
        // Source alpha 0 everywhere leaves d as it is.
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_srli_epi32(v, 24), _mm256_setzero_si256())) == -1) return;
        const __m256i t = load(d);
        const __m256i zero = _mm256_setzero_si256();
        const __m256i s_lo = _mm256_unpacklo_epi8(v, zero), s_hi = _mm256_unpackhi_epi8(v, zero);
        const __m256i lo = mix16(s_lo, _mm256_unpacklo_epi8(t, zero), alpha16(s_lo));
        const __m256i hi = mix16(s_hi, _mm256_unpackhi_epi8(t, zero), alpha16(s_hi));
        store(d, _mm256_packus_epi16(lo, hi));
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
