// Whether a folder lies on the volume of a drive, mounted folders included.
#pragma once

#include <string>

// `driveRoot` is a root such as "D:\"; false when it is empty.
bool FolderIsOnDrive(const std::wstring& folder, const std::wstring& driveRoot);
