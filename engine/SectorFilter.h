// A quick test that rules out most sectors before the exact searches: it says whether a
// sector may hold one of a set of patterns at some offset. "No" is certain; "maybe" is
// settled by the exact searches, so the answers of a scan never depend on it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "Signatures.h"

namespace reclaima {

// The engine's sector: the unit of the scan, whatever the device's own sector size.
constexpr std::int32_t SectorSize = 512;

// How the filter runs, from none at all to the widest instructions; the processor's best
// is chosen at run time, and tests and the benchmark may ask for a lower one.
enum class MatchLevel { Exact, Sse2, Ssse3, Avx2 };

// The highest level this processor runs.
MatchLevel BestMatchLevel();
// `wanted`, or the highest level below it that this processor runs.
MatchLevel SupportedMatchLevel(MatchLevel wanted);
const char* MatchLevelName(MatchLevel level);

// Whether all 512 bytes at `sector` are zero, tested a word at a time.
bool IsAllZero(const std::uint8_t* sector);

// What a sector was found to be before the scan reaches it; Unclassified when nobody looked.
enum class SectorClass : std::uint8_t { Unclassified, Blank, PlainData, MayHoldPattern };

class CSectorFilter;
// Classes of `count` sectors in a row, from the blank test and `filter`.
void ClassifySectors(const CSectorFilter& filter, MatchLevel level, const std::uint8_t* sectors,
                     std::size_t count, SectorClass* classes);

class CSectorFilter {
public:
    // The filter for these patterns (each at least one byte).
    explicit CSectorFilter(const std::vector<const Bytes*>& patterns);

    // False when no pattern starts at any offset of the 512 bytes at `sector`. Reads up to
    // two bytes past the sector's end; what they hold never turns a "maybe" into "no".
    bool MayHold(const std::uint8_t* sector, MatchLevel level) const;

    static constexpr int Buckets = 8;  // one bit of a byte each
    static constexpr int Depth = 3;    // leading bytes tested by the nibble tables

    // For each of the first three bytes of a match, the buckets a byte's low and high
    // nibbles allow; a bucket holds patterns whose bytes combine with few others.
    struct NibbleTables {
        alignas(16) std::array<std::array<std::uint8_t, 16>, Depth> Low{};
        alignas(16) std::array<std::array<std::uint8_t, 16>, Depth> High{};
    };
    // The first two bytes of a pattern repeated across a vector, for plain SSE2: compared as
    // 16-bit words with the bytes at even offsets, then with those at odd ones.
    struct Pair {
        alignas(16) std::array<std::uint8_t, 16> Bytes;
    };

private:
    NibbleTables Tables;
    std::vector<Pair> Pairs;
    bool HasOneBytePattern = false;  // the pair test cannot rule anything out then
};

}  // namespace reclaima
