// PDF pages come rendered on transparent. Laid on white paper once, when rendered, they are opaque, and
// every later paint of them is a plain copy instead of a blend.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace docview::engine {

// One pixel 0xAARRGGBB over white, as 0xFFRRGGBB. `premultiplied` says whether the colours already carry
// the alpha.
constexpr uint32_t PixelOnWhite(uint32_t pixel, bool premultiplied) {
    const uint32_t alpha = pixel >> 24;
    uint32_t out = 0xFF000000u;
    for (uint32_t shift = 0; shift < 24; shift += 8) {
        const uint32_t colour = (pixel >> shift) & 0xFFu;
        uint32_t value = 0;
        if (premultiplied) {
            // A colour above its alpha is no valid premultiplied pixel: held at white.
            value = colour + (255u - alpha);
            value = value > 255u ? 255u : value;
        } else {
            // 255 - (255 - colour) * alpha / 255, rounded.
            const uint32_t ink = (255u - colour) * alpha + 128u;
            value = 255u - ((ink + (ink >> 8)) >> 8);
        }
        out |= value << shift;
    }
    return out;
}

// A row of pixels in place, four at a time where the processor allows.
inline void LayOnWhite(uint32_t* pixels, size_t count, bool premultiplied) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i ones = _mm_set1_epi32(-1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi16(128);
    for (; i + 4 <= count; i += 4) {
        __m128i* at = reinterpret_cast<__m128i*>(pixels + i);
        const __m128i pixel = _mm_loadu_si128(at);
        // Most of a page is bare paper.
        const int bare = _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(pixel, opaque), zero));
        if (bare == 0xFFFF) {
            _mm_storeu_si128(at, ones);
            continue;
        }
        // Each pixel's alpha in all four of its bytes.
        __m128i alpha = _mm_srli_epi32(pixel, 24);
        alpha = _mm_or_si128(alpha, _mm_slli_epi32(alpha, 8));
        alpha = _mm_or_si128(alpha, _mm_slli_epi32(alpha, 16));
        __m128i out;
        if (premultiplied) {
            out = _mm_adds_epu8(pixel, _mm_xor_si128(alpha, ones));
        } else {
            const __m128i ink = _mm_xor_si128(pixel, ones);
            const auto scale = [&](__m128i inkWords, __m128i alphaWords) {
                __m128i t = _mm_add_epi16(_mm_mullo_epi16(inkWords, alphaWords), half);
                return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
            };
            const __m128i low = scale(_mm_unpacklo_epi8(ink, zero), _mm_unpacklo_epi8(alpha, zero));
            const __m128i high = scale(_mm_unpackhi_epi8(ink, zero), _mm_unpackhi_epi8(alpha, zero));
            out = _mm_xor_si128(_mm_packus_epi16(low, high), ones);
        }
        _mm_storeu_si128(at, _mm_or_si128(out, opaque));
    }
#endif
    for (; i < count; ++i)
        pixels[i] = PixelOnWhite(pixels[i], premultiplied);
}

}  // namespace docview::engine
