#include "gfx/blit_rows.hpp"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define GFX_SSE2 __attribute__((target("sse2")))

namespace gfx::detail {
namespace {

// Four pixels at a time; the pixels that do not fill a vector at the end of a
// row go through the shared one-pixel formula.
template <class Op>
GFX_SSE2 void for_rows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
                       std::int32_t src_pitch, std::int32_t dst_pitch, const Op& op) {
    for (std::int32_t y = 0; y < h; ++y, src += src_pitch, dst += dst_pitch) {
        std::int32_t x = 0;
        for (; x + 4 <= w; x += 4) op.four(src + 4 * x, dst + 4 * x);
        for (; x < w; ++x) op.one(src + 4 * x, dst + 4 * x);
    }
}

GFX_SSE2 inline __m128i load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
GFX_SSE2 inline void store(std::uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// All ones in the 32-bit lanes that hold the transparent key.
GFX_SSE2 inline __m128i key_lanes(__m128i s) {
    return _mm_cmpeq_epi32(_mm_and_si128(s, _mm_set1_epi32(static_cast<int>(rgb_mask))),
                           _mm_set1_epi32(static_cast<int>(key_rgb)));
}

GFX_SSE2 inline int key_bits(__m128i key) { return _mm_movemask_ps(_mm_castsi128_ps(key)); }

// key lanes from d, the others from v.
GFX_SSE2 inline __m128i keep_keyed(__m128i key, __m128i d, __m128i v) {
    return _mm_or_si128(_mm_and_si128(key, d), _mm_andnot_si128(key, v));
}

// d + floor((s - d) * k / 256) on bytes widened to 16-bit lanes, computed as
// (d * 256 + (s - d) * k) >> 8. The true sum lies in 0..65535, so the 16-bit
// product may wrap (it does once k >= 129) and the sum still comes out exact.
GFX_SSE2 inline __m128i mix16(__m128i s16, __m128i d16, __m128i k16) {
    const __m128i sum = _mm_add_epi16(_mm_slli_epi16(d16, 8), _mm_mullo_epi16(_mm_sub_epi16(s16, d16), k16));
    return _mm_srli_epi16(sum, 8);
}

// Each pixel's alpha copied over its four 16-bit lanes.
GFX_SSE2 inline __m128i alpha16(__m128i s16) {
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(s16, 0xFF), 0xFF);
}

struct TransparentOp {
    // Skip the vector when it is all key and skip reading d when it has none:
    // key pixels come in runs in real pictures.
    GFX_SSE2 void four(const std::uint8_t* s, std::uint8_t* d) const {
        const __m128i v = load(s);
        const __m128i key = key_lanes(v);
        const int bits = key_bits(key);
        if (bits == 0xF) return;
        const __m128i out = _mm_and_si128(v, _mm_set1_epi32(static_cast<int>(rgb_mask)));
        store(d, bits == 0 ? out : keep_keyed(key, load(d), out));
    }
    void one(const std::uint8_t* s, std::uint8_t* d) const { transparent_pixel(s, d); }
};

struct OpaqueBlendOp {  // k = 256: d = s except the key
    GFX_SSE2 void four(const std::uint8_t* s, std::uint8_t* d) const {
        const __m128i v = load(s);
        const __m128i key = key_lanes(v);
        const int bits = key_bits(key);
        if (bits == 0xF) return;
        store(d, bits == 0 ? v : keep_keyed(key, load(d), v));
    }
    void one(const std::uint8_t* s, std::uint8_t* d) const { blend_pixel(s, d, 256); }
};

struct BlendOp {
    int k;
    GFX_SSE2 void four(const std::uint8_t* s, std::uint8_t* d) const {
        const __m128i v = load(s);
        const __m128i key = key_lanes(v);
        if (key_bits(key) == 0xF) return;
        const __m128i t = load(d);
        const __m128i zero = _mm_setzero_si128();
        const __m128i k16 = _mm_set1_epi16(static_cast<short>(k));
        const __m128i lo = mix16(_mm_unpacklo_epi8(v, zero), _mm_unpacklo_epi8(t, zero), k16);
        const __m128i hi = mix16(_mm_unpackhi_epi8(v, zero), _mm_unpackhi_epi8(t, zero), k16);
        store(d, keep_keyed(key, t, _mm_packus_epi16(lo, hi)));
    }
    void one(const std::uint8_t* s, std::uint8_t* d) const { blend_pixel(s, d, k); }
};

// floor(s * 255 / 256) is s - 1 for s >= 1 and 0 for 0: a saturating
// subtract of one, so the intro's Add needs no multiply.
struct Add255Op {
    GFX_SSE2 void four(const std::uint8_t* s, std::uint8_t* d) const {
        const __m128i v = load(s);
        const __m128i key = key_lanes(v);
        if (key_bits(key) == 0xF) return;
        const __m128i t = load(d);
        const __m128i sum = _mm_adds_epu8(t, _mm_subs_epu8(v, _mm_set1_epi8(1)));
        store(d, keep_keyed(key, t, sum));
    }
    void one(const std::uint8_t* s, std::uint8_t* d) const { add_pixel(s, d, 255); }
};

// floor(s * k / 256) as the high half of (s << 8) * k.
struct AddOp {
    int k;
    GFX_SSE2 void four(const std::uint8_t* s, std::uint8_t* d) const {
        const __m128i v = load(s);
        const __m128i key = key_lanes(v);
        if (key_bits(key) == 0xF) return;
        const __m128i t = load(d);
        const __m128i zero = _mm_setzero_si128();
        const __m128i k16 = _mm_set1_epi16(static_cast<short>(k));
        const __m128i lo = _mm_mulhi_epu16(_mm_unpacklo_epi8(zero, v), k16);
        const __m128i hi = _mm_mulhi_epu16(_mm_unpackhi_epi8(zero, v), k16);
        const __m128i sum = _mm_adds_epu8(t, _mm_packus_epi16(lo, hi));
        store(d, keep_keyed(key, t, sum));
    }
    void one(const std::uint8_t* s, std::uint8_t* d) const { add_pixel(s, d, k); }
};

struct AlphaOp {
    GFX_SSE2 void four(const std::uint8_t* s, std::uint8_t* d) const {
        const __m128i v = load(s);
        // Source alpha 0 everywhere leaves d as it is.
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_srli_epi32(v, 24), _mm_setzero_si128())) == 0xFFFF) return;
        const __m128i t = load(d);
        const __m128i zero = _mm_setzero_si128();
        const __m128i s_lo = _mm_unpacklo_epi8(v, zero), s_hi = _mm_unpackhi_epi8(v, zero);
        const __m128i lo = mix16(s_lo, _mm_unpacklo_epi8(t, zero), alpha16(s_lo));
        const __m128i hi = mix16(s_hi, _mm_unpackhi_epi8(t, zero), alpha16(s_hi));
        store(d, _mm_packus_epi16(lo, hi));
    }
    void one(const std::uint8_t* s, std::uint8_t* d) const { alpha_pixel(s, d); }
};

