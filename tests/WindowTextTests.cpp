// What the main window shows, checked without a window: the same functions run in
// the native build and, under Wine, in the Windows build (whose wide printf differs).
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "WindowText.h"

namespace reclaima::ui {
namespace {

template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case>& test)
{
    return test.param.Name;
}

struct PercentCase {
    const char* Name;
    std::uint64_t Current;
    std::uint64_t First;
    std::uint64_t End;
    int Expected;
};

class ScanPercentTest : public testing::TestWithParam<PercentCase> {};

TEST_P(ScanPercentTest, RoundsDownWithinTheRange)
{
    const PercentCase& c = GetParam();
    EXPECT_EQ(ScanPercent(c.Current, c.First, c.End), c.Expected);
}

constexpr std::uint64_t OneGiBSectors = 2097152;

INSTANTIATE_TEST_SUITE_P(
    Figures, ScanPercentTest,
    testing::Values(
        PercentCase{"Start", 0, 0, OneGiBSectors, 0},
        PercentCase{"JustBelowHalf", 1048575, 0, OneGiBSectors, 49},
        PercentCase{"Half", 1048576, 0, OneGiBSectors, 50},
        PercentCase{"LastSector", OneGiBSectors - 1, 0, OneGiBSectors, 99},
        PercentCase{"End", OneGiBSectors, 0, OneGiBSectors, 100},
        PercentCase{"OneSectorVolumeDone", 1, 0, 1, 100},
        PercentCase{"FromAnOffset", 150, 100, 200, 50},
        // A 40 TiB volume: sector × 100 still fits in 64 bits.
        PercentCase{"HugeVolume", 42949672960ull, 0, 85899345920ull, 50},
        // A position whose quotient's low 32 bits read as negative shows 0.
        PercentCase{"NegativeLowBitsShowZero", 21474837, 0, 1, 0}),
    CaseName<PercentCase>);

TEST(PercentTextTest, NumberBlankPercentSign)
{
    EXPECT_EQ(PercentText(37), L"37 %");
    EXPECT_EQ(PercentText(0), L"0 %");
    EXPECT_EQ(PercentText(100), L"100 %");
}

TEST(ResultLineTest, CountsInCatalogueOrder)
{
    EXPECT_EQ(ResultLine({3, 0, 0, 0, 0, 1, 0, 0, 0}),
              L"结果： JPG:3, PNG:0, GIF:0,  RTF:0, RAR:0, ZIP:1, 7Z:0, RMVB:0, FLV:0");
    EXPECT_EQ(ResultLine({1, 2, 3, 4, 5, 6, 7, 8, 9}),
              L"结果： JPG:1, PNG:2, GIF:3,  RTF:4, RAR:5, ZIP:6, 7Z:7, RMVB:8, FLV:9");
}

TEST(ResultLineTest, CountsAreUnsigned)
{
    const std::uint32_t most = std::numeric_limits<std::uint32_t>::max();
    EXPECT_EQ(ResultLine({most, 0, 0, 0, 0, 0, 0, 0, most}),
              L"结果： JPG:4294967295, PNG:0, GIF:0,  RTF:0, RAR:0, ZIP:0, 7Z:0, RMVB:0, "
              L"FLV:4294967295");
}

struct CapacityCase {
    const char* Name;
    std::int64_t Bytes;
    const wchar_t* Label;
    std::uint64_t EndSector;
};

class CapacityTest : public testing::TestWithParam<CapacityCase> {};

TEST_P(CapacityTest, LabelAndRange)
{
    const CapacityCase& c = GetParam();
    EXPECT_EQ(CapacityText(c.Bytes), c.Label);
    EXPECT_EQ(EndSectorOf(c.Bytes), c.EndSector);
}

INSTANTIATE_TEST_SUITE_P(
    Figures, CapacityTest,
    testing::Values(
        CapacityCase{"OneGiB", 1073741824, L"容量：1.00 GB", 2097152},
        CapacityCase{"OneBillionBytes", 1000000000, L"容量：0.93 GB", 1953125},
        CapacityCase{"NoLength", 0, L"容量：0.00 GB", 0},
        CapacityCase{"TailBelowOneSectorIsDropped", 1000, L"容量：0.00 GB", 1},
        CapacityCase{"LessThanOneSector", 511, L"容量：0.00 GB", 0},
        CapacityCase{"TwoTiB", 2199023255552, L"容量：2048.00 GB", 4294967296ull},
        CapacityCase{"RoundsToNearestHundredth", 1604321280, L"容量：1.49 GB", 3133440}),
    CaseName<CapacityCase>);

struct DriveTypeCase {
    unsigned Type;
    const wchar_t* Label;
};

class DriveTypeLabelTest : public testing::TestWithParam<DriveTypeCase> {};

TEST_P(DriveTypeLabelTest, LabelOfEachValue)
{
    EXPECT_STREQ(DriveTypeLabel(GetParam().Type), GetParam().Label);
}

INSTANTIATE_TEST_SUITE_P(
    Values, DriveTypeLabelTest,
    testing::Values(DriveTypeCase{0, L"未知磁盘"}, DriveTypeCase{1, L"磁盘不存在"},
                    DriveTypeCase{2, L"可移动磁盘"}, DriveTypeCase{3, L"本地磁盘"},
                    DriveTypeCase{4, L"网络驱动器"}, DriveTypeCase{5, L"CD/DVD_ROM"},
                    DriveTypeCase{6, L"随机存取磁盘"}, DriveTypeCase{7, L"未知磁盘"},
                    DriveTypeCase{100, L"未知磁盘"},
                    DriveTypeCase{std::numeric_limits<unsigned>::max(), L"未知磁盘"}));

TEST(PartitionEntryTest, RootTwoBlanksHyphenTwoBlanksLabel)
{
    EXPECT_EQ(PartitionEntry(L"C:\\", L"本地磁盘"), L"C:\\  -  本地磁盘");
    EXPECT_EQ(PartitionEntry(L"E:\\", L"CD/DVD_ROM"), L"E:\\  -  CD/DVD_ROM");
}

TEST(PartitionEntryTest, RootIsReadBackFromTheEntry)
{
    EXPECT_EQ(PartitionRoot(PartitionEntry(L"D:\\", L"可移动磁盘")), L"D:\\");
    EXPECT_EQ(PartitionRoot(L"C:"), L"C:");  // shorter than a root: the whole text
    EXPECT_EQ(PartitionRoot(L""), L"");      // no entry
}

TEST(DriveRootsTest, RootsInBufferOrder)
{
    const std::wstring filled(L"C:\\\0D:\\\0E:\\\0", 12);
    EXPECT_EQ(DriveRoots(filled), (std::vector<std::wstring>{L"C:\\", L"D:\\", L"E:\\"}));
}

TEST(DriveRootsTest, NothingFilledListsNothing)
{
    EXPECT_TRUE(DriveRoots({}).empty());
    EXPECT_TRUE(DriveRoots(std::wstring(L"\0\0", 2)).empty());
}

TEST(DriveRootsTest, StopsAtTheEmptyRootAndAtTheEnd)
{
    EXPECT_EQ(DriveRoots(std::wstring(L"C:\\\0\0Z:\\\0", 10)), (std::vector<std::wstring>{L"C:\\"}));
    // No final NUL: the last root still ends where the filled part ends.
    EXPECT_EQ(DriveRoots(std::wstring(L"C:\\\0D:\\", 7)),
              (std::vector<std::wstring>{L"C:\\", L"D:\\"}));
}

struct SaveFolderCase {
    const wchar_t* Chosen;
    const wchar_t* Folder;
};

class SaveFolderTest : public testing::TestWithParam<SaveFolderCase> {};

TEST_P(SaveFolderTest, MakerFolderWithTrailingBackslash)
{
    EXPECT_EQ(SaveFolderFor(GetParam().Chosen), GetParam().Folder);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SaveFolderTest,
    testing::Values(SaveFolderCase{L"D:\\", L"D:\\Vantobel\\"},  // the separator is not doubled
                    SaveFolderCase{L"D:\\photos", L"D:\\photos\\Vantobel\\"},
                    SaveFolderCase{L"D:\\data", L"D:\\data\\Vantobel\\"},
                    SaveFolderCase{L"D:\\Vantobel", L"D:\\Vantobel\\Vantobel\\"},
                    SaveFolderCase{L"\\\\server\\share", L"\\\\server\\share\\Vantobel\\"}));

TEST(SaveFolderTest, SameChoiceGivesSamePath)
{
    EXPECT_EQ(SaveFolderFor(L"D:\\data"), SaveFolderFor(L"D:\\data"));
}

TEST(SameDriveLetterTest, LettersCompareWithoutCase)
{
    EXPECT_TRUE(SameDriveLetter(L"D:\\", L"d:\\photos\\Vantobel\\"));
    EXPECT_TRUE(SameDriveLetter(L"X:", L"X:\\"));
    EXPECT_FALSE(SameDriveLetter(L"C:\\", L"D:\\"));
}

TEST(SameDriveLetterTest, PathsWithoutLetterNeverMatch)
{
    EXPECT_FALSE(SameDriveLetter(L"\\\\server\\share\\", L"\\\\server\\share\\"));
    EXPECT_FALSE(SameDriveLetter(L"", L"C:\\"));
    EXPECT_FALSE(SameDriveLetter(L"C:\\", L""));
    EXPECT_FALSE(SameDriveLetter(L"1:\\", L"1:\\"));
}

}  // namespace
}  // namespace reclaima::ui
