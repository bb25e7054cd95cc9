#include "WindowText.h"

#include <cstdio>
#include <cwctype>

namespace reclaima::ui {

namespace {

constexpr std::wstring_view MakerFolder = L"Vantobel";

const wchar_t* const DriveTypeLabels[] = {
    L"未知磁盘",      // DRIVE_UNKNOWN
    L"磁盘不存在",    // DRIVE_NO_ROOT_DIR
    L"可移动磁盘",    // DRIVE_REMOVABLE
    L"本地磁盘",      // DRIVE_FIXED
    L"网络驱动器",    // DRIVE_REMOTE
    L"CD/DVD_ROM",    // DRIVE_CDROM
    L"随机存取磁盘",  // DRIVE_RAMDISK
};

template <typename... Args>
std::wstring Format(const wchar_t* format, Args... args)
{
    wchar_t text[256];
    const int length = std::swprintf(text, std::size(text), format, args...);
    return length < 0 ? std::wstring() : std::wstring(text, static_cast<std::size_t>(length));
}

bool HasDriveLetter(std::wstring_view path)
{
    return path.size() >= 2 && path[1] == L':' && std::iswalpha(static_cast<wint_t>(path[0]));
}

}  // namespace

int ScanPercent(std::uint64_t current, std::uint64_t first, std::uint64_t end)
{
    const std::uint64_t quotient = (current - first) * 100 / (end - first);
    const auto percent = static_cast<std::int32_t>(static_cast<std::uint32_t>(quotient));
    return percent < 0 ? 0 : percent;
}

std::wstring PercentText(int percent) { return Format(L"%d %%", percent); }

std::wstring ResultLine(const TypeTally& counts)
{
    return Format(L"结果： JPG:%u, PNG:%u, GIF:%u,  RTF:%u, RAR:%u, ZIP:%u, 7Z:%u, RMVB:%u, FLV:%u",
                  counts[0], counts[1], counts[2], counts[3], counts[4], counts[5], counts[6],
                  counts[7], counts[8]);
}

std::wstring CapacityText(std::int64_t volumeBytes)
{
    constexpr long double PerKilo = 0.0009765625L;  // 1/1024
    const auto gigabytes =
        static_cast<double>(static_cast<long double>(volumeBytes) * PerKilo * PerKilo * PerKilo);
    return Format(L"容量：%.2lf GB", gigabytes);
}

std::uint64_t EndSectorOf(std::int64_t volumeBytes)
{
    // A length is never negative; should one be, the range stays empty.
    return volumeBytes < 0 ? 0 : static_cast<std::uint64_t>(volumeBytes / 512);
}

const wchar_t* DriveTypeLabel(unsigned driveType)
{
    return driveType < std::size(DriveTypeLabels) ? DriveTypeLabels[driveType] : DriveTypeLabels[0];
}

std::wstring PartitionEntry(std::wstring_view root, std::wstring_view label)
{
    std::wstring entry(root);
    entry += L"  -  ";
    entry += label;
    return entry;
}

std::wstring PartitionRoot(std::wstring_view entry) { return std::wstring(entry.substr(0, 3)); }

std::vector<std::wstring> DriveRoots(std::wstring_view filled)
{
    std::vector<std::wstring> roots;
    while (!filled.empty() && filled.front() != L'\0') {
        const std::size_t end = filled.find(L'\0');
        roots.emplace_back(filled.substr(0, end));
        if (end == std::wstring_view::npos) break;
        filled.remove_prefix(end + 1);
    }
    return roots;
}

std::wstring SaveFolderFor(std::wstring_view chosen)
{
    std::wstring folder(chosen);
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    folder += MakerFolder;
    folder += L'\\';
    return folder;
}

bool SameDriveLetter(std::wstring_view a, std::wstring_view b)
{
    return HasDriveLetter(a) && HasDriveLetter(b) &&
           std::towupper(static_cast<wint_t>(a[0])) == std::towupper(static_cast<wint_t>(b[0]));
}

}  // namespace reclaima::ui
