#include "core/PixelRows.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TESSARAK_PIXEL_SSSE3 1
#endif

SRowPacker RowPacker_Make(const SPixelFormat& format) {
    SRowPacker k;
    const SPixelChannel* ch[3] = {&format.m_blue, &format.m_green, &format.m_red};
    for (int c = 0; c < 3; ++c) {
        const int w = ch[c]->m_width, lo = 8 * c;
        if (w > 8) return k;
        if (w == 0) continue;
        k.m_keep[c] = ((0xFFu << (8 - w)) & 0xFFu) << lo;
        const int net = ch[c]->m_shift - (lo + 8 - w);
        k.m_right[c] = net < 0 ? -net : 0;
        k.m_left[c] = net > 0 ? net : 0;
    }
    k.m_valid = true;
    return k;
}

namespace {

inline uint32_t PackOne(const SRowPacker& k, uint32_t p) {
    return (((p & k.m_keep[0]) >> k.m_right[0]) << k.m_left[0]) |
           (((p & k.m_keep[1]) >> k.m_right[1]) << k.m_left[1]) |
           (((p & k.m_keep[2]) >> k.m_right[2]) << k.m_left[2]);
}

void PackScalar(const SRowPacker& packer, uint8_t* d, const uint8_t* s, uint32_t width, int outBytes) {
    const SRowPacker k = packer;  // a local copy: the byte stores below cannot change it
    for (uint32_t x = 0; x < width; ++x, s += 3) {
        uint32_t v = PackOne(k, uint32_t(s[0]) | (uint32_t(s[1]) << 8) | (uint32_t(s[2]) << 16));
        if (outBytes == 2) {
            d[x * 2] = uint8_t(v);
            d[x * 2 + 1] = uint8_t(v >> 8);
        } else {
            std::memcpy(d + x * 4, &v, 4);
        }
    }
}

#ifdef TESSARAK_PIXEL_SSSE3
// The channel moves of a turn: a mask and shifts, the same for every lane.
// Formats whose channels only move down (5-6-5, 5-5-5, 4-4-4-4, 8-8-8 in
// place) need one shift a channel instead of two.
template <bool DownOnly, typename V, typename And, typename Srl, typename Sll, typename Or>
inline V MoveChannels(V v, const V* keep, const V* right, const V* left, And band, Srl srl, Sll sll, Or bor) {
    V out = band(v, keep[0]);
    out = DownOnly ? srl(out, right[0]) : sll(srl(out, right[0]), left[0]);
    for (int c = 1; c < 3; ++c) {
        V t = band(v, keep[c]);
        out = bor(out, DownOnly ? srl(t, right[c]) : sll(srl(t, right[c]), left[c]));
    }
    return out;
}

// Every vector form below works in blocks of sixteen pixels (48 bytes) and
// reads no byte outside its block. A row's last pixels that do not fill a
// block are done by one more block ending at the row's end: it overlaps the
// one before and writes the same values there again, so rows of sixteen
// pixels or more need no pixel-at-a-time tail. The kernels walk
//   for (x = 0;; x = NextBlock(x, width, n)) { block at x; if (x + n == width) break; }
// themselves (a walker taking the block as a function would not be inlined
// across the target attributes).
inline uint32_t NextBlock(uint32_t x, uint32_t width, uint32_t n) {
    return x + 2 * n <= width ? x + n : width - n;
}

// SSSE3: four byte shuffles widen sixteen pixels into 32-bit lanes.
template <bool DownOnly>
__attribute__((target("ssse3"))) uint32_t PackSSSE3(const SRowPacker& k, uint8_t* d, const uint8_t* s,
                                                    uint32_t width, int outBytes) {
    const __m128i widen = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i narrow = _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1);
    __m128i keep[3], right[3], left[3];
    for (int c = 0; c < 3; ++c) {
        keep[c] = _mm_set1_epi32(int(k.m_keep[c]));
        right[c] = _mm_cvtsi32_si128(k.m_right[c]);
        left[c] = _mm_cvtsi32_si128(k.m_left[c]);
    }
    auto pack = [&](__m128i v) __attribute__((target("ssse3"))) {
        return MoveChannels<DownOnly>(
            v, keep, right, left, [](__m128i a, __m128i b) { return _mm_and_si128(a, b); },
            [](__m128i a, __m128i n) { return _mm_srl_epi32(a, n); },
            [](__m128i a, __m128i n) { return _mm_sll_epi32(a, n); },
            [](__m128i a, __m128i b) { return _mm_or_si128(a, b); });
    };
    if (width < 16) return 0;
    for (uint32_t x = 0;; x = NextBlock(x, width, 16)) {
        const uint8_t* p = s + size_t(x) * 3;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
        const __m128i p0 = pack(_mm_shuffle_epi8(a, widen));
        const __m128i p1 = pack(_mm_shuffle_epi8(_mm_alignr_epi8(b, a, 12), widen));
        const __m128i p2 = pack(_mm_shuffle_epi8(_mm_alignr_epi8(c, b, 8), widen));
        const __m128i p3 = pack(_mm_shuffle_epi8(_mm_srli_si128(c, 4), widen));
        if (outBytes == 4) {
            __m128i* o = reinterpret_cast<__m128i*>(d + size_t(x) * 4);
            _mm_storeu_si128(o, p0);
            _mm_storeu_si128(o + 1, p1);
            _mm_storeu_si128(o + 2, p2);
            _mm_storeu_si128(o + 3, p3);
        } else {
            __m128i* o = reinterpret_cast<__m128i*>(d + size_t(x) * 2);
            _mm_storeu_si128(o,
                             _mm_unpacklo_epi64(_mm_shuffle_epi8(p0, narrow), _mm_shuffle_epi8(p1, narrow)));
            _mm_storeu_si128(o + 1,
                             _mm_unpacklo_epi64(_mm_shuffle_epi8(p2, narrow), _mm_shuffle_epi8(p3, narrow)));
        }
        if (x + 16 == width) return width;
    }
}

