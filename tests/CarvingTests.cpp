// What each recovered file receives, sector by sector.
#include <set>

#include "ScanFixture.h"

namespace reclaima::test {
namespace {

struct CarveCase {
    const char* Name;
    void (*Build)(DiskImage&);
    std::vector<std::vector<Piece>> Files;  // expected, in the order begun
};

const CarveCase CarveCases[] = {
    {"HeaderAndFooterInOneSector",
     [](DiskImage& d) {
         d.Data(0);
         d.Put(0, 16, HeaderOf(Jpg));
         d.Put(0, 200, FooterOf(Jpg));
     },
     {{{0, 16, 202}}}},
    {"FooterOnTheLastTwoBytesTakesTheWholeSector",
     [](DiskImage& d) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Jpg));
         d.Data(1);
         d.Put(1, 510, FooterOf(Jpg));
         d.Data(2);  // after the footer: written nowhere
     },
     {{{0, 0, 1024}}}},
    {"FooterAcrossTwoSectorsIsNoEnd",
     [](DiskImage& d) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Jpg));
         d.Put(0, 511, {0xFF});
         d.Data(1);
         d.Put(1, 0, {0xD9});
         d.Put(1, 100, FooterOf(Jpg));
     },
     {{{0, 0, 512 + 102}}}},
    {"PngEndsWithIendAndItsCrc",
     [](DiskImage& d) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Png));
         d.Put(0, 300, FooterOf(Png));
     },
     {{{0, 0, 308}}}},
    {"HeaderAtOffsetZeroEndsTheOpenFile",
     [](DiskImage& d) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(1, 0x22);
         d.Put(1, 0, HeaderOf(Rtf));
     },
     {{{0, 0, 512}}, {{1, 0, 512}}}},
    {"FooterlessHeaderAtOneHundredSplitsTheSector",
     [](DiskImage& d) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Zip));
         d.Data(1);
         d.Put(1, 100, HeaderOf(Flv));
     },
     {{{0, 0, 512 + 100}}, {{1, 100, 512}}}},
    {"NewHeaderWinsOverTheOldFilesFooter",
     [](DiskImage& d) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Jpg));
         d.Data(1);
         d.Put(1, 40, FooterOf(Jpg));
         d.Put(1, 100, HeaderOf(Rar));
     },
     {{{0, 0, 512 + 100}}, {{1, 100, 512}}}},
    {"NewFileEndsInItsFirstSector",
     [](DiskImage& d) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(1);
         d.Put(1, 64, HeaderOf(Jpg));
         d.Put(1, 400, FooterOf(Jpg));
         d.Data(2);  // no file is open here
     },
     {{{0, 0, 512 + 64}}, {{1, 64, 402}}}},
    {"TwoTypesInOneSectorBeginOneFile",
     [](DiskImage& d) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Flv));
         d.Put(0, 256, HeaderOf(Png));
     },
     {{{0, 256, 512}}}},
    {"FooterlessFileTakesUnrelatedSectorsToTheEnd",
     [](DiskImage& d) {
         d.Put(0, 0, HeaderOf(Flv));
         for (int s = 1; s < 6; ++s) d.Data(s, static_cast<std::uint8_t>(0x30 + s));
     },
     {{{0, 0, 6 * 512}}}},
    {"DataBeforeAnyHeaderIsNotWritten",
     [](DiskImage& d) {
         d.Data(0);
         d.Data(1);
         d.Put(2, 0, HeaderOf(SevenZip));
     },
     {{{2, 0, 512}}}},
    {"BlankRunBelowTheLimitReadsBackAsZeros",
     [](DiskImage& d) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Rmvb));
         d.Data(1 + 1023);
     },
     {{{0, 0, 512}, ZeroBytes(1023 * 512), {1024, 0, 512}}}},
    {"BlankRunAtTheLimitClosesTheFile",
     [](DiskImage& d) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Rmvb));
         d.Data(1 + 1024);  // after the run: no file is open
     },
     {{{0, 0, 512}}}},
    {"BlankRunBeforeAHeaderIsNotWritten",
     [](DiskImage& d) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Rtf));
         d.Data(10);
         d.Put(10, 0, HeaderOf(Gif));
     },
     {{{0, 0, 512}}, {{10, 0, 512}}}},
    {"BlankRunThenAHeaderLaterInTheSectorKeepsTheGap",
     [](DiskImage& d) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Rtf));
         d.Data(3);
         d.Put(3, 50, HeaderOf(Gif));
     },
     {{{0, 0, 512}, ZeroBytes(2 * 512), {3, 0, 50}}, {{3, 50, 512}}}},
    {"BlankRunAtTheEndOfTheScanIsNotWritten",
     [](DiskImage& d) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Zip));
         d.Sectors(20);
     },
     {{{0, 0, 512}}}},
    {"BlankSectorsWithNoFileOpenBeginNothing",
     [](DiskImage& d) {
         d.Sectors(1030);
         d.Put(1030, 0, HeaderOf(Gif));
     },
     {{{1030, 0, 512}}}},
};

