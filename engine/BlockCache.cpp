#include "BlockCache.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace reclaima {

namespace {

constexpr std::align_val_t PageAlignment{4096};
constexpr std::uint64_t BlockSectors = CBlockCache::BlockBytes / CBlockCache::SectorBytes;

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
    UnitFirst = UINT64_MAX;
}

const std::uint8_t* CBlockCache::Sector(std::uint64_t sector, std::uint64_t endSector)
{
    if (sector < First || sector >= End) LoadBlock(sector, endSector);
    if (BlockFailed) return FromFailedBlock(sector);
    return Buffer.get() + (sector - First) * SectorBytes;
}

bool CBlockCache::ReadInto(std::uint64_t offset, std::uint32_t size, std::uint8_t* into)
{
    const std::int64_t got = Os.ReadAt(Volume, offset, into, size);
    if (got < 0) return false;
    // A short read at the end of the medium must not leave an earlier block's bytes.
    if (got < size) std::memset(into + got, 0, size - static_cast<std::uint32_t>(got));
    return true;
}

void CBlockCache::LoadBlock(std::uint64_t sector, std::uint64_t endSector)
{
    if (!Buffer) {
        // Zeroed once so that a filter reading past a sector's end never meets unset bytes.
        Buffer.reset(static_cast<std::uint8_t*>(
            ::operator new(BlockBytes + SlackBytes, PageAlignment)));
        std::memset(Buffer.get(), 0, BlockBytes + SlackBytes);
    }
    const std::uint64_t unitSectors = Unit / SectorBytes;
    First = sector / unitSectors * unitSectors;
    // The range's last device sector is read whole; nothing after it.
    const std::uint64_t endUnits = endSector / unitSectors + (endSector % unitSectors != 0);
    const std::uint64_t stop = std::max(endUnits * unitSectors, First + unitSectors);
    End = std::min(stop, First + BlockSectors);
    UnitFirst = UINT64_MAX;
    BlockFailed = !ReadInto(First * SectorBytes,
                            static_cast<std::uint32_t>((End - First) * SectorBytes), Buffer.get());
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
