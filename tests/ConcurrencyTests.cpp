// A scan on the fast path steered and watched from another thread the way the window does
// it: pause and continue storms, the timer's reads of the position and the counts, and a
// stop while paused that zeroes the counts. Built with ThreadSanitizer by the tsan preset.
#include <chrono>
#include <thread>

#include "ScanFixture.h"

namespace reclaima::test {
namespace {

using namespace std::chrono_literals;

class WindowSteeredScanTest : public ScanFixture {
protected:
    static constexpr std::uint64_t Sectors = 3 * 2048 + 100;  // more than two read-ahead blocks
    static constexpr std::uint64_t FailedBlockFirst = 2048;   // a whole block of bad sectors, and more
    static constexpr std::uint64_t FailedBlockEnd = 2048 + 2048 + 8;

    WindowSteeredScanTest()
    {
        // A GIF in every pair of sectors: a file begins every other pass.
        for (std::uint64_t s = 0; s < Sectors; s += 2) {
            Disk.Data(s, static_cast<std::uint8_t>(1 + s % 200));
            Disk.Put(s, 0, HeaderOf(Gif));
            Disk.Data(s + 1, 0x33);
        }
        for (std::uint64_t s = FailedBlockFirst; s < FailedBlockEnd; ++s)
            Os.Volumes[Partition].UnreadableSectors.insert(s);
        // The scan waits at the begin of file StopAt until the stop has been given, so that it
        // comes mid-scan however fast the scan runs.
        Os.BeforeCreate = [this](const std::wstring&) {
            if (++Creates != StopAt) return;
            AtTheStopPoint = true;
            while (!StopGiven) std::this_thread::yield();
        };
        OpenDisk();
    }

    // What the window's timer reads, checked as the timer would rely on it.
    void Watch()
    {
        const std::uint64_t at = Scanner.CurrentSector.load(std::memory_order_relaxed);
        EXPECT_GE(at, LastSeen);
        EXPECT_LE(at, Sectors);
        LastSeen = at;
        std::uint64_t counted = 0;
        for (const auto& count : Scanner.TypeCounts) counted += count.load(std::memory_order_relaxed);
        EXPECT_LE(counted, Sectors / 2);
    }

    static constexpr unsigned StopAt = 1800;  // past the bad run: sector 2 * 1799 + 2056
    unsigned Creates = 0;                     // touched by the scanning thread only
    std::atomic<bool> AtTheStopPoint{false};
    std::atomic<bool> StopGiven{false};
    std::uint64_t LastSeen = 0;
};

TEST_F(WindowSteeredScanTest, StormsOfPauseAndContinueThenStopWhilePausedLoseNothing)
{
    std::thread worker([this] { Scanner.Scan({0, Sectors, SaveFolder}); });
    for (int storm = 0; storm < 200 && !AtTheStopPoint; ++storm) {
        Scanner.PauseRequested = 1;
        Watch();
        if (storm % 3 == 0) std::this_thread::sleep_for(200us);
        Scanner.PauseRequested = 0;
        Watch();
        std::this_thread::sleep_for(100us);
    }
    while (!AtTheStopPoint) {
        Watch();
        std::this_thread::sleep_for(1ms);
    }
    // Stop, as the window allows it: while paused, zeroing the counts.
    Scanner.PauseRequested = 1;
    Scanner.StopRequested = 1;
    for (auto& count : Scanner.TypeCounts) count.store(0, std::memory_order_relaxed);
    StopGiven = true;
    worker.join();
    Watch();

    // Every file begun before the stop holds exactly its sectors, a GIF and its data sector,
    // and nothing after the stop; the bad run ends at a header, so its zeros are not written.
    const std::uint64_t reached = Scanner.CurrentSector.load();
    ASSERT_EQ(reached, 2 * (StopAt - 1) + (FailedBlockEnd - FailedBlockFirst) + 1);
    std::uint64_t begun = 0;
    for (std::uint64_t s = 0; s < reached; s += 2) begun += s < FailedBlockFirst || s >= FailedBlockEnd;
    const auto files = Recovered();
    ASSERT_EQ(files.size(), begun);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::uint64_t first = i < FailedBlockFirst / 2 ? 2 * i : 2 * i + (FailedBlockEnd - FailedBlockFirst);
        const std::vector<Piece> pieces = {{first, 0, (std::min(first + 2, reached) - first) * 512}};
        ASSERT_EQ(files[i], Disk.Read(pieces)) << "file " << i << " at sector " << first;
    }
    EXPECT_EQ(Os.Messages.size(), std::min(reached, FailedBlockEnd) - std::min(reached, FailedBlockFirst));
    EXPECT_TRUE(Os.OpenFiles.empty());
    EXPECT_EQ(Os.OpenedAddresses.size(), 1u);
    // The header of the pass in hand was counted before the zeroing.
    for (const auto& count : Scanner.TypeCounts) EXPECT_EQ(count.load(), 0u);
}

}  // namespace
}  // namespace reclaima::test
