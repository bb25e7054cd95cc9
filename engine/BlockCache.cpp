#include "BlockCache.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

namespace reclaima {

namespace {

constexpr std::align_val_t PageAlignment{4096};
constexpr std::uint64_t BlockSectors = CBlockCache::BlockBytes / CBlockCache::SectorBytes;
// Sectors classified between two looks at whether the scanning thread wants the block.
constexpr std::uint64_t ClassifyStep = 64;
constexpr auto SpinBeforeSleeping = std::chrono::microseconds(200);

bool IsUsableUnit(std::uint32_t bytes)
{
    const bool powerOfTwo = (bytes & (bytes - 1)) == 0;
    return powerOfTwo && bytes >= CBlockCache::SectorBytes && bytes <= CBlockCache::LargestUnitBytes;
}

}  // namespace

void CBlockCache::AlignedFree::operator()(std::uint8_t* bytes) const
{
    ::operator delete(bytes, PageAlignment);
}

CBlockCache::CBlockCache(CPlatform& platform) : Os(platform) {}

CBlockCache::~CBlockCache() { StopReadingAhead(); }

CBlockCache::BlockBuffer CBlockCache::NewBuffer()
{
    // Zeroed once so that a filter reading past a sector's end never meets unset bytes.
    BlockBuffer buffer(static_cast<std::uint8_t*>(::operator new(BlockBytes + SlackBytes, PageAlignment)));
    std::memset(buffer.get(), 0, BlockBytes + SlackBytes);
    return buffer;
}

void CBlockCache::ClassifyWith(const CSectorFilter* filter, MatchLevel level)
{
    ClassFilter = filter;
    ClassLevel = level;
    Classified = false;
    if (filter && !Classes) {
        Classes = std::make_unique<SectorClass[]>(BlockSectors);
        SpareClasses = std::make_unique<SectorClass[]>(BlockSectors);
    }
}

void CBlockCache::Classify(const std::uint8_t* sectors, std::uint64_t first, std::uint64_t end,
                           SectorClass* classes) const
{
    ClassifySectors(*ClassFilter, ClassLevel, sectors + first * SectorBytes,
                    static_cast<std::size_t>(end - first), classes + first);
}

void CBlockCache::StartReadingAhead(const CSectorFilter& filter, MatchLevel level)
{
    if (Reader.joinable()) return;
    ClassifyWith(&filter, level);
    if (!Spare) Spare = NewBuffer();
    Quit.store(false);
    State.store(AheadState::Idle);
    Reader = std::thread([this] { ReadAhead(); });
}

void CBlockCache::StopReadingAhead()
{
    if (Reader.joinable()) {
        Quit.store(true);
        WakeWaiters();
        Reader.join();
        State.store(AheadState::Idle);
    }
    ClassifyWith(nullptr, MatchLevel::Exact);
}

void CBlockCache::Publish(AheadState state)
{
    State.store(state, std::memory_order_release);
    WakeWaiters();
}

void CBlockCache::WakeWaiters()
{
    // Taken once, so that a thread between its test and its sleep cannot miss the change.
    { const std::lock_guard<std::mutex> hold(Lock); }
    Changed.notify_all();
}

// Spins a moment before sleeping: on a virtual machine waking a sleeping thread costs tens
// of microseconds, about what a block's copy from the page cache does.
template <class Ready>
void CBlockCache::Await(Ready ready)
{
    const auto until = std::chrono::steady_clock::now() + SpinBeforeSleeping;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > until) {
            std::unique_lock<std::mutex> hold(Lock);
            Changed.wait(hold, ready);
            return;
        }
        std::this_thread::yield();
    }
}

void CBlockCache::ReadAhead()
{
    for (;;) {
        Await([this] { return Quit.load() || State.load(std::memory_order_acquire) == AheadState::Asked; });
        if (Quit.load()) return;
        const AheadRead asked = Ahead;
        const auto size = static_cast<std::uint32_t>((asked.End - asked.First) * SectorBytes);
        const std::int64_t got = Os.ReadAt(Volume, asked.First * SectorBytes, Spare.get(), size);
        // Sectors are classified here until the scanning thread wants the block; it
        // classifies the rest, so that whichever thread has time does the work.
        std::uint64_t classified = 0;
        if (Keep(got, size, Spare.get()) && ClassFilter) {
            const std::uint64_t count = asked.End - asked.First;
            while (classified < count && !Wanted.load(std::memory_order_relaxed) && !Quit.load()) {
                const std::uint64_t end = std::min(count, classified + ClassifyStep);
                Classify(Spare.get(), classified, end, SpareClasses.get());
                classified = end;
            }
        }
        Ahead.Got = got;
        Ahead.ClassifiedEnd = classified;
        Publish(AheadState::Done);
    }
}