// Sixteen pixels widened into two registers of eight 32-bit lanes. Each
// 128-bit half takes four pixels from its own 16-byte load: bytes 0, 12, 24
// and 32 of the block, the last one's pixels starting 4 bytes in, so that no
// load reaches past byte 48.
__attribute__((target("avx2"))) inline __m256i Load2x16(const uint8_t* a, const uint8_t* b) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)), 1);
}

__attribute__((target("avx2"))) inline void Widen16(const uint8_t* p, __m256i& lo, __m256i& hi) {
    const __m256i widen = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                           0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m256i widenLast = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                               4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
    lo = _mm256_shuffle_epi8(Load2x16(p, p + 12), widen);
    hi = _mm256_shuffle_epi8(Load2x16(p + 24, p + 32), widenLast);
}

// The three channels written out, so that masks and counts stay in registers.
template <bool DownOnly>
__attribute__((target("avx2"))) inline __m256i Move8(__m256i v, const __m256i* keep, const __m128i* right,
                                                     const __m128i* left) {
    __m256i b = _mm256_srl_epi32(_mm256_and_si256(v, keep[0]), right[0]);
    __m256i g = _mm256_srl_epi32(_mm256_and_si256(v, keep[1]), right[1]);
    __m256i r = _mm256_srl_epi32(_mm256_and_si256(v, keep[2]), right[2]);
    if (!DownOnly) {
        b = _mm256_sll_epi32(b, left[0]);
        g = _mm256_sll_epi32(g, left[1]);
        r = _mm256_sll_epi32(r, left[2]);
    }
    return _mm256_or_si256(_mm256_or_si256(b, g), r);
}

// 32-bit lanes packed to 16 bits; packing works per half, the permute puts
// the four quarters in order.
__attribute__((target("avx2"))) inline void Store16x16(uint8_t* d, __m256i lo, __m256i hi) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d),
                        _mm256_permute4x64_epi64(_mm256_packus_epi32(lo, hi), 0xD8));
}