class CarvingTest : public ScanFixture, public ::testing::WithParamInterface<CarveCase> {};

TEST_P(CarvingTest, EachFileReceivesExactlyItsBytes)
{
    GetParam().Build(Disk);
    ScanAll();
    std::vector<Bytes> expected;
    for (const auto& pieces : GetParam().Files) expected.push_back(Disk.Read(pieces));
    const std::vector<Bytes> recovered = Recovered();
    ASSERT_EQ(recovered.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(recovered[i] == expected[i]) << "file " << i << ": " << recovered[i].size()
                                                 << " bytes, expected " << expected[i].size();
    EXPECT_TRUE(Os.OpenFiles.empty()) << "every file is closed when the scan ends";
}

INSTANTIATE_TEST_SUITE_P(Cases, CarvingTest, ::testing::ValuesIn(CarveCases),
                         [](const auto& test) { return std::string(test.param.Name); });

// An unreadable sector inside a file stands for 512 zero bytes at its place, written only
// when more of the same file follows; each one costs one message.
struct UnreadableCase {
    const char* Name;
    std::set<std::uint64_t> Unreadable;
    void (*Build)(DiskImage&);
    std::vector<std::vector<Piece>> Files;
};

const UnreadableCase UnreadableCases[] = {
    {"InsideAFileBecomeZeros", {1, 2},
     [](DiskImage& d) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(1, 0x22);
         d.Data(2, 0x33);
         d.Data(3, 0x44);
     },
     {{{0, 0, 512}, ZeroBytes(2 * 512), {3, 0, 512}}}},
    {"BeforeAHeaderInMidSectorBecomeZeros", {1},
     [](DiskImage& d) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Zip));
         d.Data(2);
         d.Put(2, 100, HeaderOf(Rar));
     },
     {{{0, 0, 512}, ZeroBytes(512), {2, 0, 100}}, {{2, 100, 512}}}},
    {"BeforeAHeaderAtOffsetZeroAreNotWritten", {1},
     [](DiskImage& d) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Zip));
         d.Data(2);
         d.Put(2, 0, HeaderOf(Rar));
     },
     {{{0, 0, 512}}, {{2, 0, 512}}}},
    {"AtTheEndOfTheScanAreNotWritten", {1, 2},
     [](DiskImage& d) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Flv));
         d.Sectors(3);
     },
     {{{0, 0, 512}}}},
    {"OutsideAFileWriteNothing", {0, 3},
     [](DiskImage& d) {
         d.Data(1);
         d.Put(1, 0, HeaderOf(Jpg));
         d.Put(1, 300, FooterOf(Jpg));
         d.Sectors(4);
     },
     {{{1, 0, 302}}}},
    // 1022 blank sectors and two unreadable ones: the run stays below the limit, and the
    // data after it lands 1024 sectors on.
    {"NeitherCountTowardsNorBreakABlankRun", {5, 6},
     [](DiskImage& d) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(1 + 1024);
     },
     {{{0, 0, 512}, ZeroBytes(1024 * 512), {1025, 0, 512}}}},
};

class UnreadableTest : public ScanFixture, public ::testing::WithParamInterface<UnreadableCase> {};

TEST_P(UnreadableTest, EachCostsOneMessageAndKeepsTheFileInPlace)
{
    GetParam().Build(Disk);
    Os.Volumes[Partition].UnreadableSectors = GetParam().Unreadable;
    ScanAll();

    std::vector<Bytes> expected;
    for (const auto& pieces : GetParam().Files) expected.push_back(Disk.Read(pieces));
    EXPECT_EQ(Recovered(), expected);
    const Message readError{CTestPlatform::ReadErrorText, L"提示"};
    EXPECT_EQ(Os.Messages, std::vector<Message>(GetParam().Unreadable.size(), readError));
    EXPECT_EQ(Scanner.CurrentSector.load(), Disk.SectorCount());
}

INSTANTIATE_TEST_SUITE_P(Cases, UnreadableTest, ::testing::ValuesIn(UnreadableCases),
                         [](const auto& test) { return std::string(test.param.Name); });

TEST_F(ScanFixture, FileTypesAndCountsFollowTheHeadersFound)
{
    const Type types[] = {Jpg, Png, Gif, Rtf, Rar, Zip, SevenZip, Rmvb, Flv, Jpg};
    for (std::uint64_t s = 0; s < std::size(types); ++s) Disk.Put(s, 0, HeaderOf(types[s]));
    ScanAll();

    std::vector<std::wstring> expectedPaths;
    for (std::size_t i = 0; i < std::size(types); ++i) {
        const std::wstring extension(Catalogue[types[i]].Extension);
        const std::wstring copy = i == 9 ? L" (2)" : L"";
        expectedPaths.push_back(L"D:\\out\\" + extension + L"\\95742" + copy + L"." + extension);
    }
    EXPECT_EQ(Os.CreatedPaths, expectedPaths);
    for (int type = 0; type < int(TypeCount); ++type)
        EXPECT_EQ(Count(Type(type)), type == Jpg ? 2u : 1u) << type;
}

}  // namespace
}  // namespace reclaima::test
