// Opening, measuring and reading the raw volume.
#include "ScanFixture.h"

#include <optional>

namespace reclaima::test {
namespace {

const Message VolumeNotOpen{L"磁盘未打开！", L"Reclaima"};

class VolumeTest : public ScanFixture {
protected:
    VolumeTest()
    {
        Os.Volumes[L"C:\\"].Bytes.assign(1000000, 0x5A);
        Os.Volumes[L"E:\\"].Bytes.assign(2048, 0xE0);
    }
};

TEST_F(VolumeTest, LengthIsTheVolumesBytes)
{
    EXPECT_EQ(Scanner.GetVolumeLength(L"C:\\"), 1000000);
    EXPECT_NE(Scanner.VolumeHandle, NoVolume);
    EXPECT_TRUE(Os.Messages.empty());
}

TEST_F(VolumeTest, AFailedOpenKeepsTheEarlierVolume)
{
    ASSERT_EQ(Scanner.GetVolumeLength(L"E:\\"), 2048);
    const HVolume earlier = Scanner.VolumeHandle;

    EXPECT_EQ(Scanner.GetVolumeLength(L"Q:\\"), 0);
    EXPECT_EQ(Os.Messages, std::vector<Message>{VolumeNotOpen});
    EXPECT_EQ(Scanner.VolumeHandle, earlier);
    EXPECT_EQ(Os.OpenVolumes, std::set<HVolume>{earlier});
    EXPECT_TRUE(Scanner.ReadSector());
    EXPECT_EQ(Scanner.SectorBuffer[0], 0xE0);
}

TEST_F(VolumeTest, AFailedLengthQueryKeepsTheNewHandleAndShowsTheSystemText)
{
    ASSERT_EQ(Scanner.GetVolumeLength(L"C:\\"), 1000000);
    const HVolume earlier = Scanner.VolumeHandle;
    Os.Volumes[L"E:\\"].LengthFails = true;
    EXPECT_EQ(Scanner.GetVolumeLength(L"E:\\"), 0);
    EXPECT_NE(Scanner.VolumeHandle, earlier);
    EXPECT_EQ(Os.OpenVolumes, std::set<HVolume>{Scanner.VolumeHandle});
    EXPECT_EQ(Os.Messages, (std::vector<Message>{{L"不支持该请求。", L"提示"}}));
}

TEST_F(VolumeTest, OnlyTheLastVolumeMeasuredStaysOpen)
{
    Scanner.GetVolumeLength(L"C:\\");
    Scanner.GetVolumeLength(L"E:\\");
    Scanner.GetVolumeLength(L"C:\\");
    EXPECT_EQ(Os.OpenVolumes, std::set<HVolume>{Scanner.VolumeHandle});
}

TEST_F(VolumeTest, DestroyingTheEngineClosesItsVolume)
{
    {
        CSectorScanner other(Os);
        other.GetVolumeLength(L"C:\\");
        EXPECT_EQ(Os.OpenVolumes.size(), 1u);
    }
    EXPECT_TRUE(Os.OpenVolumes.empty());
}

TEST_F(VolumeTest, ReadingWithNoVolumeOpenIsRefused)
{
    EXPECT_FALSE(Scanner.ReadSector());
    EXPECT_EQ(Os.Messages, std::vector<Message>{VolumeNotOpen});
}

TEST_F(VolumeTest, SectorNIsReadAtNTimes512)
{
    Scanner.GetVolumeLength(L"C:\\");
    for (std::uint64_t sector : {0u, 1u, 1952u}) {
        Scanner.CurrentSector = sector;
        EXPECT_TRUE(Scanner.ReadSector());
    }
    EXPECT_EQ(Os.ReadOffsets, (std::vector<std::uint64_t>{0, 512, 1952 * 512}));
}

TEST_F(VolumeTest, ShortReadLeavesNoBytesOfTheSectorBefore)
{
    Os.Volumes[L"E:\\"].Bytes.resize(1000);
    Scanner.GetVolumeLength(L"E:\\");
    Scanner.SectorBuffer.fill(0x77);
    Scanner.CurrentSector = 1;
    ASSERT_TRUE(Scanner.ReadSector());
    EXPECT_EQ(Scanner.SectorBuffer[487], 0xE0);
    EXPECT_EQ(Scanner.SectorBuffer[488], 0);
    EXPECT_EQ(Scanner.SectorBuffer[511], 0);
}

TEST_F(VolumeTest, AFailedReadShowsTheSystemText)
{
    Os.Volumes[L"E:\\"].UnreadableSectors = {2};
    Scanner.GetVolumeLength(L"E:\\");
    Scanner.CurrentSector = 2;
    EXPECT_FALSE(Scanner.ReadSector());
    EXPECT_EQ(Os.Messages, (std::vector<Message>{{CTestPlatform::ReadErrorText, L"提示"}}));
}

struct ShrinkCase {
    const char* Name;
    std::size_t BytesNow;  // E: held 2048 bytes when it was measured
    bool LengthFails;
    std::optional<std::int64_t> Shrunk;
};

TEST_F(VolumeTest, ShrunkVolumeLengthIsTheLengthNowOnlyWhenBelowTheMeasuredOne)
{
    const ShrinkCase cases[] = {
        {"a sector shorter", 1536, false, 1536},
        {"a byte shorter", 2047, false, 2047},
        {"empty", 0, false, 0},
        {"unchanged", 2048, false, std::nullopt},
        {"grown", 4096, false, std::nullopt},
        {"cannot be measured: no claim without a figure", 1024, true, std::nullopt},
    };
    MemoryVolume& volume = Os.Volumes[L"E:\\"];
    for (const ShrinkCase& c : cases) {
        SCOPED_TRACE(c.Name);
        volume.Bytes.assign(2048, 0xE0);
        volume.LengthFails = false;
        ASSERT_EQ(Scanner.GetVolumeLength(L"E:\\"), 2048);
        volume.Bytes.resize(c.BytesNow);
        volume.LengthFails = c.LengthFails;
        EXPECT_EQ(Scanner.ShrunkVolumeLength(2048), c.Shrunk);
    }
    EXPECT_TRUE(Os.Messages.empty()) << "measuring again is silent";
}

TEST_F(VolumeTest, NoVolumeOpenHasNotShrunk)
{
    EXPECT_EQ(Scanner.ShrunkVolumeLength(2048), std::nullopt);
    EXPECT_TRUE(Os.Messages.empty());
}

// Cut to its first block while the scan reads on: the rest reads as zeros, the scan runs to
// the end it was given, and only the file before the new end is found.
TEST_F(VolumeTest, AVolumeThatShrinksDuringTheScanIsScannedToItsEndAndMeasuresShorter)
{
    constexpr std::uint64_t Sectors = 8192;
    constexpr std::size_t NewEnd = 1 << 20;
    Disk.Put(0, 0, HeaderOf(Png));
    for (std::uint64_t sector = 1; sector < 4; ++sector) Disk.Data(sector);
    Disk.Put(4, 0, FooterOf(Png));
    Disk.Put(6000, 0, HeaderOf(Jpg));
    Disk.Sectors(Sectors);
    const Bytes png = Disk.Read({{0, 0, 4 * 512 + FooterOf(Png).size()}});
    for (const ScanMethod method : {ScanMethod::Fast, ScanMethod::Plain}) {
        SCOPED_TRACE(method == ScanMethod::Fast ? "fast" : "plain");
        MemoryVolume& volume = Os.Volumes[Partition];
        const std::vector<std::uint8_t> whole = volume.Bytes;
        Os.BeforeRead = [&](std::uint64_t offset) {
            if (offset >= NewEnd && volume.Bytes.size() > NewEnd) volume.Bytes.resize(NewEnd);
        };
        Scanner.Method = method;
        Os.CreatedPaths.clear();
        for (auto& count : Scanner.TypeCounts) count.store(0);
        ScanAll();
        Os.BeforeRead = nullptr;

        EXPECT_EQ(Scanner.CurrentSector.load(), Sectors);
        EXPECT_EQ(Count(Png), 1u);
        EXPECT_EQ(Count(Jpg), 0u);
        EXPECT_EQ(Recovered(), std::vector<Bytes>{png});
        EXPECT_EQ(Scanner.ShrunkVolumeLength(Sectors * 512), static_cast<std::int64_t>(NewEnd));
        EXPECT_TRUE(Os.Messages.empty());
        volume.Bytes = whole;
    }
}

}  // namespace
}  // namespace reclaima::test