// AVX2: sixteen pixels a turn in two registers of eight.
template <bool DownOnly>
__attribute__((target("avx2"))) uint32_t PackAVX2(const SRowPacker& k, uint8_t* d, const uint8_t* s,
                                                  uint32_t width, int outBytes) {
    const __m256i keep[3] = {_mm256_set1_epi32(int(k.m_keep[0])), _mm256_set1_epi32(int(k.m_keep[1])),
                             _mm256_set1_epi32(int(k.m_keep[2]))};
    const __m128i right[3] = {_mm_cvtsi32_si128(k.m_right[0]), _mm_cvtsi32_si128(k.m_right[1]),
                              _mm_cvtsi32_si128(k.m_right[2])};
    const __m128i left[3] = {_mm_cvtsi32_si128(k.m_left[0]), _mm_cvtsi32_si128(k.m_left[1]),
                             _mm_cvtsi32_si128(k.m_left[2])};
    if (width < 16) return 0;
    for (uint32_t x = 0;; x = NextBlock(x, width, 16)) {
        __m256i lo, hi;
        Widen16(s + size_t(x) * 3, lo, hi);
        const __m256i p0 = Move8<DownOnly>(lo, keep, right, left);
        const __m256i p1 = Move8<DownOnly>(hi, keep, right, left);
        if (outBytes == 4) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + size_t(x) * 4), p0);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + size_t(x) * 4 + 32), p1);
        } else {
            Store16x16(d + size_t(x) * 2, p0, p1);
        }
        if (x + 16 == width) return width;
    }
}

// 5-6-5, the display format the game uses most: blue and green are put in
// place by one multiply-add of byte pairs (b + 64 g, then down 3), red by a
// shift; six operations for eight pixels.
__attribute__((target("avx2"))) uint32_t Pack565AVX2(uint8_t* d, const uint8_t* s, uint32_t width) {
    const __m256i top = _mm256_set1_epi32(0x00F8FCF8);
    const __m256i weights = _mm256_set1_epi32(0x00004001);
    const __m256i red = _mm256_set1_epi32(0xF800);
    auto move = [&](__m256i v) __attribute__((target("avx2"))) {
        const __m256i t = _mm256_and_si256(v, top);
        const __m256i bg = _mm256_srli_epi16(_mm256_maddubs_epi16(t, weights), 3);
        return _mm256_or_si256(bg, _mm256_and_si256(_mm256_srli_epi32(t, 8), red));
    };
    if (width < 16) return 0;
    for (uint32_t x = 0;; x = NextBlock(x, width, 16)) {
        __m256i lo, hi;
        Widen16(s + size_t(x) * 3, lo, hi);
        Store16x16(d + size_t(x) * 2, move(lo), move(hi));
        if (x + 16 == width) return width;
    }
}

