// What an observer of the scan is told: every file begun, every piece written with where
// it came from on the source, every close; and that watching changes nothing.
#include <map>
#include <string>
#include <vector>

#include "ScanFixture.h"
#include "Utf8.h"

namespace reclaima::test {
namespace {

// Each event as one line, so that a failure shows the whole story.
class RecordingObserver : public CScanObserver {
public:
    explicit RecordingObserver(const std::vector<std::uint8_t>& source) : Source(source) {}

    void FileBegun(const std::wstring& path, std::int32_t type, std::uint64_t sector,
                   std::uint64_t sourceOffset) override
    {
        Events.push_back("begun " + ToUtf8(path) + " " + std::string(Catalogue[type].Label) +
                         " sector " + std::to_string(sector) + " at " +
                         std::to_string(sourceOffset));
    }

    void PieceWritten(std::uint64_t gap, std::uint64_t sourceOffset, const std::uint8_t* data,
                      std::uint32_t size) override
    {
        const auto from = Source.begin() + static_cast<std::ptrdiff_t>(sourceOffset);
        const bool same =
            sourceOffset + size <= Source.size() && std::equal(data, data + size, from);
        Events.push_back("piece gap " + std::to_string(gap) + " from " +
                         std::to_string(sourceOffset) + " size " + std::to_string(size) +
                         (same ? "" : " (not the source's bytes)"));
    }

    void FileClosed(bool intact) override
    {
        Events.push_back(intact ? "closed" : "closed, not intact");
    }

    std::vector<std::string> Events;

private:
    const std::vector<std::uint8_t>& Source;
};

class ObserverTest : public ScanFixture {
protected:
    ObserverTest() { Scanner.Observer = &Watcher; }

