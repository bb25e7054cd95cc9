// The carving model on hand-made disks, so that a wrong model cannot pass the fuzzer's
// comparison silently by agreeing with a wrong engine.
#include <gtest/gtest.h>

#include <functional>

#include "CarvingModel.h"
#include "ScanFixture.h"

namespace reclaima::test {
namespace {

using model::Message;

struct ExpectedFile {
    Type Kind;
    std::vector<Piece> Pieces;
};

struct ModelCase {
    const char* Name;
    std::function<void(DiskImage&, model::Disk&, model::Conditions&)> Build;
    std::vector<ExpectedFile> Files;
    std::vector<std::pair<Type, std::uint32_t>> Counts;  // the rest are 0
    std::vector<Message> Messages;
};

const Bytes FF{0xFF};
const Bytes D9{0xD9};

const ModelCase ModelCases[] = {
    {"HeaderAndFooterInOneSector",
     [](DiskImage& d, model::Disk&, model::Conditions&) {
         d.Data(0);
         d.Put(0, 10, HeaderOf(Jpg));
         d.Put(0, 100, FooterOf(Jpg));
     },
     {{Jpg, {{0, 10, 102}}}}, {{Jpg, 1}}, {}},
    {"FooterIsSoughtFromTheHeaderOn",
     [](DiskImage& d, model::Disk&, model::Conditions&) {
         d.Data(0);
         d.Put(0, 5, FooterOf(Jpg));
         d.Put(0, 100, HeaderOf(Jpg));
         d.Put(0, 300, FooterOf(Jpg));
     },
     {{Jpg, {{0, 100, 302}}}}, {{Jpg, 1}}, {}},
    {"FooterAcrossTwoSectorsIsNoEnd",
     [](DiskImage& d, model::Disk&, model::Conditions&) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Jpg));
         d.Put(0, 511, FF);
         d.Data(1);
         d.Put(1, 0, D9);
         d.Data(2);
     },
     {{Jpg, {{0, 0, 1536}}}}, {{Jpg, 1}}, {}},
    {"PngEndsAfterIendAndItsCrc",
     [](DiskImage& d, model::Disk&, model::Conditions&) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Png));
         d.Data(1);
         d.Put(1, 20, FooterOf(Png));
         d.Data(2);
     },
     {{Png, {{0, 0, 512 + 28}}}}, {{Png, 1}}, {}},
    {"AHeaderEndsTheOpenFileJustBeforeIt",
     [](DiskImage& d, model::Disk&, model::Conditions&) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(1);
         d.Data(2);
         d.Put(2, 100, HeaderOf(Rar));
     },
     {{Gif, {{0, 0, 1024 + 100}}}, {Rar, {{2, 100, 512}}}}, {{Gif, 1}, {Rar, 1}}, {}},
    {"ANewHeaderWinsOverTheOldFilesFooter",
     [](DiskImage& d, model::Disk&, model::Conditions&) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Jpg));
         d.Data(1);
         d.Put(1, 10, FooterOf(Jpg));
         d.Put(1, 200, HeaderOf(Gif));
     },
     {{Jpg, {{0, 0, 512 + 200}}}, {Gif, {{1, 200, 512}}}}, {{Jpg, 1}, {Gif, 1}}, {}},
    {"TheFirstTypeInOrderWinsTheSector",
     [](DiskImage& d, model::Disk&, model::Conditions&) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Rar));
         d.Put(0, 100, HeaderOf(Rtf));
     },
     {{Rtf, {{0, 100, 512}}}}, {{Rtf, 1}}, {}},
    {"BlanksBelowTheLimitReadBackAsZeros",
     [](DiskImage& d, model::Disk&, model::Conditions& c) {
         c.BlankLimit = 3;
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(3);
     },
     {{Gif, {{0, 0, 512}, ZeroBytes(1024), {3, 0, 512}}}}, {{Gif, 1}}, {}},
    {"BlanksAtTheLimitCloseTheFileAtItsLastData",
     [](DiskImage& d, model::Disk&, model::Conditions& c) {
         c.BlankLimit = 3;
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(4);
     },
     {{Gif, {{0, 0, 512}}}}, {{Gif, 1}}, {}},
    {"BlanksAtTheEndOfTheScanAreNotWritten",
     [](DiskImage& d, model::Disk&, model::Conditions&) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Sectors(3);
     },
     {{Gif, {{0, 0, 512}}}}, {{Gif, 1}}, {}},
    {"BlanksBeforeAHeaderAtZeroAreNotWritten",
     [](DiskImage& d, model::Disk&, model::Conditions&) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(2);
         d.Put(2, 0, HeaderOf(Rar));
     },
     {{Gif, {{0, 0, 512}}}, {Rar, {{2, 0, 512}}}}, {{Gif, 1}, {Rar, 1}}, {}},
    {"BlanksBeforeAHeaderInMidSectorAreWritten",
     [](DiskImage& d, model::Disk&, model::Conditions&) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(2);
         d.Put(2, 100, HeaderOf(Rar));
     },
     {{Gif, {{0, 0, 512}, ZeroBytes(512), {2, 0, 100}}}, {Rar, {{2, 100, 512}}}}, {{Gif, 1}, {Rar, 1}}, {}},
    {"AnUnreadableSectorInAFileIsZeros",
     [](DiskImage& d, model::Disk& m, model::Conditions&) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(1);
         d.Data(2);
         m.Unreadable = {1};
     },
     {{Gif, {{0, 0, 512}, ZeroBytes(512), {2, 0, 512}}}}, {{Gif, 1}}, {Message::Unreadable}},
    {"AnUnreadableSectorAtTheEndOfAFileIsNotWritten",
     [](DiskImage& d, model::Disk& m, model::Conditions&) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(1);
         d.Data(2);
         d.Put(2, 0, HeaderOf(Rar));
         m.Unreadable = {1};
     },
     {{Gif, {{0, 0, 512}}}, {Rar, {{2, 0, 512}}}}, {{Gif, 1}, {Rar, 1}}, {Message::Unreadable}},
    {"AnUnreadableHeaderSectorBeginsNothing",
     [](DiskImage& d, model::Disk& m, model::Conditions&) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         m.Unreadable = {0};
     },
     {}, {}, {Message::Unreadable}},
    {"UnreadableSectorsDoNotCountTowardsTheBlankLimit",
     [](DiskImage& d, model::Disk& m, model::Conditions& c) {
         c.BlankLimit = 3;
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(2);
         d.Data(4);
         m.Unreadable = {2};
     },
     {{Gif, {{0, 0, 512}, ZeroBytes(3 * 512), {4, 0, 512}}}}, {{Gif, 1}}, {Message::Unreadable}},
    {"UnreadableSectorsDoNotBreakABlankRun",
     [](DiskImage& d, model::Disk& m, model::Conditions& c) {
         c.BlankLimit = 2;
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(2);
         d.Data(4);
         m.Unreadable = {2};
     },
     {{Gif, {{0, 0, 512}}}}, {{Gif, 1}}, {Message::Unreadable}},
    {"OnlyTheRangeIsCarved",
     [](DiskImage& d, model::Disk&, model::Conditions& c) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(1);
         d.Put(1, 0, HeaderOf(Rar));
         d.Data(2);
         d.Data(3);
         c.First = 1;
         c.End = 3;
     },
     {{Rar, {{1, 0, 1024}}}}, {{Rar, 1}}, {}},
    {"AnEmptyRangeCarvesNothing",
     [](DiskImage& d, model::Disk&, model::Conditions& c) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         c.First = 1;
         c.End = 0;
     },
     {}, {}, {}},
    {"AFailedCreationLosesThatFileAndSaysSoOnce",
     [](DiskImage& d, model::Disk&, model::Conditions& c) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(1);
         d.Put(1, 0, HeaderOf(Rar));
         d.Data(2);
         d.Put(2, 0, HeaderOf(Zip));
         c.FailingBegins = {1, 2};
     },
     {{Zip, {{2, 0, 512}}}}, {{Gif, 1}, {Rar, 1}, {Zip, 1}}, {Message::CreateFailed}},
    {"ATypeWithoutItsFolderLosesEveryFileOfThatType",
     [](DiskImage& d, model::Disk&, model::Conditions& c) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(1);
         d.Put(1, 0, HeaderOf(Rar));
         d.Data(2);
         d.Put(2, 0, HeaderOf(Gif));
         c.TypesWithoutFolder = {Gif};
     },
     {{Rar, {{1, 0, 512}}}}, {{Gif, 2}, {Rar, 1}}, {Message::CreateFailed}},
    {"AFullDiskKeepsWhatWasWrittenAndSaysSoOnce",
     [](DiskImage& d, model::Disk&, model::Conditions& c) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(1);
         d.Data(2);
         d.Put(2, 412, HeaderOf(Rar));
         d.Data(3);
         c.FreeBytes = 612;
     },
     // 100 bytes of the GIF's second sector fit; nothing is left for the RAR.
     {{Gif, {{0, 0, 612}}}, {Rar, {}}}, {{Gif, 1}, {Rar, 1}}, {Message::WriteFailed}},
    {"AGapThatDoesNotFitWritesNothing",
     [](DiskImage& d, model::Disk& m, model::Conditions& c) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(1);
         d.Data(2);
         m.Unreadable = {1};
         c.FreeBytes = 1024;
     },
     {{Gif, {{0, 0, 512}}}}, {{Gif, 1}}, {Message::Unreadable, Message::WriteFailed}},
    {"AGapThatFitsIsWrittenWithWhatFitsAfterIt",
     [](DiskImage& d, model::Disk& m, model::Conditions& c) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(1);
         d.Data(2);
         m.Unreadable = {1};
         c.FreeBytes = 1200;
     },
     {{Gif, {{0, 0, 512}, ZeroBytes(512), {2, 0, 176}}}}, {{Gif, 1}}, {Message::Unreadable, Message::WriteFailed}},
    {"FailedClosesAreReportedOnce",
     [](DiskImage& d, model::Disk&, model::Conditions& c) {
         d.Data(0);
         d.Put(0, 0, HeaderOf(Gif));
         d.Data(1);
         d.Put(1, 0, HeaderOf(Rar));
         c.ClosesFail = true;
     },
     {{Gif, {{0, 0, 512}}}, {Rar, {{1, 0, 512}}}}, {{Gif, 1}, {Rar, 1}}, {Message::CloseFailed}},
    {"MessagesComeInTheOrderOfTheSectors",
     [](DiskImage& d, model::Disk& m, model::Conditions& c) {
         d.Data(0);
         d.Data(1);
         d.Put(1, 0, HeaderOf(Gif));
         d.Data(2);
         d.Data(3);
         d.Put(3, 0, HeaderOf(Rar));
         m.Unreadable = {0, 2};
         c.FailingBegins = {1, 2};
     },
     {}, {{Gif, 1}, {Rar, 1}}, {Message::Unreadable, Message::CreateFailed, Message::Unreadable}},
};

