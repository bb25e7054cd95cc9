// The range of a scan, its end, and steering it from another thread.
#include <chrono>
#include <thread>

#include "ScanFixture.h"

namespace reclaima::test {
namespace {

using namespace std::chrono_literals;

struct RangeCase {
    const char* Name;
    std::uint64_t First;
    std::uint64_t End;
    std::vector<std::uint64_t> SectorsRead;
};

const RangeCase RangeCases[] = {
    {"EmptyVolume", 0, 0, {}},
    {"FirstEqualsEnd", 3, 3, {}},
    {"FirstBeyondEnd", 5, 3, {}},
    {"OneSector", 6, 7, {6}},
    {"TailOfTheVolume", 5, 8, {5, 6, 7}},
};

class ScanRangeTest : public ScanFixture, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(ScanRangeTest, ReadsExactlyTheRangeAndOpensTheHomePageOnce)
{
    for (std::uint64_t s = 0; s < 8; ++s) Disk.Put(s, 0, HeaderOf(Gif));
    ScanRange(GetParam().First, GetParam().End);

    // One block read covers the whole range, each sector once and nothing beyond.
    std::vector<std::uint64_t> sectors;
    for (const ReadSpan& read : Os.ReadSpans)
        for (std::uint64_t s = read.Offset / 512; s < (read.Offset + read.Size) / 512; ++s)
            sectors.push_back(s);
    EXPECT_EQ(sectors, GetParam().SectorsRead);
    EXPECT_LE(Os.ReadSpans.size(), 1u);
    EXPECT_EQ(Os.CreatedPaths.size(), GetParam().SectorsRead.size());
    EXPECT_EQ(Os.OpenedAddresses, std::vector<std::wstring>{HomePageAddress});
}

TEST_P(ScanRangeTest, ThePlainPathReadsEachSectorOfTheRangeOnce)
{
    for (std::uint64_t s = 0; s < 8; ++s) Disk.Put(s, 0, HeaderOf(Gif));
    Scanner.Method = ScanMethod::Plain;
    ScanRange(GetParam().First, GetParam().End);

    std::vector<ReadSpan> reads;
    for (std::uint64_t sector : GetParam().SectorsRead) reads.push_back({sector * 512, 512});
    EXPECT_EQ(Os.ReadSpans, reads);
    EXPECT_EQ(Os.CreatedPaths.size(), GetParam().SectorsRead.size());
}

INSTANTIATE_TEST_SUITE_P(Cases, ScanRangeTest, ::testing::ValuesIn(RangeCases),
                         [](const auto& test) { return std::string(test.param.Name); });

TEST_F(ScanFixture, AFullScanEndsAtTheEndSector)
{
    Disk.Data(4);
    ScanAll();
    EXPECT_EQ(Scanner.CurrentSector.load(), 5u);
    EXPECT_EQ(Scanner.EndSector, 5u);
}

TEST_F(ScanFixture, StopBeforeTheFirstPassReadsNothing)
{
    Disk.Put(0, 0, HeaderOf(Gif));
    Scanner.StopRequested = 1;
    ScanAll();
    EXPECT_TRUE(Os.ReadOffsets.empty());
    EXPECT_EQ(Os.OpenedAddresses.size(), 1u);
    EXPECT_EQ(Scanner.StopRequested.load(), 1u);
}

TEST_F(ScanFixture, CountsAndTheLastTypeCarryOverToTheNextScan)
{
    Disk.Data(0);
    Disk.Put(0, 0, HeaderOf(Jpg));
    Disk.Data(1);
    ScanRange(0, 1);
    ASSERT_EQ(Count(Jpg), 1u);
    ASSERT_EQ(Os.CreatedPaths.size(), 1u);

    // The second scan sees a JPG footer before any header: no file is open, nothing is written.
    Disk.Put(1, 10, FooterOf(Jpg));
    Scanner.Scan({1, 2, SaveFolder});
    EXPECT_EQ(Scanner.CurrentType, Jpg);
    EXPECT_EQ(Scanner.FooterLength, 2);
    EXPECT_EQ(Os.CreatedPaths.size(), 1u);

    Scanner.Scan({0, 1, SaveFolder});
    EXPECT_EQ(Count(Jpg), 2u);
}

// The stop and pause tests steer the scan at the read of one sector: the plain path reads
// one sector per pass; both paths share the loop that polls the flags.
TEST_F(ScanFixture, StopWhileRunningEndsAfterThePassInHand)
{
    Scanner.Method = ScanMethod::Plain;
    Disk.Put(0, 0, HeaderOf(Flv));
    for (std::uint64_t s = 1; s < 10; ++s) Disk.Data(s, static_cast<std::uint8_t>(s));
    Os.BeforeRead = [this](std::uint64_t offset) {
        if (offset == 3 * 512) Scanner.StopRequested = 1;
    };
    ScanAll();

    EXPECT_EQ(Os.ReadCount.load(), 4u);
    ASSERT_EQ(Recovered().size(), 1u);
    EXPECT_EQ(Recovered()[0], Disk.Read({{0, 0, 4 * 512}}));
    EXPECT_TRUE(Os.OpenFiles.empty());
    EXPECT_EQ(Os.OpenedAddresses.size(), 1u);
}

// Steers a scan on a worker thread the way the window does.
class SteeredScanTest : public ScanFixture {
protected:
    static constexpr std::uint64_t PauseAt = 3;  // the sector read just before pausing

