// An in-memory platform: volumes whose sectors can be made unreadable, a folder
// tree whose creates and writes can be made to fail, a scripted clock, and a
// record of every message box and every opened address.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Platform.h"

namespace reclaima::test {

struct Message {
    std::wstring Text;
    std::wstring Caption;
    bool operator==(const Message& other) const
    {
        return Text == other.Text && Caption == other.Caption;
    }
};

struct MemoryVolume {
    std::vector<std::uint8_t> Bytes;
    // 512-byte sectors; a read that touches any of them fails whole, as on a real device.
    std::set<std::uint64_t> UnreadableSectors;
    bool LengthFails = false;
    // As a device does, a read whose offset or size is not a whole multiple of it fails.
    std::uint32_t SectorSize = 512;
};

struct ReadSpan {
    std::uint64_t Offset = 0;
    std::uint32_t Size = 0;
    bool operator==(const ReadSpan& other) const
    {
        return Offset == other.Offset && Size == other.Size;
    }
};

class CTestPlatform : public CPlatform {
public:
    // Volumes, by the partition text that opens them.
    std::map<std::wstring, MemoryVolume> Volumes;
    std::vector<std::uint64_t> ReadOffsets;  // every ReadAt, in order
    std::vector<ReadSpan> ReadSpans;         // the same reads with their sizes
    std::atomic<unsigned> ReadCount{0};
    std::set<HVolume> OpenVolumes;
    // Runs on the thread that reads: the scanning thread, or the fast path's read ahead
    // (never both at once).
    std::function<void(std::uint64_t offset)> BeforeRead;

    std::set<std::wstring> Folders;
    std::map<std::wstring, std::vector<std::uint8_t>> Files;
    std::set<std::wstring> FailingCreates;  // paths whose creation fails
    bool FailAllCreates = false;
    // Writes beyond this many bytes in all fail, as on a full disk: what fits is written.
    std::uint64_t FreeBytes = UINT64_MAX;
    bool FailCloses = false;
    std::vector<std::wstring> CreatedPaths;  // in creation order
    unsigned CreateAttempts = 0;
    std::set<std::wstring> OpenFiles;

    std::deque<LocalTime> Clock;  // each GetLocalTime takes the next; the last one repeats
    std::vector<Message> Messages;
    std::vector<std::wstring> OpenedAddresses;
    std::wstring ErrorText;  // what LastErrorText returns after a failure

    static constexpr wchar_t Separator = L'\\';
    static constexpr const wchar_t* ReadErrorText = L"设备未就绪。";
    static constexpr const wchar_t* DiskFullText = L"磁盘空间不足。";
    static constexpr const wchar_t* MisalignedReadText = L"参数错误。";

    HVolume OpenVolume(const std::wstring& partition) override;
    bool VolumeLength(HVolume volume, std::int64_t& bytes) override;
    std::int64_t ReadAt(HVolume volume, std::uint64_t offset, void* buffer,
                        std::uint32_t size) override;
    std::uint32_t VolumeSectorSize(HVolume volume) override;
    void CloseVolume(HVolume volume) override;
    bool FolderExists(const std::wstring& path) override;
    void MakeFolder(const std::wstring& path) override;
    wchar_t FolderSeparator() const override { return Separator; }
    CreatedFile CreateOutputFile(const std::wstring& path) override;
    bool AppendAfterGap(HOutput file, std::uint64_t gap, const void* data,
                        std::uint32_t size) override;
    bool CloseOutputFile(HOutput file) override;
    LocalTime GetLocalTime() override;
    void OpenWebAddress(const std::wstring& address) override;
    void ShowMessage(const std::wstring& text, const std::wstring& caption) override;
    std::wstring LastErrorText() override;

private:
    MemoryVolume& VolumeOf(HVolume volume);

    std::vector<std::wstring> VolumeNames;  // handle n names VolumeNames[n - 1]
    std::vector<std::wstring> FileNames;    // likewise for output files
    std::uint64_t BytesWritten = 0;
};

}  // namespace reclaima::test