// 5-6-5 with AVX-512 byte permutes (VBMI): thirty-two pixels a turn. One
// two-register permute lays out blue and green as the byte pairs of 16-bit
// lanes, another puts red in each lane's high byte; no widening to 32 bits
// and no packing back. The block's 96 bytes are read as bytes 0-63 and
// 32-95, so nothing past the block is touched.
struct SByteIndex {
    alignas(64) uint8_t m_at[64];
};
// Index of block byte b among the two registers (0-63 the first, 64-127 the
// second, which starts at block byte 32).
constexpr uint8_t PermuteIndex(int b) {
    return uint8_t(b < 64 ? b : b + 32);
}
constexpr SByteIndex BlueGreenIndex() {
    SByteIndex k{};
    for (int i = 0; i < 32; ++i) {
        k.m_at[2 * i] = PermuteIndex(3 * i);
        k.m_at[2 * i + 1] = PermuteIndex(3 * i + 1);
    }
    return k;
}
constexpr SByteIndex RedIndex() {
    SByteIndex k{};
    for (int i = 0; i < 32; ++i)
        k.m_at[2 * i + 1] = PermuteIndex(3 * i + 2);  // low bytes are zeroed by a mask
    return k;
}
constexpr SByteIndex kBlueGreen = BlueGreenIndex();
constexpr SByteIndex kRed = RedIndex();

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) uint32_t Pack565VBMI(uint8_t* d, const uint8_t* s,
                                                                            uint32_t width) {
    const __m512i blueGreen = _mm512_load_si512(kBlueGreen.m_at);
    const __m512i redAt = _mm512_load_si512(kRed.m_at);
    const __m512i top = _mm512_set1_epi16(short(0xFCF8));
    const __m512i weights = _mm512_set1_epi16(0x4001);
    const __m512i red = _mm512_set1_epi16(short(0xF800));
    const __mmask64 highBytes = 0xAAAAAAAAAAAAAAAAull;
    if (width < 32) return 0;
    for (uint32_t x = 0;; x = NextBlock(x, width, 32)) {
        const uint8_t* p = s + size_t(x) * 3;
        const __m512i a = _mm512_loadu_si512(p);
        const __m512i b = _mm512_loadu_si512(p + 32);
        const __m512i bg = _mm512_and_si512(_mm512_permutex2var_epi8(a, blueGreen, b), top);
        const __m512i r = _mm512_maskz_permutex2var_epi8(highBytes, a, redAt, b);
        // (r & red) | ((b + 64 g) >> 3)
        const __m512i out =
            _mm512_ternarylogic_epi32(r, red, _mm512_srli_epi16(_mm512_maddubs_epi16(bg, weights), 3), 0xEA);
        _mm512_storeu_si512(d + size_t(x) * 2, out);
        if (x + 32 == width) return width;
    }
}

bool Is565(const SRowPacker& k) {
    return k.m_keep[0] == 0xF8 && k.m_keep[1] == 0xFC00 && k.m_keep[2] == 0xF80000 && k.m_right[0] == 3 &&
           k.m_right[1] == 5 && k.m_right[2] == 8 && k.m_left[0] == 0 && k.m_left[1] == 0 && k.m_left[2] == 0;
}

int ProcessorLevel() {
    static const int level = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi") ? 3
                             : __builtin_cpu_supports("avx2")                                           ? 2
                             : __builtin_cpu_supports("ssse3")                                          ? 1
                                                                                                        : 0;
    return level;
}
#else
int ProcessorLevel() {
    return 0;
}
#endif

std::atomic<int> g_levelLimit{3};

int VectorLevel() {
    return std::min(ProcessorLevel(), g_levelLimit.load(std::memory_order_relaxed));
}

}  // namespace

int RowPacker_VectorLevel() {
    return VectorLevel();
}
void RowPacker_LimitVectorLevel(int level) {
    g_levelLimit.store(level, std::memory_order_relaxed);
}

void RowPacker_Pack(const SRowPacker& packer, uint8_t* dst, const uint8_t* src, uint32_t width,
                    int outBytes) {
    uint32_t done = 0;
#ifdef TESSARAK_PIXEL_SSSE3
    const int level = VectorLevel();
    const bool down = packer.m_left[0] == 0 && packer.m_left[1] == 0 && packer.m_left[2] == 0;
    if (level >= 2 && outBytes == 2 && Is565(packer)) {
        // Rows too narrow for a 32-pixel block still take 16-pixel ones.
        if (level >= 3) done = Pack565VBMI(dst, src, width);
        if (done == 0) done = Pack565AVX2(dst, src, width);
    } else if (level >= 2) {
        done = down ? PackAVX2<true>(packer, dst, src, width, outBytes)
                    : PackAVX2<false>(packer, dst, src, width, outBytes);
    } else if (level == 1) {
        done = down ? PackSSSE3<true>(packer, dst, src, width, outBytes)
                    : PackSSSE3<false>(packer, dst, src, width, outBytes);
    }
#endif
    PackScalar(packer, dst + size_t(done) * outBytes, src + size_t(done) * 3, width - done, outBytes);
}