    SteeredScanTest()
    {
        Scanner.Method = ScanMethod::Plain;
        Disk.Data(0);
        Disk.Put(0, 0, HeaderOf(Flv));
        for (std::uint64_t s = 1; s < 10; ++s) Disk.Data(s, static_cast<std::uint8_t>(s));
        Os.BeforeRead = [this](std::uint64_t offset) {
            if (offset == PauseAt * 512 && !Paused) {
                Paused = true;
                Scanner.PauseRequested = 1;
            }
        };
    }

    void StartScan()
    {
        OpenDisk();
        Worker = std::thread([this] { Scanner.Scan({0, Disk.SectorCount(), SaveFolder}); });
        WaitFor([this] { return Os.ReadCount.load() == PauseAt + 1; });
        std::this_thread::sleep_for(50ms);  // a paused scan must not read on meanwhile
        ASSERT_EQ(Os.ReadCount.load(), PauseAt + 1);
    }

    template <typename Condition> static void WaitFor(Condition done)
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!done() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
        ASSERT_TRUE(done());
    }

    ~SteeredScanTest() override
    {
        if (Worker.joinable()) Worker.join();
    }

    bool Paused = false;  // touched by the scanning thread only
    std::thread Worker;
};

TEST_F(SteeredScanTest, StopWhilePausedEndsTheScanAndKeepsTheOpenFile)
{
    StartScan();
    Scanner.StopRequested = 1;
    Worker.join();

    EXPECT_EQ(Os.ReadCount.load(), PauseAt + 1);
    EXPECT_EQ(Scanner.CurrentSector.load(), PauseAt + 1);
    ASSERT_EQ(Recovered().size(), 1u);
    EXPECT_EQ(Recovered()[0], Disk.Read({{0, 0, (PauseAt + 1) * 512}}));
    EXPECT_TRUE(Os.OpenFiles.empty());
    EXPECT_EQ(Os.OpenedAddresses.size(), 1u);
}

TEST_F(SteeredScanTest, ContinueGoesOnWhereThePauseLeftOff)
{
    StartScan();
    Scanner.PauseRequested = 0;
    Worker.join();

    EXPECT_EQ(Os.ReadCount.load(), Disk.SectorCount());
    ASSERT_EQ(Recovered().size(), 1u);
    EXPECT_EQ(Recovered()[0], Disk.Read({{0, 0, Disk.SectorCount() * 512}}));
}

}  // namespace
}  // namespace reclaima::test
