// Large reads in front of a raw volume: sectors are served from one block of 1 MiB read
// at a time, so a scan costs one system call per block instead of one per sector. During a
// scan a second thread reads the next block while the sectors of this one are examined, and
// the two threads share classifying the block's sectors before the scan reaches them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Platform.h"
#include "SectorFilter.h"

namespace reclaima {

class CBlockCache {
public:
    static constexpr std::uint32_t SectorBytes = SectorSize;
    static constexpr std::uint32_t BlockBytes = 1u << 20;
    // The largest device sector taken as given; beyond it a device is read as 512-byte sectors.
    static constexpr std::uint32_t LargestUnitBytes = 64u << 10;
    // Past the block, so that a filter may read a few bytes beyond a sector's end.
    static constexpr std::uint32_t SlackBytes = 64;

    explicit CBlockCache(CPlatform& platform);
    ~CBlockCache();
    CBlockCache(const CBlockCache&) = delete;
    CBlockCache& operator=(const CBlockCache&) = delete;

    // A new volume (or none) whose reads must be whole multiples of `unitBytes`.
    void Attach(HVolume volume, std::uint32_t unitBytes);
    // Forgets what was read, so that the next scan sees the disk as it is now.
    void Forget();
    // While on, the block after the one just read is read ahead, and every block read is
    // classified with `filter`. Reads never overlap: the platform sees one at a time, the
    // read ahead or one of the scanning thread.
    void StartReadingAhead(const CSectorFilter& filter, MatchLevel level);
    void StopReadingAhead();

    // The 512 bytes of `sector`, read with the block that holds it; null when the device
    // sector it lies in cannot be read (ErrorText says why). Blocks stop at `endSector`,
    // rounded up to a whole device sector, and never cover less than the sector's own
    // device sector; a short read at the end of the medium reads as zeros.
    const std::uint8_t* Sector(std::uint64_t sector, std::uint64_t endSector)
    {
        if (sector >= First && sector < End && !BlockFailed)
            return Buffer.get() + (sector - First) * SectorBytes;
        return SectorOutsideTheBlock(sector, endSector);
    }
    // The class of a sector that Sector has just served.
    SectorClass ClassOf(std::uint64_t sector) const
    {
        return Classified ? Classes[static_cast<std::size_t>(sector - First)] : SectorClass::Unclassified;
    }
    const std::wstring& ErrorText() const { return Error; }

private:
    struct AlignedFree {
        void operator()(std::uint8_t* bytes) const;
    };

    using BlockBuffer = std::unique_ptr<std::uint8_t[], AlignedFree>;
    using ClassBuffer = std::unique_ptr<SectorClass[]>;
    // A block asked of the reading thread: its sectors [First, End) and the count read.
    struct AheadRead {
        std::uint64_t First = 0;
        std::uint64_t End = 0;
        std::int64_t Got = 0;
        std::uint64_t ClassifiedEnd = 0;  // sectors [First, ClassifiedEnd) are classified
    };
    // Who holds Ahead: the reading thread while Asked, the scanning thread otherwise.
    enum class AheadState : std::uint8_t { Idle, Asked, Done };

    static BlockBuffer NewBuffer();
    // Blocks read from now on are classified with `filter` (none: not classified).
    void ClassifyWith(const CSectorFilter* filter, MatchLevel level);
    const std::uint8_t* SectorOutsideTheBlock(std::uint64_t sector, std::uint64_t endSector);
    bool Keep(std::int64_t got, std::uint32_t size, std::uint8_t* into);
    bool ReadInto(std::uint64_t offset, std::uint32_t size, std::uint8_t* into);
    void LoadBlock(std::uint64_t sector, std::uint64_t endSector);
    void AskAhead(std::uint64_t endSector);
    void Classify(const std::uint8_t* sectors, std::uint64_t first, std::uint64_t end, SectorClass* classes) const;
    // Waits for the read ahead; true when it read [first, end), with how many of its sectors
    // it classified.
    bool TakeAhead(std::uint64_t first, std::uint64_t end, std::int64_t& got, std::uint64_t& classified);
    void ReadAhead();
    void Publish(AheadState state);
    void WakeWaiters();
    template <class Ready>
    void Await(Ready ready);
    const std::uint8_t* FromFailedBlock(std::uint64_t sector);

    CPlatform& Os;
    HVolume Volume = NoVolume;
    std::uint32_t Unit = SectorBytes;
    BlockBuffer Buffer;  // page-aligned: a cheaper kernel copy
    BlockBuffer Spare;   // the read ahead's
    ClassBuffer Classes;  // of the block's sectors, when Classified
    ClassBuffer SpareClasses;
    bool Classified = false;
    const CSectorFilter* ClassFilter = nullptr;
    MatchLevel ClassLevel = MatchLevel::Exact;
    std::uint64_t First = 0;  // the block's sectors are [First, End)
    std::uint64_t End = 0;
    bool BlockFailed = false;
    // In a failed block, units are read one at a time; the last one read and its outcome.
    std::uint64_t UnitFirst = UINT64_MAX;
    bool UnitFailed = false;
    std::wstring Error;

    std::thread Reader;
    std::mutex Lock;  // only for sleeping on Changed
    std::condition_variable Changed;
    AheadRead Ahead;  // handed over by State
    std::atomic<AheadState> State{AheadState::Idle};
    std::atomic<bool> Wanted{false};  // the scanning thread waits for the read ahead
    std::atomic<bool> Quit{false};
};

}  // namespace reclaima
