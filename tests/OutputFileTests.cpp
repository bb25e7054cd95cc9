// Naming, creating and writing the recovered files.
#include "ScanFixture.h"

namespace reclaima::test {
namespace {

struct NameCase {
    LocalTime Time;
    const wchar_t* Stem;
};

const NameCase NameCases[] = {
    {{9, 5, 7, 42}, L"95742"},
    {{0, 0, 0, 0}, L"0000"},
    {{23, 59, 59, 999}, L"235959999"},
    {{13, 4, 5, 6}, L"13456"},
};

class FileNameTest : public ScanFixture, public ::testing::WithParamInterface<NameCase> {};

TEST_P(FileNameTest, NamesRunTheLocalTimeTogether)
{
    Os.Clock = {GetParam().Time};
    Disk.Put(0, 0, HeaderOf(Png));
    ScanAll();
    EXPECT_EQ(Os.CreatedPaths,
              std::vector<std::wstring>{std::wstring(L"D:\\out\\png\\") + GetParam().Stem + L".png"});
    EXPECT_TRUE(Os.Folders.count(L"D:\\out\\png"));
}

INSTANTIATE_TEST_SUITE_P(Cases, FileNameTest, ::testing::ValuesIn(NameCases));

TEST_F(ScanFixture, NamesThatRunTogetherAlikeDoNotOverwriteEachOther)
{
    Os.Clock = {{13, 4, 5, 6}, {1, 34, 5, 6}, {1, 34, 5, 6}};
    Disk.Put(0, 0, HeaderOf(Gif));
    Disk.Data(1, 0x21);
    Disk.Put(1, 0, HeaderOf(Gif));
    Disk.Data(2, 0x22);
    Disk.Put(2, 0, HeaderOf(Gif));
    ScanAll();

    EXPECT_EQ(Os.CreatedPaths, (std::vector<std::wstring>{L"D:\\out\\gif\\13456.gif",
                                                          L"D:\\out\\gif\\13456 (2).gif",
                                                          L"D:\\out\\gif\\13456 (3).gif"}));
    for (std::size_t s = 0; s < 3; ++s) EXPECT_EQ(Recovered()[s], Disk.Read({{s, 0, 512}}));
}

TEST_F(ScanFixture, FilesBegunInOneTickTryEachNameOnce)
{
    for (std::uint64_t s = 0; s < 50; ++s) Disk.Put(s, 0, HeaderOf(Rar));
    ScanAll();
    EXPECT_EQ(Os.CreatedPaths.size(), 50u);
    EXPECT_EQ(Os.CreatedPaths.back(), L"D:\\out\\rar\\95742 (50).rar");
    EXPECT_EQ(Os.CreateAttempts, 50u);
}

TEST_F(ScanFixture, AnEarlierRecoveryInTheFolderIsKept)
{
    Os.Folders.insert(L"D:\\out\\jpg");
    Os.Files[L"D:\\out\\jpg\\95742.jpg"] = {1, 2, 3};
    Disk.Put(0, 0, HeaderOf(Jpg));
    ScanAll();

    EXPECT_EQ(Os.Files[L"D:\\out\\jpg\\95742.jpg"], (Bytes{1, 2, 3}));
    EXPECT_EQ(Os.CreatedPaths, std::vector<std::wstring>{L"D:\\out\\jpg\\95742 (2).jpg"});
}

// A failed creation is reported once per scan, so the counts never stand for files
// that silently do not exist; the scan goes on and the next header begins a file.
TEST_F(ScanFixture, AFileThatCannotBeCreatedIsCountedAndReportedOnce)
{
    Os.FailingCreates = {L"D:\\out\\rtf\\95742.rtf", L"D:\\out\\gif\\95742.gif"};
    Disk.Put(0, 0, HeaderOf(Rtf));
    Disk.Data(1);
    Disk.Put(2, 0, HeaderOf(Gif));
    Disk.Put(3, 0, HeaderOf(Rar));
    ScanAll();

    EXPECT_EQ(Count(Rtf), 1u);
    EXPECT_EQ(Count(Gif), 1u);
    EXPECT_EQ(Os.Messages, (std::vector<Message>{{CTestPlatform::AccessDeniedText, L"提示"}}));
    EXPECT_EQ(Os.CreatedPaths, std::vector<std::wstring>{L"D:\\out\\rar\\95742.rar"});
    EXPECT_EQ(Recovered()[0], Disk.Read({{3, 0, 512}}));
}

TEST_F(ScanFixture, AMissingSaveFolderLosesTheFilesButNotTheCountsAndSaysSo)
{
    Os.Folders.clear();
    Disk.Put(0, 0, HeaderOf(Zip));
    Disk.Put(1, 0, HeaderOf(Zip));
    ScanAll();
    EXPECT_EQ(Count(Zip), 2u);
    EXPECT_TRUE(Os.CreatedPaths.empty());
    EXPECT_EQ(Os.Messages.size(), 1u);
}

// A full disk: the first failure of a scan is shown once, the file keeps what reached the
// disk, and the scan goes on.
TEST_F(ScanFixture, AFailedWriteIsReportedOnceAndTheScanGoesOn)
{
    Os.FreeBytes = 512 + 100;
    Disk.Data(0);
    Disk.Put(0, 0, HeaderOf(Flv));
    Disk.Data(1);
    Disk.Data(2);
    Disk.Data(3);
    Disk.Put(3, 0, HeaderOf(Gif));
    Disk.Data(4);
    Disk.Put(4, 0, HeaderOf(Rtf));
    ScanAll();

    EXPECT_EQ(Os.Messages, (std::vector<Message>{{CTestPlatform::DiskFullText, L"提示"}}));
    ASSERT_EQ(Recovered().size(), 3u);
    EXPECT_EQ(Recovered()[0], Disk.Read({{0, 0, 512 + 100}}));
    EXPECT_TRUE(Recovered()[1].empty());
    EXPECT_TRUE(Os.OpenFiles.empty());
    EXPECT_EQ(Count(Gif), 1u);
    EXPECT_EQ(Count(Rtf), 1u);
    EXPECT_EQ(Scanner.CurrentSector.load(), 5u);
}

TEST_F(ScanFixture, AFailedCloseIsReportedOncePerScan)
{
    Os.FailCloses = true;
    Disk.Put(0, 0, HeaderOf(Gif));
    Disk.Put(1, 0, HeaderOf(Gif));
    ScanAll();
    EXPECT_EQ(Os.Messages, (std::vector<Message>{{CTestPlatform::DiskFullText, L"提示"}}));
    EXPECT_EQ(Recovered().size(), 2u);

    Scanner.Scan({0, 1, SaveFolder});
    EXPECT_EQ(Os.Messages.size(), 2u);
}

}  // namespace
}  // namespace reclaima::test
