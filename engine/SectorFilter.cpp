#include "SectorFilter.h"

#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#define RECLAIMA_X86 1
// The 64-bit Windows compiler may spill 32-byte registers to a stack it does not align;
// that build only runs the tests, so it stops at SSSE3.
#if !defined(_WIN64)
#define RECLAIMA_AVX2 1
#endif
#endif

namespace reclaima {

namespace {

constexpr std::uint16_t AllNibbles = 0xFFFF;

int Bits(std::uint16_t set)
{
    int count = 0;
    for (; set; set &= static_cast<std::uint16_t>(set - 1)) ++count;
    return count;
}

// The nibbles allowed at each tested position of one bucket, or of one pattern.
struct NibbleSets {
    std::uint16_t Low[CSectorFilter::Depth] = {};
    std::uint16_t High[CSectorFilter::Depth] = {};

    // How many three-byte sequences pass: the false matches a bucket lets through.
    long Combinations() const
    {
        long product = 1;
        for (int k = 0; k < CSectorFilter::Depth; ++k) product *= Bits(Low[k]) * Bits(High[k]);
        return product;
    }
    NibbleSets With(const NibbleSets& other) const
    {
        NibbleSets both = *this;
        for (int k = 0; k < CSectorFilter::Depth; ++k) {
            both.Low[k] = static_cast<std::uint16_t>(both.Low[k] | other.Low[k]);
            both.High[k] = static_cast<std::uint16_t>(both.High[k] | other.High[k]);
        }
        return both;
    }
};

NibbleSets SetsOf(const Bytes& pattern)
{
    NibbleSets sets;
    for (int k = 0; k < CSectorFilter::Depth; ++k) {
        if (static_cast<std::size_t>(k) < pattern.size()) {
            sets.Low[k] = static_cast<std::uint16_t>(1u << (pattern[k] & 0x0F));
            sets.High[k] = static_cast<std::uint16_t>(1u << (pattern[k] >> 4));
        } else {  // past a short pattern's end any byte may follow
            sets.Low[k] = sets.High[k] = AllNibbles;
        }
    }
    return sets;
}

#if RECLAIMA_X86

__attribute__((target("sse2"))) inline __m128i Pairs16(const std::uint8_t* bytes)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

// Two 16-byte stretches at a time, so that each pattern is loaded once per 32 bytes.
__attribute__((target("sse2"))) bool MayHoldSse2(const std::uint8_t* sector,
                                                 const CSectorFilter::Pair* pairs, std::size_t count)
{
    __m128i any = _mm_setzero_si128();
    for (int i = 0; i < SectorSize; i += 32) {
        const __m128i even0 = Pairs16(sector + i), odd0 = Pairs16(sector + i + 1);
        const __m128i even1 = Pairs16(sector + i + 16), odd1 = Pairs16(sector + i + 17);
        for (std::size_t p = 0; p < count; ++p) {
            const __m128i pair = _mm_load_si128(reinterpret_cast<const __m128i*>(pairs[p].Bytes.data()));
            const __m128i first = _mm_or_si128(_mm_cmpeq_epi16(even0, pair), _mm_cmpeq_epi16(odd0, pair));
            const __m128i second = _mm_or_si128(_mm_cmpeq_epi16(even1, pair), _mm_cmpeq_epi16(odd1, pair));
            any = _mm_or_si128(any, _mm_or_si128(first, second));
        }
    }
    return _mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) != 0xFFFF;
}

__attribute__((target("ssse3"))) inline __m128i BucketsAt(const __m128i bytes, const __m128i low,
                                                          const __m128i high)
{
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i lows = _mm_shuffle_epi8(low, _mm_and_si128(bytes, nibble));
    const __m128i highs = _mm_shuffle_epi8(high, _mm_and_si128(_mm_srli_epi16(bytes, 4), nibble));
    return _mm_and_si128(lows, highs);
}

__attribute__((target("ssse3"))) inline __m128i Load16(const std::uint8_t* bytes)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

__attribute__((target("ssse3"))) bool MayHoldSsse3(const std::uint8_t* sector,
                                                   const CSectorFilter::NibbleTables& t)
{
    const __m128i low0 = Load16(t.Low[0].data()), high0 = Load16(t.High[0].data());
    const __m128i low1 = Load16(t.Low[1].data()), high1 = Load16(t.High[1].data());
    const __m128i low2 = Load16(t.Low[2].data()), high2 = Load16(t.High[2].data());
    __m128i any = _mm_setzero_si128();
    for (int i = 0; i < SectorSize; i += 16) {
        const std::uint8_t* at = sector + i;
        const __m128i m = _mm_and_si128(
            _mm_and_si128(BucketsAt(Load16(at), low0, high0), BucketsAt(Load16(at + 1), low1, high1)),
            BucketsAt(Load16(at + 2), low2, high2));
        any = _mm_or_si128(any, m);
    }
    return _mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) != 0xFFFF;
}

#if RECLAIMA_AVX2

__attribute__((target("avx2"))) inline __m256i BucketsAt(const __m256i bytes, const __m256i low,
                                                         const __m256i high)
{
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i lows = _mm256_shuffle_epi8(low, _mm256_and_si256(bytes, nibble));
    const __m256i highs =
        _mm256_shuffle_epi8(high, _mm256_and_si256(_mm256_srli_epi16(bytes, 4), nibble));
    return _mm256_and_si256(lows, highs);
}