bool CBlockCache::TakeAhead(std::uint64_t first, std::uint64_t end, std::int64_t& got,
                            std::uint64_t& classified)
{
    if (State.load(std::memory_order_acquire) == AheadState::Idle) return false;
    Wanted.store(true, std::memory_order_relaxed);
    Await([this] { return State.load(std::memory_order_acquire) == AheadState::Done; });
    Wanted.store(false, std::memory_order_relaxed);
    const bool wanted = Ahead.First == first && Ahead.End == end;
    got = Ahead.Got;
    classified = Ahead.ClassifiedEnd;
    State.store(AheadState::Idle, std::memory_order_relaxed);
    return wanted;
}

void CBlockCache::AskAhead(std::uint64_t endSector)
{
    const std::uint64_t unitSectors = Unit / SectorBytes;
    const std::uint64_t endUnits = endSector / unitSectors + (endSector % unitSectors != 0);
    const std::uint64_t stop = endUnits * unitSectors;
    if (!Reader.joinable() || End >= stop) return;
    Ahead = {End, std::min(stop, End + BlockSectors), 0, 0};
    Publish(AheadState::Asked);
}

void CBlockCache::Attach(HVolume volume, std::uint32_t unitBytes)
{
    Volume = volume;
    Unit = IsUsableUnit(unitBytes) ? unitBytes : SectorBytes;
    Forget();
}

void CBlockCache::Forget()
{
    First = End = 0;
    BlockFailed = false;
    Classified = false;
    UnitFirst = UINT64_MAX;
}

// Past the block in hand, or within a block that could not be read whole.
const std::uint8_t* CBlockCache::SectorOutsideTheBlock(std::uint64_t sector, std::uint64_t endSector)
{
    if (sector < First || sector >= End) LoadBlock(sector, endSector);
    if (BlockFailed) return FromFailedBlock(sector);
    return Buffer.get() + (sector - First) * SectorBytes;
}

bool CBlockCache::ReadInto(std::uint64_t offset, std::uint32_t size, std::uint8_t* into)
{
    return Keep(Os.ReadAt(Volume, offset, into, size), size, into);
}

bool CBlockCache::Keep(std::int64_t got, std::uint32_t size, std::uint8_t* into)
{
    if (got < 0) return false;
    // A short read at the end of the medium must not leave an earlier block's bytes.
    if (got < size) std::memset(into + got, 0, size - static_cast<std::uint32_t>(got));
    return true;
}

void CBlockCache::LoadBlock(std::uint64_t sector, std::uint64_t endSector)
{
    if (!Buffer) Buffer = NewBuffer();
    const std::uint64_t unitSectors = Unit / SectorBytes;
    First = sector / unitSectors * unitSectors;
    // The range's last device sector is read whole; nothing after it.
    const std::uint64_t endUnits = endSector / unitSectors + (endSector % unitSectors != 0);
    const std::uint64_t stop = std::max(endUnits * unitSectors, First + unitSectors);
    End = std::min(stop, First + BlockSectors);
    UnitFirst = UINT64_MAX;
    const auto size = static_cast<std::uint32_t>((End - First) * SectorBytes);
    std::int64_t got = 0;
    std::uint64_t classified = 0;
    // A read ahead of another block is waited for and dropped: reads never overlap.
    if (TakeAhead(First, End, got, classified)) {
        std::swap(Buffer, Spare);
        std::swap(Classes, SpareClasses);
        BlockFailed = got < 0;  // the reading thread has filled in a short read's end
    } else {
        classified = 0;
        BlockFailed = !ReadInto(First * SectorBytes, size, Buffer.get());
    }
    // The next block is read while this thread classifies the rest of this one. After a
    // failure the next reads are this block's device sectors, one by one.
    if (!BlockFailed) AskAhead(endSector);
    Classified = ClassFilter && !BlockFailed;
    if (Classified) Classify(Buffer.get(), classified, End - First, Classes.get());
}

// A block that cannot be read whole is read one device sector at a time, so that only the
// unreadable ones are lost.
const std::uint8_t* CBlockCache::FromFailedBlock(std::uint64_t sector)
{
    const std::uint64_t unitSectors = Unit / SectorBytes;
    const std::uint64_t unitFirst = sector / unitSectors * unitSectors;
    std::uint8_t* const at = Buffer.get() + (unitFirst - First) * SectorBytes;
    if (unitFirst != UnitFirst) {
        UnitFirst = unitFirst;
        UnitFailed = !ReadInto(unitFirst * SectorBytes, Unit, at);
        // Taken now: the message for each of the unit's sectors shows this failure's text.
        if (UnitFailed) Error = Os.LastErrorText();
    }
    return UnitFailed ? nullptr : at + (sector - unitFirst) * SectorBytes;
}

}  // namespace reclaima
