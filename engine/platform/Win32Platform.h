// Windows: a partition text names a drive ("C:\", "C:"), opened as a raw volume.
#pragma once

#include <string>

#include "../Platform.h"

namespace reclaima {

// The device path of a drive's volume: the first two characters behind \\.\,
// so "C:\" and "C:" both give \\.\C:.
std::wstring RawVolumePath(const std::wstring& partition);

class CWin32Platform : public CPlatform {
public:
    HVolume OpenVolume(const std::wstring& partition) override;
    bool VolumeLength(HVolume volume, std::int64_t& bytes) override;
    std::int64_t ReadAt(HVolume volume, std::uint64_t offset, void* buffer,
                        std::uint32_t size) override;
    std::uint32_t VolumeSectorSize(HVolume volume) override;
    void CloseVolume(HVolume volume) override;
    bool FolderExists(const std::wstring& path) override;
    void MakeFolder(const std::wstring& path) override;
    wchar_t FolderSeparator() const override { return L'\\'; }
    CreatedFile CreateOutputFile(const std::wstring& path) override;
    bool AppendAfterGap(HOutput file, std::uint64_t gap, const void* data,
                        std::uint32_t size) override;
    bool CloseOutputFile(HOutput file) override;
    LocalTime GetLocalTime() override;
    void OpenWebAddress(const std::wstring& address) override;
    void ShowMessage(const std::wstring& text, const std::wstring& caption) override;
    std::wstring LastErrorText() override;
};

}  // namespace reclaima