class CarvingModelTest : public ::testing::TestWithParam<ModelCase> {};

TEST_P(CarvingModelTest, GivesTheHandWorkedResult)
{
    const ModelCase& c = GetParam();
    model::Disk disk;
    DiskImage image(disk.Bytes);
    model::Conditions conditions;
    conditions.End = UINT64_MAX;
    c.Build(image, disk, conditions);
    if (conditions.End == UINT64_MAX) conditions.End = image.SectorCount();

    const model::Outcome outcome = model::Carve(disk, conditions);
    ASSERT_EQ(outcome.Files.size(), c.Files.size());
    for (std::size_t i = 0; i < c.Files.size(); ++i) {
        EXPECT_EQ(outcome.Files[i].Type, c.Files[i].Kind) << "file " << i;
        EXPECT_EQ(outcome.Files[i].Bytes, image.Read(c.Files[i].Pieces)) << "file " << i;
    }
    std::array<std::uint32_t, model::TypeCount> counts{};
    for (const auto& [type, count] : c.Counts) counts[type] = count;
    EXPECT_EQ(outcome.Counts, counts);
    EXPECT_EQ(outcome.Messages, c.Messages);
}

INSTANTIATE_TEST_SUITE_P(Cases, CarvingModelTest, ::testing::ValuesIn(ModelCases),
                         [](const auto& test) { return std::string(test.param.Name); });

}  // namespace
}  // namespace reclaima::test
