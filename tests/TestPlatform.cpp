#include "TestPlatform.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace reclaima::test {

thread_local std::wstring CTestPlatform::ErrorText;

HVolume CTestPlatform::OpenVolume(const std::wstring& partition)
{
    if (!Volumes.count(partition)) {
        ErrorText = L"系统找不到指定的文件。";
        return InvalidVolume;
    }
    VolumeNames.push_back(partition);
    const HVolume handle = VolumeNames.size();
    OpenVolumes.insert(handle);
    return handle;
}

MemoryVolume& CTestPlatform::VolumeOf(HVolume volume) { return Volumes.at(VolumeNames.at(volume - 1)); }

bool CTestPlatform::VolumeLength(HVolume volume, std::int64_t& bytes)
{
    const MemoryVolume& source = VolumeOf(volume);
    if (source.LengthFails) {
        ErrorText = L"不支持该请求。";
        return false;
    }
    bytes = static_cast<std::int64_t>(source.Bytes.size());
    return true;
}

std::int64_t CTestPlatform::ReadAt(HVolume volume, std::uint64_t offset, void* buffer,
                                   std::uint32_t size)
{
    if (BeforeRead) BeforeRead(offset);
    ReadOffsets.push_back(offset);
    ReadSpans.push_back({offset, size});
    ++ReadCount;
    const MemoryVolume& source = VolumeOf(volume);
    if (offset % source.SectorSize != 0 || size % source.SectorSize != 0) {
        ErrorText = MisalignedReadText;
        return -1;
    }
    const auto unreadable = source.UnreadableSectors.lower_bound(offset / 512);
    if (size > 0 && unreadable != source.UnreadableSectors.end() &&
        *unreadable <= (offset + size - 1) / 512) {
        ErrorText = ReadErrorText;
        return -1;
    }
    if (offset >= source.Bytes.size()) return 0;
    const std::uint64_t count = std::min<std::uint64_t>(size, source.Bytes.size() - offset);
    std::memcpy(buffer, source.Bytes.data() + offset, static_cast<std::size_t>(count));
    return static_cast<std::int64_t>(count);
}

std::uint32_t CTestPlatform::VolumeSectorSize(HVolume volume) { return VolumeOf(volume).SectorSize; }

void CTestPlatform::CloseVolume(HVolume volume) { OpenVolumes.erase(volume); }

namespace {

// Folders are kept without a trailing separator, however the engine spells them.
std::wstring FolderKey(std::wstring path)
{
    while (!path.empty() && path.back() == CTestPlatform::Separator) path.pop_back();
    return path;
}

std::wstring ParentOf(const std::wstring& path)
{
    const std::wstring folder = FolderKey(path);
    const std::size_t cut = folder.rfind(CTestPlatform::Separator);
    return cut == std::wstring::npos ? std::wstring() : folder.substr(0, cut);
}

}  // namespace

bool CTestPlatform::FolderExists(const std::wstring& path) { return Folders.count(FolderKey(path)) > 0; }

void CTestPlatform::MakeFolder(const std::wstring& path)
{
    if (FailingFolders.count(FolderKey(path))) return;
    if (FolderExists(ParentOf(path))) Folders.insert(FolderKey(path));  // one level only
}

CreatedFile CTestPlatform::CreateOutputFile(const std::wstring& path)
{
    if (BeforeCreate) BeforeCreate(path);
    ++CreateAttempts;
    if (Files.count(path)) return {CreateResult::AlreadyExists, NoOutput};
    ++NewFileCount;
    if (FailAllCreates || FailingCreates.count(path) || FailingNewFiles.count(NewFileCount) ||
        !FolderExists(ParentOf(path))) {
        ErrorText = AccessDeniedText;
        return {CreateResult::Failed, NoOutput};
    }
    Files[path];
    CreatedPaths.push_back(path);
    OpenFiles.insert(path);
    FileNames.push_back(path);
    return {CreateResult::Created, FileNames.size()};
}

bool CTestPlatform::AppendAfterGap(HOutput file, std::uint64_t gap, const void* data,
                                   std::uint32_t size)
{
    const std::wstring& path = FileNames.at(file - 1);
    if (!OpenFiles.count(path)) throw std::logic_error("write to a closed file");
    const std::uint64_t room = FreeBytes - std::min(FreeBytes, BytesWritten);
    std::vector<std::uint8_t>& bytes = Files[path];
    const auto* first = static_cast<const std::uint8_t*>(data);
    if (gap + size > room) {
        // A full disk takes what fits of the write, then refuses the rest.
        if (gap < room) {
            const auto fits = static_cast<std::size_t>(room - gap);
            bytes.resize(bytes.size() + static_cast<std::size_t>(gap), 0);
            bytes.insert(bytes.end(), first, first + fits);
            BytesWritten += room;
        }
        ErrorText = DiskFullText;
        return false;
    }
    BytesWritten += gap + size;
    bytes.resize(bytes.size() + static_cast<std::size_t>(gap), 0);
    bytes.insert(bytes.end(), first, first + size);
    return true;
}

bool CTestPlatform::CloseOutputFile(HOutput file)
{
    const std::wstring& path = FileNames.at(file - 1);
    if (!OpenFiles.erase(path)) throw std::logic_error("file closed twice");
    if (FailCloses) {
        ErrorText = DiskFullText;
        return false;
    }
    return true;
}

LocalTime CTestPlatform::GetLocalTime()
{
    if (Clock.empty()) return {};
    const LocalTime now = Clock.front();
    if (Clock.size() > 1) Clock.pop_front();
    return now;
}

void CTestPlatform::OpenWebAddress(const std::wstring& address) { OpenedAddresses.push_back(address); }

void CTestPlatform::ShowMessage(const std::wstring& text, const std::wstring& caption)
{
    Messages.push_back({text, caption});
}

std::wstring CTestPlatform::LastErrorText() { return ErrorText; }

}  // namespace reclaima::test
