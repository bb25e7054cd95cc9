#include "Win32Platform.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <winioctl.h>

#include <cstddef>

namespace reclaima {

namespace {

// The engine's handles carry a HANDLE's bits unchanged, so INVALID_HANDLE_VALUE
// is InvalidVolume.
HANDLE ToHandle(std::uintptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::uintptr_t FromHandle(HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

LARGE_INTEGER Distance(std::uint64_t bytes)
{
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(bytes);
    return distance;
}

}  // namespace

std::wstring RawVolumePath(const std::wstring& partition)
{
    return L"\\\\.\\" + partition.substr(0, 2);
}

HVolume CWin32Platform::OpenVolume(const std::wstring& partition)
{
    // Read access only: the disk being recovered must never be written.
    const HANDLE volume =
        CreateFileW(RawVolumePath(partition).c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    return FromHandle(volume);
}

bool CWin32Platform::VolumeLength(HVolume volume, std::int64_t& bytes)
{
    const HANDLE handle = ToHandle(volume);
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    if (DeviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length,
                        &returned, nullptr)) {
        bytes = length.Length.QuadPart;
        return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED) return false;

    // Wine and some virtual-disk drivers lack the ioctl; the end of the handle
    // is the volume's length there.
    LARGE_INTEGER end{};
    if (SetFilePointerEx(handle, Distance(0), &end, FILE_END) &&
        SetFilePointerEx(handle, Distance(0), nullptr, FILE_BEGIN)) {
        bytes = end.QuadPart;
        return true;
    }
    SetLastError(error);  // the ioctl's failure is the one worth reporting
    return false;
}

std::int64_t CWin32Platform::ReadAt(HVolume volume, std::uint64_t offset, void* buffer,
                                    std::uint32_t size)
{
    const HANDLE handle = ToHandle(volume);
    // Reading on from wherever the handle stands would carve the wrong sector.
    if (!SetFilePointerEx(handle, Distance(offset), nullptr, FILE_BEGIN)) return -1;
    DWORD got = 0;
    if (!ReadFile(handle, buffer, size, &got, nullptr)) return -1;
    return got;
}

std::uint32_t CWin32Platform::VolumeSectorSize(HVolume volume)
{
    const HANDLE handle = ToHandle(volume);
    DWORD returned = 0;
    DISK_GEOMETRY_EX geometry{};
    if (DeviceIoControl(handle, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry,
                        sizeof geometry, &returned, nullptr) &&
        geometry.Geometry.BytesPerSector > 0)
        return geometry.Geometry.BytesPerSector;
    // Some drivers answer only the storage query.
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageAccessAlignmentProperty;
    query.QueryType = PropertyStandardQuery;
    STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR alignment{};
    if (DeviceIoControl(handle, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &alignment,
                        sizeof alignment, &returned, nullptr) &&
        returned >= offsetof(STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR, BytesPerPhysicalSector) &&
        alignment.BytesPerLogicalSector > 0)
        return alignment.BytesPerLogicalSector;
    return 512;  // Wine and image-backed drives say nothing
}

void CWin32Platform::CloseVolume(HVolume volume) { CloseHandle(ToHandle(volume)); }

bool CWin32Platform::FolderExists(const std::wstring& path)
{
    return PathFileExistsW(path.c_str()) != FALSE;
}

void CWin32Platform::MakeFolder(const std::wstring& path) { CreateDirectoryW(path.c_str(), nullptr); }

CreatedFile CWin32Platform::CreateOutputFile(const std::wstring& path)
{
    // CREATE_NEW: an earlier recovery of the same name is never emptied.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return {CreateResult::Created, FromHandle(file)};
    const DWORD error = GetLastError();
    const bool exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    return {exists ? CreateResult::AlreadyExists : CreateResult::Failed, NoOutput};
}

bool CWin32Platform::AppendAfterGap(HOutput file, std::uint64_t gap, const void* data,
                                    std::uint32_t size)
{
    const HANDLE handle = ToHandle(file);
    // Past the end: the file grows and the gap reads back as zeros.
    if (!SetFilePointerEx(handle, Distance(gap), nullptr, FILE_END)) return false;
    const auto* bytes = static_cast<const BYTE*>(data);
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes, size, &written, nullptr)) return false;
        if (written == 0) {  // no progress and no error: give up rather than spin
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes += written;
        size -= written;
    }
    return true;
}

bool CWin32Platform::CloseOutputFile(HOutput file) { return CloseHandle(ToHandle(file)) != FALSE; }

LocalTime CWin32Platform::GetLocalTime()
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return {now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

void CWin32Platform::OpenWebAddress(const std::wstring& address)
{
    ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CWin32Platform::ShowMessage(const std::wstring& text, const std::wstring& caption)
{
    MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

std::wstring CWin32Platform::LastErrorText()
{
    const DWORD error = GetLastError();  // before any call below can change it
    HLOCAL buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, error, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr) return {};
    std::wstring text;
    if (const void* locked = LocalLock(buffer)) {
        text.assign(static_cast<const wchar_t*>(locked), length);
        LocalUnlock(buffer);
    }
    LocalFree(buffer);
    return text;
}

CPlatform& DefaultPlatform()
{
    static CWin32Platform platform;
    return platform;
}

}  // namespace reclaima
