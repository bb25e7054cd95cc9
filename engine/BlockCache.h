// Large reads in front of a raw volume: sectors are served from one block of 1 MiB read
// at a time, so a scan costs one system call per block instead of one per sector.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Platform.h"

namespace reclaima {

class CBlockCache {
public:
    static constexpr std::uint32_t SectorBytes = 512;
    static constexpr std::uint32_t BlockBytes = 1u << 20;
    // The largest device sector taken as given; beyond it a device is read as 512-byte sectors.
    static constexpr std::uint32_t LargestUnitBytes = 64u << 10;
    // Past the block, so that a filter may read a few bytes beyond a sector's end.
    static constexpr std::uint32_t SlackBytes = 64;

    explicit CBlockCache(CPlatform& platform);

    // A new volume (or none) whose reads must be whole multiples of `unitBytes`.
    void Attach(HVolume volume, std::uint32_t unitBytes);
    // Forgets what was read, so that the next scan sees the disk as it is now.
    void Forget();

    // The 512 bytes of `sector`, read with the block that holds it; null when the device
    // sector it lies in cannot be read (ErrorText says why). Blocks stop at `endSector`,
    // rounded up to a whole device sector, and never cover less than the sector's own
    // device sector; a short read at the end of the medium reads as zeros.
    const std::uint8_t* Sector(std::uint64_t sector, std::uint64_t endSector);
    const std::wstring& ErrorText() const { return Error; }
    std::uint32_t UnitBytes() const { return Unit; }

private:
    struct AlignedFree {
        void operator()(std::uint8_t* bytes) const;
    };

    bool ReadInto(std::uint64_t offset, std::uint32_t size, std::uint8_t* into);
    void LoadBlock(std::uint64_t sector, std::uint64_t endSector);
    const std::uint8_t* FromFailedBlock(std::uint64_t sector);

    CPlatform& Os;
    HVolume Volume = NoVolume;
    std::uint32_t Unit = SectorBytes;
    std::unique_ptr<std::uint8_t[], AlignedFree> Buffer;  // page-aligned: a cheaper kernel copy
    std::uint64_t First = 0;  // the block's sectors are [First, End)
    std::uint64_t End = 0;
    bool BlockFailed = false;
    // In a failed block, units are read one at a time; the last one read and its outcome.
    std::uint64_t UnitFirst = UINT64_MAX;
    bool UnitFailed = false;
    std::wstring Error;
};

}  // namespace reclaima
