// Opening, measuring and reading the raw volume.
#include "ScanFixture.h"

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

}  // namespace
}  // namespace reclaima::test
