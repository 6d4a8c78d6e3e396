#include "gfx/blit_rows.hpp"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define GFX_AVX512 __attribute__((target("avx512f,avx512bw")))

namespace gfx::detail {
namespace {

// Sixteen pixels at a time. The end of a row is one more vector whose lane
// mask covers only the pixels left; masked-off lanes are neither read nor
// written, so nothing beyond the row is touched.
template <class Op>
GFX_AVX512 void for_rows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
                         std::int32_t src_pitch, std::int32_t dst_pitch, const Op& op) {
    if (w <= 0) return;
    const auto tail = static_cast<__mmask16>((1u << (w % 16)) - 1);
    for (std::int32_t y = 0; y < h; ++y, src += src_pitch, dst += dst_pitch) {
        std::int32_t x = 0;
        for (; x + 16 <= w; x += 16) op.sixteen(src + 4 * x, dst + 4 * x, 0xFFFF);
        if (tail != 0) op.sixteen(src + 4 * x, dst + 4 * x, tail);
    }
}

GFX_AVX512 inline __m512i load(__mmask16 lanes, const std::uint8_t* p) { return _mm512_maskz_loadu_epi32(lanes, p); }
GFX_AVX512 inline void store(std::uint8_t* p, __mmask16 lanes, __m512i v) { _mm512_mask_storeu_epi32(p, lanes, v); }

// The lanes among `lanes` whose source pixel is not the transparent key.
GFX_AVX512 inline __mmask16 not_key(__mmask16 lanes, __m512i s) {
    return _mm512_mask_cmpneq_epi32_mask(lanes, _mm512_and_si512(s, _mm512_set1_epi32(static_cast<int>(rgb_mask))),
                                         _mm512_set1_epi32(static_cast<int>(key_rgb)));
}

// d + floor((s - d) * k / 256) for every byte, which is the high byte of
// s * k + d * (256 - k); `weights` holds the pair (k, 256 - k) for each byte
// pair, both 0..255. One multiply-add per byte pair does it once the pixels
// are made signed (x - 128) for the instruction's signed operand: the sum is
// then s * k + d * (256 - k) - 32768, within -32768..32512 so it never
// saturates, and adding the 32768 back is flipping bit 7 of the high byte.
GFX_AVX512 inline __m512i mix(__m512i s, __m512i d, __m512i weights_lo, __m512i weights_hi) {
    const __m512i bias = _mm512_set1_epi8(static_cast<char>(0x80));
    const __m512i s_signed = _mm512_xor_si512(s, bias), d_signed = _mm512_xor_si512(d, bias);
    const __m512i lo = _mm512_maddubs_epi16(weights_lo, _mm512_unpacklo_epi8(s_signed, d_signed));
    const __m512i hi = _mm512_maddubs_epi16(weights_hi, _mm512_unpackhi_epi8(s_signed, d_signed));
    return _mm512_xor_si512(_mm512_packus_epi16(_mm512_srli_epi16(lo, 8), _mm512_srli_epi16(hi, 8)), bias);
}

// The key test decides which lanes are stored, so the unkeyed pixels are
// written without reading the target at all.
struct TransparentOp {
    GFX_AVX512 void sixteen(const std::uint8_t* s, std::uint8_t* d, __mmask16 lanes) const {
        const __m512i v = load(lanes, s);
        store(d, not_key(lanes, v), _mm512_and_si512(v, _mm512_set1_epi32(static_cast<int>(rgb_mask))));
    }
};

struct OpaqueBlendOp {  // k = 256: d = s except the key
    GFX_AVX512 void sixteen(const std::uint8_t* s, std::uint8_t* d, __mmask16 lanes) const {
        const __m512i v = load(lanes, s);
        store(d, not_key(lanes, v), v);
    }
};

struct BlendOp {  // k = 1..255
    int k;
    GFX_AVX512 void sixteen(const std::uint8_t* s, std::uint8_t* d, __mmask16 lanes) const {
        const __m512i v = load(lanes, s);
        const __mmask16 drawn = not_key(lanes, v);
        if (drawn == 0) return;
        const __m512i t = load(drawn, d);
        const __m512i weights = _mm512_set1_epi16(static_cast<short>(k | (256 - k) << 8));
        store(d, drawn, mix(v, t, weights, weights));
    }
};

// floor(s * 255 / 256) is s - 1 for s >= 1 and 0 for 0: a saturating
// subtract of one, so the intro's Add needs no multiply.
struct Add255Op {
    GFX_AVX512 void sixteen(const std::uint8_t* s, std::uint8_t* d, __mmask16 lanes) const {
        const __m512i v = load(lanes, s);
        const __mmask16 drawn = not_key(lanes, v);
        if (drawn == 0) return;
        const __m512i t = load(drawn, d);
        store(d, drawn, _mm512_adds_epu8(t, _mm512_subs_epu8(v, _mm512_set1_epi8(1))));
    }
};

// floor(s * k / 256) as the high half of (s << 8) * k.
struct AddOp {
    int k;
    GFX_AVX512 void sixteen(const std::uint8_t* s, std::uint8_t* d, __mmask16 lanes) const {
        const __m512i v = load(lanes, s);
        const __mmask16 drawn = not_key(lanes, v);
        if (drawn == 0) return;
        const __m512i t = load(drawn, d);
        const __m512i zero = _mm512_setzero_si512();
        const __m512i k16 = _mm512_set1_epi16(static_cast<short>(k));
        const __m512i lo = _mm512_mulhi_epu16(_mm512_unpacklo_epi8(zero, v), k16);
        const __m512i hi = _mm512_mulhi_epu16(_mm512_unpackhi_epi8(zero, v), k16);
        store(d, drawn, _mm512_adds_epu8(t, _mm512_packus_epi16(lo, hi)));
    }
};

struct AlphaOp {
    // A source alpha of 0 leaves d as it is, so those lanes are not stored;
    // that also covers the one weight, 256 - 0, that a byte cannot hold.
    GFX_AVX512 void sixteen(const std::uint8_t* s, std::uint8_t* d, __mmask16 lanes) const {
        const __m512i v = load(lanes, s);
        const __mmask16 drawn = _mm512_mask_test_epi32_mask(lanes, v, _mm512_set1_epi32(static_cast<int>(0xFF000000u)));
        if (drawn == 0) return;
        const __m512i t = load(drawn, d);
        const __m512i a = _mm512_shuffle_epi8(v, _mm512_set4_epi32(0x0F0F0F0F, 0x0B0B0B0B, 0x07070707, 0x03030303));
        const __m512i rest = _mm512_sub_epi8(_mm512_setzero_si512(), a);
        store(d, drawn, mix(v, t, _mm512_unpacklo_epi8(a, rest), _mm512_unpackhi_epi8(a, rest)));
    }
};

GFX_AVX512 void transparent_avx512(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
                                   std::int32_t src_pitch, std::int32_t dst_pitch, std::int32_t) {
    for_rows(src, dst, w, h, src_pitch, dst_pitch, TransparentOp{});
}

GFX_AVX512 void blend_avx512(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
                             std::int32_t src_pitch, std::int32_t dst_pitch, std::int32_t alpha) {
    if (alpha == 0) return for_rows(src, dst, w, h, src_pitch, dst_pitch, TransparentOp{});
    const int k = blend_factor(alpha);
    if (k == 256) return for_rows(src, dst, w, h, src_pitch, dst_pitch, OpaqueBlendOp{});
    for_rows(src, dst, w, h, src_pitch, dst_pitch, BlendOp{k});
}

GFX_AVX512 void add_avx512(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
                           std::int32_t src_pitch, std::int32_t dst_pitch, std::int32_t alpha) {
    const int k = add_factor(alpha);
    if (k == 0) return;
    if (k == 255) return for_rows(src, dst, w, h, src_pitch, dst_pitch, Add255Op{});
    for_rows(src, dst, w, h, src_pitch, dst_pitch, AddOp{k});
}

GFX_AVX512 void alpha_avx512(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
                             std::int32_t src_pitch, std::int32_t dst_pitch, std::int32_t) {
    for_rows(src, dst, w, h, src_pitch, dst_pitch, AlphaOp{});
}

}  // namespace

const RowSet avx512_rows{"avx512", copy_rows, transparent_avx512, blend_avx512, add_avx512, alpha_avx512};

}  // namespace gfx::detail

#endif
