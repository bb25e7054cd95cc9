// The fast path against the plain one on random and crafted disks: the same files byte for
// byte, the same counts, the same messages, the same state left behind, at every filter level
// and with device sectors of 512 and 4096 bytes.
#include <random>
#include <set>

#include "ScanFixture.h"

namespace reclaima::test {
namespace {

struct Disk {
    Bytes Image;
    std::set<std::uint64_t> Unreadable;  // 512-byte sectors
    std::uint64_t First = 0;
    std::uint64_t End = 0;
};

struct Random {
    explicit Random(unsigned seed) : Engine(seed) {}
    std::uint32_t operator()() { return static_cast<std::uint32_t>(Engine()); }
    std::mt19937 Engine;
};

std::vector<Bytes> AllPatterns()
{
    std::vector<Bytes> patterns;
    for (const CatalogueRow& row : Catalogue) {
        patterns.emplace_back(row.Header.begin(), row.Header.end());
        if (!row.Footer.empty()) patterns.emplace_back(row.Footer.begin(), row.Footer.end());
    }
    return patterns;
}

// Bytes that open some pattern, so that near misses of every kind turn up.
Bytes PatternAlphabet()
{
    std::set<std::uint8_t> bytes;
    for (const Bytes& pattern : AllPatterns())
        bytes.insert(pattern.begin(), pattern.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(3, pattern.size())));
    return Bytes(bytes.begin(), bytes.end());
}

std::uint8_t AnyByte(Random& random) { return static_cast<std::uint8_t>(random() & 0xFF); }

void FillSector(Bytes& image, std::uint64_t sector, Random& random, int kind)
{
    static const Bytes alphabet = PatternAlphabet();
    static const std::vector<Bytes> patterns = AllPatterns();
    std::uint8_t* at = image.data() + sector * 512;
    switch (kind) {
    case 0: for (int i = 0; i < 512; ++i) at[i] = AnyByte(random); break;
    case 1: break;  // blank
    case 2: for (int i = 0; i < 512; ++i) at[i] = alphabet[random() % alphabet.size()]; break;
    default: {
        for (int i = 0; i < 512; ++i) at[i] = AnyByte(random);
        // A few patterns, whole, cut short, or running over the sector's end.
        for (unsigned n = 1 + random() % 3; n > 0; --n) {
            const Bytes& pattern = patterns[random() % patterns.size()];
            const std::size_t length = random() % 4 == 0 ? 1 + random() % pattern.size() : pattern.size();
            const std::size_t offset = random() % 2 ? random() % 512 : 512 - length + random() % length;
            for (std::size_t i = 0; i < length && offset + i < image.size() - sector * 512; ++i)
                at[offset + i] = pattern[i];
        }
    }
    }
}

// Random sectors of every kind, runs of blank sectors around the limit, unreadable sectors
// here and there and one whole unreadable block; the range starts and ends inside a block.
Disk RandomDisk(unsigned seed)
{
    Random random(seed);
    Disk disk;
    const std::uint64_t sectors = 7 * 2048 + 300;
    disk.Image.assign(sectors * 512, 0);
    for (std::uint64_t s = 0; s < sectors;) {
        if (random() % 400 == 0) {
            s += 1020 + random() % 7;  // a blank run of 1020 to 1026
            continue;
        }
        FillSector(disk.Image, s++, random, static_cast<int>(random() % 8));
    }
    for (int n = 0; n < 40; ++n) disk.Unreadable.insert(random() % sectors);
    for (std::uint64_t s = 4 * 2048; s < 5 * 2048; ++s) disk.Unreadable.insert(s);
    disk.First = 3;
    disk.End = sectors - 37;
    return disk;
}

// Every header and footer at every offset, each after a sector that opens a file of its type.
Disk EveryOffsetDisk(unsigned)
{
    Disk disk;
    const std::vector<Bytes> patterns = AllPatterns();
    std::vector<Bytes> sectors;
    for (const Bytes& pattern : patterns)
        for (std::size_t offset = 0; offset < 512; ++offset) {
            Bytes sector(512, 0x11);
            std::copy_n(pattern.begin(), std::min(pattern.size(), 512 - offset), sector.begin() + offset);
            sectors.push_back(sector);
        }
    for (const Bytes& sector : sectors) disk.Image.insert(disk.Image.end(), sector.begin(), sector.end());
    disk.End = disk.Image.size() / 512;
    return disk;
}

// Files of several mebibytes, longer than what an output file gathers before it is written,
// with short blank runs and unreadable sectors inside.
Disk LongFilesDisk(unsigned seed)
{
    Random random(seed);
    Disk disk;
    const std::uint64_t sectors = 3 * 2048 + 900;
    disk.Image.assign(sectors * 512, 0);
    for (std::uint64_t s = 0; s < sectors; ++s)
        if (s % 700 >= 5) FillSector(disk.Image, s, random, 0);
    const std::string_view flv = Catalogue[Flv].Header;
    const std::string_view zip = Catalogue[Zip].Header;
    std::copy(flv.begin(), flv.end(), disk.Image.begin() + 10 * 512);
    std::copy(zip.begin(), zip.end(), disk.Image.begin() + 4000 * 512 + 77);
    disk.Unreadable = {2047, 2048, 3001};
    disk.End = sectors;
    return disk;
}

struct DifferentialCase {
    const char* Name;
    Disk (*Make)(unsigned);
    unsigned Seed;
};

const DifferentialCase Disks[] = {
    {"Random1", RandomDisk, 1},
    {"Random2", RandomDisk, 2},
    {"Random3", RandomDisk, 3},
    {"EveryOffset", EveryOffsetDisk, 0},
    {"LongFiles", LongFilesDisk, 4},
};

struct Outcome {
    std::map<std::wstring, Bytes> Files;
    std::vector<std::wstring> CreatedPaths;
    std::vector<Message> Messages;
    std::vector<std::uint32_t> Counts;
    std::int32_t CurrentType = 0;
    std::int32_t FooterLength = 0;
    std::uint64_t CurrentSector = 0;
};

// Two scans in a row, so that the second begins with the first one's last type.
Outcome ScanTwice(const Disk& disk, std::uint32_t deviceSector, std::uint32_t failingUnit,
                  ScanMethod method, MatchLevel level)
{
    CTestPlatform os;
    PrepareTestPlatform(os);
    MemoryVolume& volume = os.Volumes[Partition];
    volume.Bytes = disk.Image;
    volume.SectorSize = deviceSector;
    // A device sector with one unreadable 512 bytes in it is unreadable whole.
    const std::uint64_t unit = failingUnit / 512;
    for (const std::uint64_t s : disk.Unreadable)
        for (std::uint64_t u = s / unit * unit; u < s / unit * unit + unit; ++u) volume.UnreadableSectors.insert(u);
    CSectorScanner scanner(os);
    scanner.Method = method;
    scanner.Level = level;
    scanner.GetVolumeLength(Partition);
    scanner.Scan({disk.First, disk.End, SaveFolder});
    scanner.Scan({disk.First / 2, disk.End / 2, SaveFolder});

    Outcome outcome;
    outcome.Files = os.Files;
    outcome.CreatedPaths = os.CreatedPaths;
    outcome.Messages = os.Messages;
    for (const auto& count : scanner.TypeCounts) outcome.Counts.push_back(count.load());
    outcome.CurrentType = scanner.CurrentType;
    outcome.FooterLength = scanner.FooterLength;
    outcome.CurrentSector = scanner.CurrentSector.load();
    return outcome;
}

using Param = std::tuple<DifferentialCase, MatchLevel, std::uint32_t>;

class DifferentialTest : public ::testing::TestWithParam<Param> {};

TEST_P(DifferentialTest, TheFastPathRecoversWhatThePlainPathRecovers)
{
    const auto& [diskCase, level, deviceSector] = GetParam();
    if (SupportedMatchLevel(level) != level) GTEST_SKIP() << "this processor lacks " << MatchLevelName(level);
    const Disk disk = diskCase.Make(diskCase.Seed);

    // The plain path reads 512 bytes at a time, from a disk whose failures cover whole
    // device sectors of the size the fast path meets.
    const Outcome plain = ScanTwice(disk, 512, deviceSector, ScanMethod::Plain, MatchLevel::Exact);
    const Outcome fast = ScanTwice(disk, deviceSector, deviceSector, ScanMethod::Fast, level);
    ASSERT_FALSE(plain.CreatedPaths.empty());
    EXPECT_EQ(fast.CreatedPaths, plain.CreatedPaths);
    EXPECT_TRUE(fast.Files == plain.Files) << "the recovered files differ";
    EXPECT_EQ(fast.Counts, plain.Counts);
    EXPECT_EQ(fast.Messages.size(), plain.Messages.size());
    EXPECT_TRUE(fast.Messages == plain.Messages);
    EXPECT_EQ(fast.CurrentType, plain.CurrentType);
    EXPECT_EQ(fast.FooterLength, plain.FooterLength);
    EXPECT_EQ(fast.CurrentSector, plain.CurrentSector);
}

INSTANTIATE_TEST_SUITE_P(
    Disks, DifferentialTest,
    ::testing::Combine(::testing::ValuesIn(Disks),
                       ::testing::Values(MatchLevel::Exact, MatchLevel::Sse2, MatchLevel::Ssse3, MatchLevel::Avx2),
                       ::testing::Values(512u, 4096u)),
    [](const auto& test) {
        return std::string(std::get<0>(test.param).Name) + "_" + MatchLevelName(std::get<1>(test.param)) + "_" +
               std::to_string(std::get<2>(test.param));
    });

class FilterTest : public ::testing::TestWithParam<MatchLevel> {};

// The filter of the scan's first sectors: every header, and the footers as while a file of
// their type is open.
TEST_P(FilterTest, KeepsEveryPatternAtEveryOffsetAndRulesOutDataWithoutOne)
{
    const MatchLevel level = GetParam();
    if (SupportedMatchLevel(level) != level) GTEST_SKIP() << "this processor lacks " << MatchLevelName(level);
    const std::vector<Bytes> patterns = AllPatterns();
    std::vector<const Bytes*> all;
    for (const Bytes& pattern : patterns) all.push_back(&pattern);
    const CSectorFilter filter(all);

    // Without a filter every sector is searched.
    const bool rulesOut = level != MatchLevel::Exact;
    alignas(16) std::uint8_t sector[512 + CBlockCache::SlackBytes];
    std::fill(std::begin(sector), std::end(sector), 0x11);
    EXPECT_EQ(filter.MayHold(sector, level), !rulesOut);
    for (const Bytes& pattern : patterns)
        for (std::size_t offset = 0; offset + pattern.size() <= 512; ++offset) {
            std::fill(std::begin(sector), std::end(sector), 0x11);
            std::copy(pattern.begin(), pattern.end(), sector + offset);
            ASSERT_TRUE(filter.MayHold(sector, level)) << "offset " << offset << ", pattern of " << pattern.size();
        }
    // A pattern in the next sector is no reason to search this one.
    std::fill(std::begin(sector), std::end(sector), 0x11);
    std::copy(patterns[0].begin(), patterns[0].end(), sector + 512);
    EXPECT_EQ(filter.MayHold(sector, level), !rulesOut);
}

INSTANTIATE_TEST_SUITE_P(Levels, FilterTest,
                         ::testing::Values(MatchLevel::Exact, MatchLevel::Sse2, MatchLevel::Ssse3, MatchLevel::Avx2),
                         [](const auto& test) { return std::string(MatchLevelName(test.param)); });

}  // namespace
}  // namespace reclaima::test
