// The one door through which the engine reaches the operating system.
// Everything here is wide text; the implementations convert at the system call.
#pragma once

#include <cstdint>
#include <string>

namespace reclaima {

// Opaque handles; the values mirror Win32 so a HANDLE fits unchanged.
using HVolume = std::uintptr_t;
using HOutput = std::uintptr_t;
constexpr HVolume NoVolume = 0;
constexpr HVolume InvalidVolume = ~HVolume{0};
constexpr HOutput NoOutput = 0;

struct LocalTime {
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Milliseconds = 0;
};

enum class CreateResult { Created, AlreadyExists, Failed };

struct CreatedFile {
    CreateResult Result = CreateResult::Failed;
    HOutput Handle = NoOutput;
};

class CPlatform {
public:
    virtual ~CPlatform() = default;

    // Raw volume, read only. OpenVolume returns InvalidVolume on failure.
    virtual HVolume OpenVolume(const std::wstring& partition) = 0;
    virtual bool VolumeLength(HVolume volume, std::int64_t& bytes) = 0;
    // Reads up to `size` bytes at `offset`; the count read, or -1 on failure.
    virtual std::int64_t ReadAt(HVolume volume, std::uint64_t offset, void* buffer,
                                std::uint32_t size) = 0;
    // The volume's own sector size in bytes, of which every read's offset and size must be
    // whole multiples; 512 when the system does not say.
    virtual std::uint32_t VolumeSectorSize(HVolume volume) = 0;
    virtual void CloseVolume(HVolume volume) = 0;

    virtual bool FolderExists(const std::wstring& path) = 0;
    virtual void MakeFolder(const std::wstring& path) = 0;
    virtual wchar_t FolderSeparator() const = 0;

    // Creates a new file; never opens or empties one that exists.
    virtual CreatedFile CreateOutputFile(const std::wstring& path) = 0;
    // Writes `size` bytes `gap` bytes past the file's end; the gap reads back as zeros.
    virtual bool AppendAfterGap(HOutput file, std::uint64_t gap, const void* data,
                                std::uint32_t size) = 0;
    virtual bool CloseOutputFile(HOutput file) = 0;

    virtual LocalTime GetLocalTime() = 0;
    virtual void OpenWebAddress(const std::wstring& address) = 0;
    virtual void ShowMessage(const std::wstring& text, const std::wstring& caption) = 0;
    // The system's text for the last failure of a call above.
    virtual std::wstring LastErrorText() = 0;
};

// The platform this build runs on; defined by the linked implementation.
CPlatform& DefaultPlatform();

}  // namespace reclaima
