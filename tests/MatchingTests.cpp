#include <gtest/gtest.h>

#include "ScanFixture.h"

namespace reclaima::test {
namespace {

class MatchingTest : public ::testing::Test {
protected:
    CTestPlatform Os;
    CSectorScanner Scanner{Os};

    void Put(int offset, const Bytes& bytes)
    {
        std::copy(bytes.begin(), bytes.end(), Scanner.SectorBuffer.begin() + offset);
    }
};

TEST_F(MatchingTest, ConstructionBuildsTheCatalogueInTypeOrder)
{
    const std::vector<std::wstring> extensions = {L"jpg", L"png", L"gif", L"rtf", L"rar",
                                                  L"zip", L"7z",  L"rmvb", L"flv"};
    ASSERT_EQ(Scanner.Signatures.size(), extensions.size());
    for (std::size_t i = 0; i < extensions.size(); ++i) {
        EXPECT_EQ(Scanner.Signatures[i].Extension, extensions[i]);
        EXPECT_FALSE(Scanner.Signatures[i].Header.empty());
        EXPECT_EQ(Scanner.Signatures[i].Footer.empty(), i >= Gif) << i;
        EXPECT_EQ(Scanner.TypeCounts[i].load(), 0u);
    }
    EXPECT_EQ(Scanner.Signatures[Png].Footer,
              (Bytes{0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82}));
    EXPECT_EQ(Scanner.Signatures[Zip].Header,
              (Bytes{0x50, 0x4B, 0x03, 0x04, 0x14, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Scanner.CurrentType, -1);
    EXPECT_EQ(Scanner.HeaderOffset, -1);
    EXPECT_EQ(Scanner.FooterOffset, -1);
    EXPECT_EQ(Scanner.BlankSectorLimit, 1024);
    EXPECT_EQ(Scanner.ReadErrorSkip, 1);
    EXPECT_EQ(Scanner.VolumeHandle, NoVolume);
}

TEST_F(MatchingTest, ACatalogueHoldsNoMoreTypesThanItHasCounters)
{
    EXPECT_THROW(Scanner.AddSignature(L"bmp", {0x42, 0x4D}, {}), std::length_error);
    EXPECT_EQ(Scanner.Signatures.size(), TypeCount);
}

struct Placed {
    int Offset;
    Bytes Pattern;
};

struct HeaderCase {
    const char* Name;
    std::vector<Placed> Sector;
    int SearchFrom;
    int Offset;  // expected result
    int Type;    // expected CurrentType afterwards
};

const Bytes ExifJpeg = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46};
const Bytes Gif87a = {0x47, 0x49, 0x46, 0x38, 0x37, 0x61};
const Bytes ZipVersion10 = {0x50, 0x4B, 0x03, 0x04, 0x0A, 0x00, 0x00, 0x00};
const Bytes AudioOnlyFlv = {0x46, 0x4C, 0x56, 0x01, 0x04, 0x00, 0x00, 0x00};

const HeaderCase HeaderCases[] = {
    {"EarlierTypeWinsOverSmallerOffset", {{0, HeaderOf(Rar)}, {100, HeaderOf(Rtf)}}, 0, 100, Rtf},
    {"JpgBeforePngWherverItLies", {{10, HeaderOf(Png)}, {300, HeaderOf(Jpg)}}, 0, 300, Jpg},
    {"HeaderEndingOnTheLastByte", {{502, HeaderOf(Jpg)}}, 0, 502, Jpg},
    {"HeaderCutByTheSectorEnd", {{503, HeaderOf(Jpg)}}, 0, -1, -1},
    {"SmallestOffsetOfOneType", {{200, HeaderOf(Jpg)}, {50, HeaderOf(Jpg)}}, 0, 50, Jpg},
    {"OnlyFromSearchFrom", {{10, HeaderOf(Gif)}, {300, HeaderOf(Flv)}}, 11, 300, Flv},
    {"NothingFromTheLastByte", {{0, HeaderOf(Jpg)}}, 511, -1, -1},
    {"ExifJpegIsNotAStart", {{0, ExifJpeg}}, 0, -1, -1},
    {"Gif87aIsNotAStart", {{0, Gif87a}}, 0, -1, -1},
    {"ZipVersion10IsNotAStart", {{0, ZipVersion10}}, 0, -1, -1},
    {"AudioOnlyFlvIsNotAStart", {{0, AudioOnlyFlv}}, 0, -1, -1},
};

class FindHeaderTest : public MatchingTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(FindHeaderTest, FindsTheFirstTypeInCatalogueOrderAndCountsItOnce)
{
    const HeaderCase& c = GetParam();
    for (const Placed& placed : c.Sector) Put(placed.Offset, placed.Pattern);
    Scanner.SearchFrom = c.SearchFrom;

    EXPECT_EQ(Scanner.FindHeader(), c.Offset);
    EXPECT_EQ(Scanner.CurrentType, c.Type);
    for (int type = 0; type < int(TypeCount); ++type)
        EXPECT_EQ(Scanner.TypeCounts[type].load(), type == c.Type ? 1u : 0u) << "type " << type;
}

INSTANTIATE_TEST_SUITE_P(Cases, FindHeaderTest, ::testing::ValuesIn(HeaderCases),
                         [](const auto& test) { return std::string(test.param.Name); });

TEST_F(MatchingTest, AMissLeavesTheLastTypeAndTheCounts)
{
    Put(0, HeaderOf(Png));
    ASSERT_EQ(Scanner.FindHeader(), 0);
    Scanner.SectorBuffer.fill(0x11);
    EXPECT_EQ(Scanner.FindHeader(), -1);
    EXPECT_EQ(Scanner.CurrentType, Png);
    EXPECT_EQ(Scanner.TypeCounts[Png].load(), 1u);
}

struct FooterCase {
    const char* Name;
    int CurrentType;
    std::vector<Placed> Sector;
    int SearchFrom;
    int FooterLengthBefore;
    int Offset;        // expected result
    int FooterLength;  // expected afterwards
};

const FooterCase FooterCases[] = {
    {"NoTypeYetLeavesTheLength", -1, {{0, FooterOf(Jpg)}}, 0, 5, -1, 5},
    {"JpgFooterOnTheLastTwoBytes", Jpg, {{510, FooterOf(Jpg)}}, 0, 0, 510, 2},
    {"PngWithoutIendStillSetsTheLength", Png, {}, 0, 0, -1, 8},
    {"PngFooter", Png, {{100, FooterOf(Png)}}, 0, 0, 100, 8},
    {"FooterBeforeSearchFromIsIgnored", Jpg, {{20, FooterOf(Jpg)}}, 21, 0, -1, 2},
    {"OtherTypesFooterIsIgnored", Png, {{20, FooterOf(Jpg)}}, 0, 0, -1, 8},
    {"GifHasNone", Gif, {{0, FooterOf(Jpg)}}, 0, 8, -1, 0},
    {"RtfHasNone", Rtf, {}, 0, 8, -1, 0},
    {"RarHasNone", Rar, {}, 0, 8, -1, 0},
    {"ZipHasNone", Zip, {}, 0, 8, -1, 0},
    {"SevenZipHasNone", SevenZip, {}, 0, 8, -1, 0},
    {"RmvbHasNone", Rmvb, {}, 0, 8, -1, 0},
    {"FlvHasNone", Flv, {}, 0, 8, -1, 0},
};

class FindFooterTest : public MatchingTest, public ::testing::WithParamInterface<FooterCase> {};

TEST_P(FindFooterTest, SeeksOnlyTheCurrentTypesFooter)
{
    const FooterCase& c = GetParam();
    for (const Placed& placed : c.Sector) Put(placed.Offset, placed.Pattern);
    Scanner.CurrentType = c.CurrentType;
    Scanner.SearchFrom = c.SearchFrom;
    Scanner.FooterLength = c.FooterLengthBefore;

    EXPECT_EQ(Scanner.FindFooter(), c.Offset);
    EXPECT_EQ(Scanner.FooterLength, c.FooterLength);
}

INSTANTIATE_TEST_SUITE_P(Cases, FindFooterTest, ::testing::ValuesIn(FooterCases),
                         [](const auto& test) { return std::string(test.param.Name); });

TEST_F(MatchingTest, FooterAfterANewHeaderHidesTheOneBeforeIt)
{
    Put(40, FooterOf(Jpg));
    Put(100, HeaderOf(Jpg));
    Put(300, FooterOf(Jpg));
    Scanner.SearchFrom = Scanner.FindHeader();
    ASSERT_EQ(Scanner.SearchFrom, 100);
    EXPECT_EQ(Scanner.FindFooter(), 300);
}

TEST_F(MatchingTest, OnlyAllZeroSectorsAreBlank)
{
    EXPECT_TRUE(Scanner.IsBlankSector());
    for (int offset : {0, 255, 511}) {
        Scanner.SectorBuffer.fill(0);
        Scanner.SectorBuffer[offset] = 1;
        EXPECT_FALSE(Scanner.IsBlankSector()) << offset;
    }
    Scanner.SectorBuffer.fill(0xFF);
    EXPECT_FALSE(Scanner.IsBlankSector());
}

TEST_F(MatchingTest, FindPatternTriesEveryStartUpToTheLastFittingOne)
{
    const Bytes pattern = {0xAB, 0xAB, 0xCD};
    Put(509, pattern);
    EXPECT_EQ(Scanner.FindPattern(0, pattern.data(), 3), 509);
    EXPECT_EQ(Scanner.FindPattern(509, pattern.data(), 3), 509);
    EXPECT_EQ(Scanner.FindPattern(510, pattern.data(), 3), -1);
    // A false start that overlaps the real one.
    Put(100, {0xAB, 0xAB, 0xAB, 0xCD});
    EXPECT_EQ(Scanner.FindPattern(0, pattern.data(), 3), 101);
    const Bytes whole(512, 0xAB);
    EXPECT_EQ(Scanner.FindPattern(0, whole.data(), 512), -1);
    Scanner.SectorBuffer.fill(0xAB);
    EXPECT_EQ(Scanner.FindPattern(0, whole.data(), 512), 0);
    EXPECT_EQ(Scanner.FindPattern(1, whole.data(), 512), -1);
}

}  // namespace
}  // namespace reclaima::test
