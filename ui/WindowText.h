// What the main window computes and shows, apart from any window: the progress
// figure, the result line, the capacity, the partition entries and the save path.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Signatures.h"

namespace reclaima::ui {

using TypeTally = std::array<std::uint32_t, TypeCount>;

// Percent of the range [first, end) done at `current`, rounded down, never below 0.
// `end` must differ from `first`.
int ScanPercent(std::uint64_t current, std::uint64_t first, std::uint64_t end);
// "37 %"
std::wstring PercentText(int percent);
// "结果： JPG:3, PNG:0, ..." in catalogue order.
std::wstring ResultLine(const TypeTally& counts);

// "容量：1.00 GB", from the volume's length in bytes.
std::wstring CapacityText(std::int64_t volumeBytes);
// The number of whole sectors of a volume: the end of its scan range.
std::uint64_t EndSectorOf(std::int64_t volumeBytes);

// The label of a GetDriveTypeW value.
const wchar_t* DriveTypeLabel(unsigned driveType);
// "C:\  -  本地磁盘"
std::wstring PartitionEntry(std::wstring_view root, std::wstring_view label);
// The drive root an entry begins with: its first three characters.
std::wstring PartitionRoot(std::wstring_view entry);
// The roots in what GetLogicalDriveStringsW filled: NUL-terminated, ended by an empty one.
std::vector<std::wstring> DriveRoots(std::wstring_view filled);

// The maker-named folder under the chosen one, ending with a backslash.
std::wstring SaveFolderFor(std::wstring_view chosen);
// Whether two paths begin with the same drive letter ("D:" and "d:\x" do).
bool SameDriveLetter(std::wstring_view a, std::wstring_view b);

}  // namespace reclaima::ui
