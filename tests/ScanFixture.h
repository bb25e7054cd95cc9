// A small disk built sector by sector, scanned by an engine on the test platform.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "SectorScanner.h"
#include "TestPlatform.h"

namespace reclaima::test {

enum Type { Jpg, Png, Gif, Rtf, Rar, Zip, SevenZip, Rmvb, Flv };

inline Bytes HeaderOf(Type type)
{
    const auto header = Catalogue[type].Header;
    return Bytes(header.begin(), header.end());
}

inline Bytes FooterOf(Type type)
{
    const auto footer = Catalogue[type].Footer;
    return Bytes(footer.begin(), footer.end());
}

// Bytes [From, To) counted from the start of Sector, or Zeros zero bytes.
struct Piece {
    std::uint64_t Sector = 0;
    int From = 0;
    std::uint64_t To = 0;
    std::size_t Zeros = 0;
};

inline Piece ZeroBytes(std::size_t count) { return {0, 0, 0, count}; }

class DiskImage {
public:
    explicit DiskImage(std::vector<std::uint8_t>& bytes) : Bytes_(bytes) {}

    // Grows the disk to hold `sectors` sectors; new sectors are all zero.
    void Sectors(std::uint64_t sectors)
    {
        Bytes_.resize(std::max(Bytes_.size(), static_cast<std::size_t>(sectors * 512)));
    }

    // Fills a sector with a non-zero byte that starts no header or footer.
    void Data(std::uint64_t sector, std::uint8_t fill = 0x11)
    {
        Sectors(sector + 1);
        std::fill_n(Bytes_.begin() + Offset(sector, 0), 512, fill);
    }

    void Put(std::uint64_t sector, int offset, const Bytes& bytes)
    {
        Sectors(sector + 1);
        std::copy(bytes.begin(), bytes.end(), Bytes_.begin() + Offset(sector, offset));
    }

    reclaima::Bytes Read(const std::vector<Piece>& pieces) const
    {
        reclaima::Bytes all;
        for (const Piece& piece : pieces) {
            if (piece.Zeros) {
                all.insert(all.end(), piece.Zeros, 0);
                continue;
            }
            all.insert(all.end(), Bytes_.begin() + Offset(piece.Sector, piece.From),
                       Bytes_.begin() + Offset(piece.Sector, 0) + static_cast<std::ptrdiff_t>(piece.To));
        }
        return all;
    }

    std::uint64_t SectorCount() const { return Bytes_.size() / 512; }

private:
    static std::ptrdiff_t Offset(std::uint64_t sector, int offset)
    {
        return static_cast<std::ptrdiff_t>(sector * 512) + offset;
    }

    std::vector<std::uint8_t>& Bytes_;
};

// The disk the engine tests scan, and the folder they save into.
inline constexpr const wchar_t* Partition = L"X:\\";
inline constexpr const wchar_t* SaveFolder = L"D:\\out\\";

// A test platform on which SaveFolder stands and the clock stands still.
inline void PrepareTestPlatform(CTestPlatform& os)
{
    os.Folders = {L"D:", L"D:\\out"};
    os.Clock = {{9, 5, 7, 42}};
}

class ScanFixture : public ::testing::Test {
protected:
    CTestPlatform Os;
    CSectorScanner Scanner{Os};
    DiskImage Disk{Os.Volumes[Partition].Bytes};

    ScanFixture() { PrepareTestPlatform(Os); }

    void OpenDisk()
    {
        ASSERT_EQ(Scanner.GetVolumeLength(Partition),
                  static_cast<std::int64_t>(Disk.SectorCount() * 512));
    }

    void ScanRange(std::uint64_t first, std::uint64_t end)
    {
        OpenDisk();
        Scanner.Scan({first, end, SaveFolder});
    }

    void ScanAll() { ScanRange(0, Disk.SectorCount()); }

    // The recovered files in the order they were begun.
    std::vector<Bytes> Recovered() const
    {
        std::vector<Bytes> files;
        for (const auto& path : Os.CreatedPaths) files.push_back(Os.Files.at(path));
        return files;
    }

    unsigned Count(Type type) const { return Scanner.TypeCounts[type].load(); }
};

}  // namespace reclaima::test