GFX_SSE2 void transparent_sse2(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
                               std::int32_t src_pitch, std::int32_t dst_pitch, std::int32_t) {
    for_rows(src, dst, w, h, src_pitch, dst_pitch, TransparentOp{});
}

GFX_SSE2 void blend_sse2(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
                         std::int32_t src_pitch, std::int32_t dst_pitch, std::int32_t alpha) {
    if (alpha == 0) return for_rows(src, dst, w, h, src_pitch, dst_pitch, TransparentOp{});
    const int k = blend_factor(alpha);
    if (k == 256) return for_rows(src, dst, w, h, src_pitch, dst_pitch, OpaqueBlendOp{});
    for_rows(src, dst, w, h, src_pitch, dst_pitch, BlendOp{k});
}

GFX_SSE2 void add_sse2(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
                       std::int32_t src_pitch, std::int32_t dst_pitch, std::int32_t alpha) {
    const int k = add_factor(alpha);
    if (k == 0) return;
    if (k == 255) return for_rows(src, dst, w, h, src_pitch, dst_pitch, Add255Op{});
    for_rows(src, dst, w, h, src_pitch, dst_pitch, AddOp{k});
}

GFX_SSE2 void alpha_sse2(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
                         std::int32_t src_pitch, std::int32_t dst_pitch, std::int32_t) {
    for_rows(src, dst, w, h, src_pitch, dst_pitch, AlphaOp{});
}

}  // namespace

const RowSet sse2_rows{"sse2", copy_rows, transparent_sse2, blend_sse2, add_sse2, alpha_sse2};

}  // namespace gfx::detail

#endif
