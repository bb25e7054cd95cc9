// A small disk built sector by sector, scanned by an engine on the test platform.
#pragma once

#include <gtest/gtest.h>

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

class ScanFixture : public ::testing::Test {
protected:
    static constexpr const wchar_t* Partition = L"X:\\";
    static constexpr const wchar_t* SaveFolder = L"D:\\out\\";

    CTestPlatform Os;
    CSectorScanner Scanner{Os};

    ScanFixture()
    {
        Os.Folders = {L"D:", L"D:\\out"};
        Os.Clock = {{9, 5, 7, 42}};
    }

    std::vector<std::uint8_t>& Disk() { return Os.Volumes[Partition].Bytes; }

    // Grows the disk to hold `sectors` sectors; new sectors are all zero.
    void Sectors(std::size_t sectors) { Disk().resize(std::max(Disk().size(), sectors * 512)); }

    // Fills a sector with a non-zero byte that starts no header or footer.
    void Data(std::uint64_t sector, std::uint8_t fill = 0x11)
    {
        Sectors(sector + 1);
        std::fill_n(Disk().begin() + static_cast<std::ptrdiff_t>(sector * 512), 512, fill);
    }

    void Put(std::uint64_t sector, int offset, const Bytes& bytes)
    {
        Sectors(sector + 1);
        std::copy(bytes.begin(), bytes.end(),
                  Disk().begin() + static_cast<std::ptrdiff_t>(sector * 512 + offset));
    }

    // Bytes [from, to) of the disk, counted from the start of `sector`.
    Bytes Slice(std::uint64_t sector, int from, std::uint64_t to) const
    {
        const auto& disk = Os.Volumes.at(Partition).Bytes;
        const auto first = disk.begin() + static_cast<std::ptrdiff_t>(sector * 512 + from);
        return Bytes(first, disk.begin() + static_cast<std::ptrdiff_t>(sector * 512 + to));
    }

    void OpenDisk() { ASSERT_EQ(Scanner.GetVolumeLength(Partition), std::int64_t(Disk().size())); }

    void ScanRange(std::uint64_t first, std::uint64_t end)
    {
        OpenDisk();
        Scanner.Scan({first, end, SaveFolder});
    }

    void ScanAll() { ScanRange(0, Disk().size() / 512); }

    // The recovered files in the order they were created.
    std::vector<Bytes> Recovered() const
    {
        std::vector<Bytes> files;
        for (const auto& path : Os.CreatedPaths) files.push_back(Os.Files.at(path));
        return files;
    }

    unsigned Count(Type type) const { return Scanner.TypeCounts[type].load(); }
};

inline Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

inline Bytes Zeros(std::size_t count) { return Bytes(count, 0); }

}  // namespace reclaima::test
