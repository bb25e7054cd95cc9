// Reading the volume in large blocks: what is read, in what sizes, and how an unreadable
// stretch is narrowed down to its own device sectors.
#include <set>
#include <thread>

#include "ScanFixture.h"

namespace reclaima::test {
namespace {

constexpr std::uint32_t Block = CBlockCache::BlockBytes;

struct BlockCase {
    const char* Name;
    std::uint32_t DeviceSector;
    std::uint64_t VolumeSectors;
    std::set<std::uint64_t> Unreadable;
    std::uint64_t First;
    std::uint64_t End;
    std::vector<ReadSpan> Reads;
};

const BlockCase BlockCases[] = {
    {"OneReadForASmallRange", 512, 16, {}, 0, 16, {{0, 16 * 512}}},
    {"BlocksOfOneMebibyteThenTheRest", 512, 2048 + 10, {}, 0, 2048 + 10, {{0, Block}, {Block, 10 * 512}}},
    {"TheRangeEndsTheLastBlock", 512, 2048 + 10, {}, 2040, 2045, {{2040 * 512, 5 * 512}}},
    {"AFailedBlockIsReadAgainSectorBySector", 512, 4, {2}, 0, 4,
     {{0, 2048}, {0, 512}, {512, 512}, {1024, 512}, {1536, 512}}},
    {"DeviceSectorsOf4096AreReadWhole", 4096, 32, {}, 0, 32, {{0, 32 * 512}}},
    {"ARangeEndingInsideADeviceSectorReadsItWhole", 4096, 32, {}, 3, 10, {{0, 2 * 4096}}},
    {"AFailedBlockOf4096SectorsIsReadOneDeviceSectorAtATime", 4096, 24, {9}, 0, 24,
     {{0, 3 * 4096}, {0, 4096}, {4096, 4096}, {8192, 4096}}},
    {"ASectorSizeNoDeviceHasIsTakenAs512", 1000, 4, {}, 1, 3, {{512, 1024}}},
};

class BlockReadTest : public ScanFixture, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(BlockReadTest, ReadsWholeDeviceSectorsOfTheRangeOnly)
{
    const BlockCase& c = GetParam();
    for (std::uint64_t s = 0; s < c.VolumeSectors; ++s) Disk.Data(s, static_cast<std::uint8_t>(s + 1));
    MemoryVolume& volume = Os.Volumes[Partition];
    volume.SectorSize = c.DeviceSector;
    volume.UnreadableSectors = c.Unreadable;
    Disk.Put(c.First, 0, HeaderOf(Flv));
    OpenDisk();
    const bool usable = c.DeviceSector % 512 == 0;
    if (!usable) volume.SectorSize = 512;  // the size it says is none a device has; it takes 512
    Scanner.Scan({c.First, c.End, SaveFolder});

    EXPECT_EQ(Os.ReadSpans, c.Reads);
    EXPECT_EQ(Scanner.CurrentSector.load(), c.End);
    ASSERT_EQ(Recovered().size(), 1u);
    std::size_t unreadableInRange = 0;
    std::vector<Piece> pieces;
    for (std::uint64_t s = c.First; s < c.End; ++s) {
        // Every 512-byte sector of a failed device sector is unreadable.
        const std::uint64_t unit = usable ? c.DeviceSector / 512 : 1;
        bool lost = false;
        for (std::uint64_t u = s / unit * unit; u < s / unit * unit + unit; ++u) lost |= c.Unreadable.count(u) > 0;
        if (lost) {
            ++unreadableInRange;
            pieces.push_back(ZeroBytes(512));
        } else {
            pieces.push_back({s, 0, 512});
        }
    }
    while (!pieces.empty() && pieces.back().Zeros) pieces.pop_back();  // a gap at the end is not written
    EXPECT_EQ(Recovered()[0], Disk.Read(pieces));
    const Message readError{CTestPlatform::ReadErrorText, L"提示"};
    EXPECT_EQ(Os.Messages, std::vector<Message>(unreadableInRange, readError));
}

INSTANTIATE_TEST_SUITE_P(Cases, BlockReadTest, ::testing::ValuesIn(BlockCases),
                         [](const auto& test) { return std::string(test.param.Name); });

TEST_F(ScanFixture, ASectorOutsideAScanIsReadWithItsDeviceSectorOnly)
{
    for (std::uint64_t s = 0; s < 16; ++s) Disk.Data(s, static_cast<std::uint8_t>(s + 1));
    Os.Volumes[Partition].SectorSize = 4096;
    OpenDisk();
    Scanner.CurrentSector = 9;
    ASSERT_TRUE(Scanner.ReadSector());
    EXPECT_EQ(Os.ReadSpans, (std::vector<ReadSpan>{{4096, 4096}}));
    EXPECT_EQ(Bytes(Scanner.SectorBuffer.begin(), Scanner.SectorBuffer.end()), Disk.Read({{9, 0, 512}}));
}

TEST_F(ScanFixture, TheBlocksAfterTheFirstAreReadAheadByAnotherThread)
{
    Disk.Data(3 * Block / 512 - 1);
    std::vector<std::thread::id> readers;
    Os.BeforeRead = [&](std::uint64_t) { readers.push_back(std::this_thread::get_id()); };
    ScanAll();

    ASSERT_EQ(Os.ReadSpans, (std::vector<ReadSpan>{{0, Block}, {Block, Block}, {2 * Block, Block}}));
    EXPECT_EQ(readers[0], std::this_thread::get_id());
    EXPECT_NE(readers[1], std::this_thread::get_id());
    EXPECT_EQ(readers[2], readers[1]);
}

TEST_F(ScanFixture, ANewScanReadsTheDiskAgain)
{
    Disk.Data(0);
    Disk.Put(0, 0, HeaderOf(Gif));
    ScanAll();
    Disk.Put(0, 0, HeaderOf(Rtf));
    Scanner.Scan({0, 1, SaveFolder});
    EXPECT_EQ(Count(Gif), 1u);
    EXPECT_EQ(Count(Rtf), 1u);
}

}  // namespace
}  // namespace reclaima::test
