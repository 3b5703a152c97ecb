// The SHA-256 block transform on the x86 SHA extensions (SHA-NI), in both the 32-bit and the
// 64-bit build. Compiled for those instructions function by function, so the rest of the program
// still runs on CPUs without them; Sha256 only calls in here after CpuHasShaExtensions said yes.
#include "core/sha256_blocks.h"

#if defined(GARUN2_SHA256_X86)

#include <cpuid.h>
#include <immintrin.h>

namespace patcher::sha256_detail {

bool CpuHasShaExtensions() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    const bool ssse3 = (ecx & (1u << 9)) != 0;
    const bool sse41 = (ecx & (1u << 19)) != 0;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
    const bool sha = (ebx & (1u << 29)) != 0;
    return ssse3 && sse41 && sha;
}

namespace {

#define GARUN2_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// Four rounds: the instruction does two at a time on the (ABEF, CDGH) halves of the state.
GARUN2_SHA_TARGET inline void FourRounds(__m128i& abef, __m128i& cdgh, __m128i message, int group) {
    const __m128i k =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRoundConstants + 4 * group));
    __m128i wk = _mm_add_epi32(message, k);
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
    wk = _mm_shuffle_epi32(wk, 0x0e);
    abef = _mm_sha256rnds2_epu32(abef, cdgh, wk);
}

}  // namespace

GARUN2_SHA_TARGET void CompressShaExtensions(std::uint32_t* state, const std::uint8_t* blocks,
                                             std::size_t count) {
    // Message words are big-endian; this shuffle byte-swaps each 32-bit lane.
    const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);

    // The instructions want the state as ABEF and CDGH rather than ABCD and EFGH.
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    __m128i cdab = _mm_shuffle_epi32(dcba, 0xb1);
    __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1b);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xf0);

    for (; count > 0; --count, blocks += 64) {
        const __m128i abef_saved = abef;
        const __m128i cdgh_saved = cdgh;
        __m128i w[4];
        for (int i = 0; i < 4; ++i) {
            w[i] = _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i)), byte_swap);
            FourRounds(abef, cdgh, w[i], i);
        }
        // Each further group of four words: W[t-16] + s0(W[t-15]) from msg1, W[t-7] from the
        // byte-aligned pair, s1(W[t-2]) from msg2.
#pragma GCC unroll 12
        for (int group = 4; group < 16; ++group) {
            const __m128i oldest = w[group % 4];
            const __m128i previous = w[(group + 3) % 4];
            const __m128i before_previous = w[(group + 2) % 4];
            __m128i next = _mm_sha256msg1_epu32(oldest, w[(group + 1) % 4]);
            next = _mm_add_epi32(next, _mm_alignr_epi8(previous, before_previous, 4));
            next = _mm_sha256msg2_epu32(next, previous);
            w[group % 4] = next;
            FourRounds(abef, cdgh, next, group);
        }
        abef = _mm_add_epi32(abef, abef_saved);
        cdgh = _mm_add_epi32(cdgh, cdgh_saved);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1b);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xb1);
    dcba = _mm_blend_epi16(feba, dchg, 0xf0);
    hgfe = _mm_alignr_epi8(dchg, feba, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), dcba);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), hgfe);
}

}  // namespace patcher::sha256_detail

#else

namespace patcher::sha256_detail {

bool CpuHasShaExtensions() {
    return false;
}

}  // namespace patcher::sha256_detail

#endif
