#include "SameVolume.h"

#include <windows.h>

#include "WindowText.h"

namespace {

// The mount point (a drive root or a mounted folder) of the volume that holds `path`.
std::wstring VolumePathOf(const std::wstring& path)
{
    wchar_t root[MAX_PATH + 1] = {};
    if (!GetVolumePathNameW(path.c_str(), root, MAX_PATH)) return path;
    return root;
}

// "\\?\Volume{...}\" of a mount point; empty where the system gives none.
std::wstring VolumeNameOf(const std::wstring& mountPoint)
{
    wchar_t name[64] = {};
    if (!GetVolumeNameForVolumeMountPointW(mountPoint.c_str(), name, 64)) return {};
    return name;
}

}  // namespace

bool FolderIsOnDrive(const std::wstring& folder, const std::wstring& driveRoot)
{
    if (driveRoot.empty()) return false;
    const std::wstring folderVolume = VolumePathOf(folder);
    const std::wstring a = VolumeNameOf(folderVolume);
    const std::wstring b = VolumeNameOf(driveRoot);
    if (!a.empty() && !b.empty()) return lstrcmpiW(a.c_str(), b.c_str()) == 0;
    // Without volume names (Wine gives none for some drives), the drive letters decide.
    return reclaima::ui::SameDriveLetter(folderVolume, driveRoot);
}