__attribute__((target("avx2"))) inline __m256i Load32(const std::uint8_t* bytes)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
}

__attribute__((target("avx2"))) inline __m256i Table32(const std::array<std::uint8_t, 16>& row)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row.data())));
}

__attribute__((target("avx2"))) bool MayHoldAvx2(const std::uint8_t* sector,
                                                 const CSectorFilter::NibbleTables& t)
{
    const __m256i low0 = Table32(t.Low[0]), high0 = Table32(t.High[0]);
    const __m256i low1 = Table32(t.Low[1]), high1 = Table32(t.High[1]);
    const __m256i low2 = Table32(t.Low[2]), high2 = Table32(t.High[2]);
    __m256i any = _mm256_setzero_si256();
    for (int i = 0; i < SectorSize; i += 32) {
        const std::uint8_t* at = sector + i;
        const __m256i m = _mm256_and_si256(
            _mm256_and_si256(BucketsAt(Load32(at), low0, high0), BucketsAt(Load32(at + 1), low1, high1)),
            BucketsAt(Load32(at + 2), low2, high2));
        any = _mm256_or_si256(any, m);
    }
    return !_mm256_testz_si256(any, any);
}

#endif
#endif

bool Runs(MatchLevel level)
{
#if RECLAIMA_X86
    __builtin_cpu_init();
    switch (level) {
    case MatchLevel::Exact: return true;
    case MatchLevel::Sse2: return __builtin_cpu_supports("sse2");
    case MatchLevel::Ssse3: return __builtin_cpu_supports("ssse3");
#if RECLAIMA_AVX2
    case MatchLevel::Avx2: return __builtin_cpu_supports("avx2");
#else
    case MatchLevel::Avx2: return false;
#endif
    }
    return false;
#else
    return level == MatchLevel::Exact;
#endif
}

}  // namespace

MatchLevel SupportedMatchLevel(MatchLevel wanted)
{
    int level = static_cast<int>(wanted);
    while (level > 0 && !Runs(static_cast<MatchLevel>(level))) --level;
    return static_cast<MatchLevel>(level);
}

MatchLevel BestMatchLevel()
{
    static const MatchLevel best = SupportedMatchLevel(MatchLevel::Avx2);
    return best;
}

const char* MatchLevelName(MatchLevel level)
{
    switch (level) {
    case MatchLevel::Exact: return "exact";
    case MatchLevel::Sse2: return "SSE2";
    case MatchLevel::Ssse3: return "SSSE3";
    case MatchLevel::Avx2: return "AVX2";
    }
    return "?";
}

bool IsAllZero(const std::uint8_t* sector)
{
    for (int i = 0; i < SectorSize; i += 64) {
        std::uint64_t words[8];
        std::memcpy(words, sector + i, sizeof words);
        std::uint64_t any = 0;
        for (const std::uint64_t word : words) any |= word;
        if (any != 0) return false;
    }
    return true;
}

CSectorFilter::CSectorFilter(const std::vector<const Bytes*>& patterns)
{
    // Each pattern joins the bucket where it lets the fewest new sequences through.
    NibbleSets buckets[Buckets];
    bool used[Buckets] = {};
    for (const Bytes* pattern : patterns) {
        const NibbleSets sets = SetsOf(*pattern);
        int best = 0;
        long bestCost = -1;
        for (int b = 0; b < Buckets; ++b) {
            const long cost = used[b] ? buckets[b].With(sets).Combinations() - buckets[b].Combinations()
                                      : sets.Combinations();
            if (bestCost < 0 || cost < bestCost) {
                best = b;
                bestCost = cost;
            }
        }
        buckets[best] = used[best] ? buckets[best].With(sets) : sets;
        used[best] = true;

        if (pattern->size() < 2) HasOneBytePattern = true;
        else {
            Pair pair;
            for (std::size_t i = 0; i < pair.Bytes.size(); ++i) pair.Bytes[i] = (*pattern)[i % 2];
            Pairs.push_back(pair);
        }
    }
    for (int b = 0; b < Buckets; ++b) {
        if (!used[b]) continue;
        const auto bit = static_cast<std::uint8_t>(1u << b);
        for (int k = 0; k < Depth; ++k)
            for (int n = 0; n < 16; ++n) {
                if (buckets[b].Low[k] & (1u << n)) Tables.Low[k][n] |= bit;
                if (buckets[b].High[k] & (1u << n)) Tables.High[k][n] |= bit;
            }
    }
}

void ClassifySectors(const CSectorFilter& filter, MatchLevel level, const std::uint8_t* sectors,
                     std::size_t count, SectorClass* classes)
{
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* sector = sectors + i * SectorSize;
        classes[i] = IsAllZero(sector)               ? SectorClass::Blank
                     : filter.MayHold(sector, level) ? SectorClass::MayHoldPattern
                                                     : SectorClass::PlainData;
    }
}

bool CSectorFilter::MayHold(const std::uint8_t* sector, MatchLevel level) const
{
    switch (level) {
#if RECLAIMA_X86
    case MatchLevel::Sse2:
        return HasOneBytePattern || MayHoldSse2(sector, Pairs.data(), Pairs.size());
    case MatchLevel::Ssse3: return MayHoldSsse3(sector, Tables);
#if RECLAIMA_AVX2
    case MatchLevel::Avx2: return MayHoldAvx2(sector, Tables);
#endif
#endif
    default: return true;  // no filter: every sector gets the exact searches
    }
}

}  // namespace reclaima