    RecordingObserver Watcher{Os.Volumes[Partition].Bytes};
};

TEST_F(ObserverTest, ToldOfEveryFileAndWhereEachPieceCameFrom)
{
    Disk.Data(0);                       // before any header: no file
    Disk.Data(1);
    Disk.Put(1, 100, HeaderOf(Jpg));
    Disk.Sectors(3);                    // 2 blank: held back
    Disk.Data(3);                       // unreadable: zeros too, the gap runs on over it
    Disk.Data(4);
    Disk.Data(5);
    Disk.Put(5, 200, FooterOf(Jpg));    // the jpg ends with its footer
    Disk.Data(6);
    Disk.Put(6, 0, HeaderOf(Rar));
    Disk.Data(7);
    Disk.Data(8);
    Disk.Put(8, 300, HeaderOf(Gif));    // ends the rar mid-sector
    Disk.Data(9);
    Disk.Put(9, 0, HeaderOf(Rar));      // at offset 0: the gif gets nothing more
    Os.Volumes[Partition].UnreadableSectors = {3};
    ScanAll();

    EXPECT_EQ(Watcher.Events, (std::vector<std::string>{
                                  "begun D:\\out\\jpg\\95742.jpg JPG sector 1 at 612",
                                  "piece gap 0 from 612 size 412",
                                  "piece gap 1024 from 2048 size 512",
                                  "piece gap 0 from 2560 size 202",
                                  "closed",
                                  "begun D:\\out\\rar\\95742.rar RAR sector 6 at 3072",
                                  "piece gap 0 from 3072 size 512",
                                  "piece gap 0 from 3584 size 512",
                                  "piece gap 0 from 4096 size 300",
                                  "closed",
                                  "begun D:\\out\\gif\\95742.gif GIF sector 8 at 4396",
                                  "piece gap 0 from 4396 size 212",
                                  "closed",
                                  "begun D:\\out\\rar\\95742 (2).rar RAR sector 9 at 4608",
                                  "piece gap 0 from 4608 size 512",
                                  "closed",
                              }));
}

TEST_F(ObserverTest, AFileThatCouldNotBeCreatedIsNotReported)
{
    Os.FailingCreates = {L"D:\\out\\gif\\95742.gif"};
    Disk.Data(0);
    Disk.Put(0, 0, HeaderOf(Gif));
    Disk.Data(1);
    Disk.Put(1, 0, HeaderOf(Rtf));
    ScanAll();

    EXPECT_EQ(Watcher.Events, (std::vector<std::string>{
                                  "begun D:\\out\\rtf\\95742.rtf RTF sector 1 at 512",
                                  "piece gap 0 from 512 size 512",
                                  "closed",
                              }));
}

struct FailureCase {
    const char* Name;
    std::uint64_t FreeBytes;
    bool FailCloses;
    std::vector<std::string> Events;
};

// Pieces are held and written in one piece when the file closes: on a full disk both are
// reported, and the file, not intact, holds what fitted.
const FailureCase FailureCases[] = {
    {"FullDisk", 700, false,
     {"begun D:\\out\\flv\\95742.flv FLV sector 0 at 0", "piece gap 0 from 0 size 512",
      "piece gap 0 from 512 size 512", "closed, not intact"}},
    {"FailedClose", UINT64_MAX, true,
     {"begun D:\\out\\flv\\95742.flv FLV sector 0 at 0", "piece gap 0 from 0 size 512",
      "piece gap 0 from 512 size 512", "closed, not intact"}},
};

void PrintTo(const FailureCase& failure, std::ostream* out) { *out << failure.Name; }

class ObserverFailureTest : public ObserverTest,
                            public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ObserverFailureTest, LeavesTheFileNotIntact)
{
    Os.FreeBytes = GetParam().FreeBytes;
    Os.FailCloses = GetParam().FailCloses;
    Disk.Data(0);
    Disk.Put(0, 0, HeaderOf(Flv));
    Disk.Data(1);
    ScanAll();
    EXPECT_EQ(Watcher.Events, GetParam().Events);
}

INSTANTIATE_TEST_SUITE_P(Cases, ObserverFailureTest, ::testing::ValuesIn(FailureCases),
                         [](const auto& test) { return std::string(test.param.Name); });

TEST_F(ObserverTest, AStopClosesTheOpenFileIntact)
{
    Scanner.Method = ScanMethod::Plain;  // steered at the read of one sector
    Disk.Put(0, 0, HeaderOf(Zip));
    for (std::uint64_t s = 1; s < 6; ++s) Disk.Data(s);
    Os.BeforeRead = [this](std::uint64_t offset) {
        if (offset == 2 * 512) Scanner.StopRequested = 1;
    };
    ScanAll();

    EXPECT_EQ(Watcher.Events, (std::vector<std::string>{
                                  "begun D:\\out\\zip\\95742.zip ZIP sector 0 at 0",
                                  "piece gap 0 from 0 size 512",
                                  "piece gap 0 from 512 size 512",
                                  "piece gap 0 from 1024 size 512",
                                  "closed",
                              }));
}

// The same disk carved with and without an observer gives the same files, byte for byte.
TEST(ObserverWatching, ChangesNothingInTheCarving)
{
    std::vector<std::uint8_t> bytes;
    DiskImage disk(bytes);
    disk.Put(0, 0, HeaderOf(Png));
    for (std::uint64_t s = 1; s < 40; ++s)
        if (s % 7 != 3) disk.Data(s, static_cast<std::uint8_t>(0x20 + s));
    disk.Put(9, 17, FooterOf(Png));
    disk.Put(12, 480, HeaderOf(SevenZip));
    disk.Put(20, 0, HeaderOf(Jpg));
    disk.Put(33, 511, FooterOf(Jpg));  // straddles two sectors: not an end
    disk.Put(36, 60, HeaderOf(Flv));

    std::map<std::wstring, Bytes> carved[2];
    for (const bool watched : {false, true}) {
        CTestPlatform os;
        PrepareTestPlatform(os);
        os.Volumes[Partition].Bytes = bytes;
        os.Volumes[Partition].UnreadableSectors = {15, 22};
        CSectorScanner scanner(os);
        RecordingObserver watcher(os.Volumes[Partition].Bytes);
        if (watched) scanner.Observer = &watcher;
        ASSERT_GT(scanner.GetVolumeLength(Partition), 0);
        scanner.Scan({0, disk.SectorCount(), SaveFolder});
        carved[watched] = os.Files;
        for (const std::string& event : watcher.Events)
            EXPECT_EQ(event.find("not the source"), std::string::npos) << event;
    }
    EXPECT_EQ(carved[0].size(), 4u);
    EXPECT_EQ(carved[0], carved[1]);
}

}  // namespace
}  // namespace reclaima::test
