// The Windows platform against the real system calls, run under Wine by ctest.
// The fixture make-volume.sh makes a small image the drive RECLAIMA_TEST_DRIVE:
// sector i holds 0x5EC00000 + i in every 4 bytes, a JPG sits at
// RECLAIMA_TEST_JPG_SECTOR, and the image is RECLAIMA_TEST_VOLUME_BYTES long.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "SectorScanner.h"
#include "platform/Win32Platform.h"

namespace reclaima {
namespace {

using Buffer = std::vector<std::uint8_t>;

HANDLE ToHandle(std::uintptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::int64_t EnvNumber(const char* name)
{
    const char* text = std::getenv(name);
    return text ? std::strtoll(text, nullptr, 10) : -1;
}

// What make-volume.sh put on the drive; all -1 (and no drive) when not run by ctest.
struct Volume {
    std::wstring Drive;  // "X:\"
    std::int64_t Bytes = EnvNumber("RECLAIMA_TEST_VOLUME_BYTES");
    std::int64_t JpgSector = EnvNumber("RECLAIMA_TEST_JPG_SECTOR");
    std::int64_t JpgBytes = EnvNumber("RECLAIMA_TEST_JPG_BYTES");

    Volume()
    {
        if (const char* letter = std::getenv("RECLAIMA_TEST_DRIVE"); letter && *letter)
            Drive = {static_cast<wchar_t>(*letter), L':', L'\\'};
    }
    bool Known() const { return !Drive.empty() && Bytes > 0 && JpgSector >= 0 && JpgBytes > 0; }
    std::uint64_t WholeSectors() const { return static_cast<std::uint64_t>(Bytes) / SectorSize; }
};

// The bytes make-volume.sh wrote at `offset`, for a place the JPG does not cover.
Buffer Pattern(std::uint64_t offset, std::size_t count)
{
    Buffer bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t at = offset + i;
        const auto word = static_cast<std::uint32_t>(0x5EC00000u + at / SectorSize);
        bytes[i] = static_cast<std::uint8_t>(word >> (8 * (at % 4)));
    }
    return bytes;
}

std::wstring FormatSystemError(DWORD error)
{
    wchar_t text[512] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, 512, nullptr);
    return std::wstring(text, length);
}

Buffer ReadWholeFile(const std::wstring& path)
{
    Buffer bytes;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot open the file to read it back";
        return bytes;
    }
    std::uint8_t chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    CloseHandle(file);
    return bytes;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// Removes a folder the tests made, files and sub-folders first.
void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(folder + name + L"\\");
            else
                DeleteFileW((folder + name).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

// A fresh, empty folder under the temporary folder, ending with a separator.
std::wstring MakeScratchFolder()
{
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return {};
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::wstring folder = std::wstring(temp, length) + L"reclaima-test-" +
                                    std::to_wstring(GetCurrentProcessId()) + L"-" +
                                    std::to_wstring(GetTickCount() + attempt) + L"\\";
        if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
    }
    return {};
}

// Removed with all it holds when the test ends, passed or failed.
struct ScratchFolder {
    const std::wstring Path = MakeScratchFolder();
    ScratchFolder() = default;
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder()
    {
        if (!Path.empty()) RemoveTree(Path);
    }
};

// ---------------------------------------------------------------------------

struct PathCase {
    const wchar_t* Partition;
    const wchar_t* Expected;
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.Partition); }

class RawVolumePathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(RawVolumePathTest, KeepsTheFirstTwoCharactersBehindTheDevicePrefix)
{
    EXPECT_EQ(RawVolumePath(GetParam().Partition), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Partitions, RawVolumePathTest,
                         ::testing::Values(PathCase{L"C:\\", L"\\\\.\\C:"},
                                           PathCase{L"C:", L"\\\\.\\C:"},
                                           PathCase{L"C", L"\\\\.\\C"},
                                           PathCase{L"X:\\anything", L"\\\\.\\X:"}));

TEST(Win32Platform, IsTheDefaultPlatform)
{
    EXPECT_NE(dynamic_cast<CWin32Platform*>(&DefaultPlatform()), nullptr);
}

TEST(Win32Platform, SeparatesFoldersWithABackslash)
{
    EXPECT_EQ(CWin32Platform().FolderSeparator(), L'\\');
}

TEST(Win32Platform, ReadsTheLocalClock)
{
    CWin32Platform os;
    // Retried in the unlikely case that the hour turns over during the reads.
    for (int attempt = 0; attempt < 3; ++attempt) {
        SYSTEMTIME before{}, after{};
        ::GetLocalTime(&before);
        const LocalTime now = os.GetLocalTime();
        ::GetLocalTime(&after);
        if (before.wHour != after.wHour) continue;
        const auto ms = [](int minute, int second, int milliseconds) {
            return (minute * 60 + second) * 1000 + milliseconds;
        };
        EXPECT_EQ(now.Hour, before.wHour);
        EXPECT_GE(ms(now.Minute, now.Second, now.Milliseconds),
                  ms(before.wMinute, before.wSecond, before.wMilliseconds));
        EXPECT_LE(ms(now.Minute, now.Second, now.Milliseconds),
                  ms(after.wMinute, after.wSecond, after.wMilliseconds));
        return;
    }
    FAIL() << "the hour kept changing";
}

TEST(Win32Platform, LastErrorTextDescribesTheLastFailure)
{
    CWin32Platform os;
    const HANDLE missing = CreateFileW(L"C:\\reclaima-no-such-folder\\no-such-file", GENERIC_READ, 0,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_EQ(missing, INVALID_HANDLE_VALUE);
    const DWORD error = GetLastError();
    const std::wstring text = os.LastErrorText();
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text, FormatSystemError(error));
    EXPECT_NE(text, FormatSystemError(ERROR_ACCESS_DENIED));
}

TEST(Win32Platform, LastErrorTextIsEmptyForACodeTheSystemDoesNotKnow)
{
    CWin32Platform os;
    SetLastError(0x20000000u | 4242u);  // the customer bit: never a system message
    EXPECT_EQ(os.LastErrorText(), L"");
}

// ---------------------------------------------------------------------------
// The raw drive.

class Win32VolumeTest : public ::testing::Test {
protected:
    CWin32Platform Os;
    Volume Disk;
    HVolume Handle = InvalidVolume;

    void SetUp() override
    {
        ASSERT_TRUE(Disk.Known()) << "run through ctest: the volume fixture sets RECLAIMA_TEST_*";
        Handle = Os.OpenVolume(Disk.Drive);
        ASSERT_NE(Handle, InvalidVolume) << "cannot open " << Disk.Drive << ": " << Os.LastErrorText();
    }

    void TearDown() override
    {
        if (Handle != InvalidVolume) Os.CloseVolume(Handle);
    }

    std::int64_t Position() const
    {
        LARGE_INTEGER zero{}, at{};
        if (!SetFilePointerEx(ToHandle(Handle), zero, &at, FILE_CURRENT)) return -1;
        return at.QuadPart;
    }
};

TEST_F(Win32VolumeTest, OpensTheDriveAsAHandle)
{
    EXPECT_NE(Handle, NoVolume);
    EXPECT_EQ(GetFileType(ToHandle(Handle)), static_cast<DWORD>(FILE_TYPE_DISK));
}

TEST_F(Win32VolumeTest, LengthIsTheImageLength)
{
    std::int64_t bytes = 0;
    ASSERT_TRUE(Os.VolumeLength(Handle, bytes)) << Os.LastErrorText();
    EXPECT_EQ(bytes, Disk.Bytes);
}

// Wine answers IOCTL_DISK_GET_LENGTH_INFO with "not supported": the length must
// then come from the end of the handle, which is left back at the start.
TEST_F(Win32VolumeTest, LengthFallsBackToTheEndOfTheHandleWithoutTheIoctl)
{
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    if (DeviceIoControl(ToHandle(Handle), IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length,
                        sizeof length, &returned, nullptr))
        GTEST_SKIP() << "this system answers the ioctl; the fallback is not reached";
    const DWORD error = GetLastError();
    EXPECT_TRUE(error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED) << error;

    LARGE_INTEGER away{};
    away.QuadPart = 3 * SectorSize;
    ASSERT_TRUE(SetFilePointerEx(ToHandle(Handle), away, nullptr, FILE_BEGIN));
    std::int64_t bytes = 0;
    ASSERT_TRUE(Os.VolumeLength(Handle, bytes));
    EXPECT_EQ(bytes, Disk.Bytes);
    EXPECT_EQ(Position(), 0);
}

// A pipe has neither the ioctl nor an end: the ioctl's failure is the one reported.
TEST(Win32Platform, LengthFailureKeepsTheIoctlsError)
{
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    ASSERT_FALSE(DeviceIoControl(readEnd, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length,
                                 sizeof length, &returned, nullptr));
    const DWORD ioctlError = GetLastError();
    LARGE_INTEGER zero{}, end{};
    const bool seeks = SetFilePointerEx(readEnd, zero, &end, FILE_END) != FALSE;
    const DWORD seekError = GetLastError();
    if (seeks || ioctlError == seekError ||
        (ioctlError != ERROR_INVALID_FUNCTION && ioctlError != ERROR_NOT_SUPPORTED)) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        GTEST_SKIP() << "pipes here do not fail both ways with distinct errors";
    }

    CWin32Platform os;
    std::int64_t bytes = -7;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(os.VolumeLength(reinterpret_cast<HVolume>(readEnd), bytes));
    EXPECT_EQ(GetLastError(), ioctlError);
    EXPECT_EQ(bytes, -7);
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
}

// Out of order on purpose: each read must go where it is told, not on from the last.
TEST_F(Win32VolumeTest, ReadsWholeSectorsWhereAsked)
{
    const std::uint64_t last = Disk.WholeSectors() - 1;
    const auto jpg = static_cast<std::uint64_t>(Disk.JpgSector);
    for (const std::uint64_t sector : {last, std::uint64_t{0}, std::uint64_t{17}, std::uint64_t{1}}) {
        SCOPED_TRACE("sector " + std::to_string(sector));
        ASSERT_TRUE(sector < jpg || sector > jpg + 2) << "the table reads a sector the JPG covers";
        Buffer buffer(SectorSize, 0xEE);
        EXPECT_EQ(Os.ReadAt(Handle, sector * SectorSize, buffer.data(), SectorSize), SectorSize);
        EXPECT_EQ(buffer, Pattern(sector * SectorSize, SectorSize));
    }
}

// The engine reads a block of many sectors in one call.
TEST_F(Win32VolumeTest, ReadsABlockOfSectorsInOneCall)
{
    const auto sectors = static_cast<std::uint32_t>(Disk.JpgSector);
    ASSERT_GT(sectors, 2u);
    Buffer buffer(sectors * SectorSize, 0xEE);
    EXPECT_EQ(Os.ReadAt(Handle, 0, buffer.data(), sectors * SectorSize), sectors * SectorSize);
    EXPECT_EQ(buffer, Pattern(0, buffer.size()));
}

// A block asked past the end of the drive gets what there is, as the engine's last block does.
TEST_F(Win32VolumeTest, ABlockPastTheEndReturnsTheBytesThereAre)
{
    const std::uint32_t block = CBlockCache::BlockBytes;
    Buffer buffer(block, 0xEE);
    EXPECT_EQ(Os.ReadAt(Handle, 0, buffer.data(), block), Disk.Bytes);
}

// The image behind the drive says nothing of its sectors: 512, a size reads of which work.
TEST_F(Win32VolumeTest, SectorSizeIsOneTheDriveReadsIn)
{
    const std::uint32_t size = Os.VolumeSectorSize(Handle);
    EXPECT_EQ(size, 512u);
    Buffer buffer(size, 0xEE);
    EXPECT_EQ(Os.ReadAt(Handle, size, buffer.data(), size), static_cast<std::int64_t>(size));
    EXPECT_EQ(buffer, Pattern(size, size));
}

TEST_F(Win32VolumeTest, ReadAtTheTailReturnsTheShortCount)
{
    const std::uint64_t tailStart = Disk.WholeSectors() * SectorSize;
    const auto tail = static_cast<std::size_t>(static_cast<std::uint64_t>(Disk.Bytes) - tailStart);
    ASSERT_GT(tail, 0u) << "the image has no partial tail";
    Buffer buffer(SectorSize, 0xEE);
    EXPECT_EQ(Os.ReadAt(Handle, tailStart, buffer.data(), SectorSize), static_cast<std::int64_t>(tail));
    EXPECT_EQ(Buffer(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(tail)),
              Pattern(tailStart, tail));
}

TEST_F(Win32VolumeTest, ReadFailsWhenTheOffsetCannotBeReached)
{
    Buffer buffer(SectorSize);
    // Beyond what a signed 64-bit file position holds: positioning must fail.
    EXPECT_EQ(Os.ReadAt(Handle, std::uint64_t{1} << 63, buffer.data(), SectorSize), -1);
    EXPECT_FALSE(Os.LastErrorText().empty());
}

TEST_F(Win32VolumeTest, VolumeIsOpenedReadOnly)
{
    Buffer buffer(SectorSize, 0xAB);
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(ToHandle(Handle), buffer.data(), SectorSize, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(written, 0u);
    ASSERT_EQ(Os.ReadAt(Handle, 0, buffer.data(), SectorSize), SectorSize);
    EXPECT_EQ(buffer, Pattern(0, SectorSize));
}

TEST(Win32Platform, UnknownDriveGivesInvalidVolume)
{
    const DWORD drives = GetLogicalDrives();
    wchar_t letter = 0;
    for (wchar_t candidate = L'Q'; candidate <= L'W' && !letter; ++candidate)
        if (!(drives & (1u << (candidate - L'A')))) letter = candidate;
    ASSERT_NE(letter, 0) << "every candidate letter is in use";
    CWin32Platform os;
    EXPECT_EQ(os.OpenVolume(std::wstring{letter, L':', L'\\'}), InvalidVolume);
    EXPECT_FALSE(os.LastErrorText().empty());
}

// ---------------------------------------------------------------------------
// Output files, in a fresh folder under the temporary folder.

class Win32OutputTest : public ::testing::Test {
protected:
    CWin32Platform Os;
    ScratchFolder Scratch;
    const std::wstring& Folder = Scratch.Path;

    void SetUp() override { ASSERT_FALSE(Folder.empty()) << "no scratch folder"; }

    static Buffer Data(std::size_t size, std::uint8_t seed)
    {
        Buffer bytes(size);
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
        return bytes;
    }
};

TEST_F(Win32OutputTest, MakeFolderMakesAFolderThatExists)
{
    const std::wstring jpg = Folder + L"jpg\\";  // as the scanner names it, separator last
    EXPECT_FALSE(Os.FolderExists(jpg));
    Os.MakeFolder(jpg);
    EXPECT_TRUE(Os.FolderExists(jpg));
    EXPECT_TRUE(Os.FolderExists(Folder + L"jpg"));
    const DWORD attributes = GetFileAttributesW(jpg.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(Win32OutputTest, SecondCreateOfAPathFindsItTakenAndLeavesItAlone)
{
    const std::wstring path = Folder + L"12345.jpg";
    const Buffer data = Data(100, 3);
    const CreatedFile first = Os.CreateOutputFile(path);
    ASSERT_EQ(first.Result, CreateResult::Created);
    ASSERT_NE(first.Handle, NoOutput);
    ASSERT_TRUE(Os.AppendAfterGap(first.Handle, 0, data.data(), static_cast<std::uint32_t>(data.size())));
    ASSERT_TRUE(Os.CloseOutputFile(first.Handle));

    const CreatedFile second = Os.CreateOutputFile(path);
    EXPECT_EQ(second.Result, CreateResult::AlreadyExists);
    EXPECT_EQ(second.Handle, NoOutput);
    EXPECT_EQ(ReadWholeFile(path), data);
}

TEST_F(Win32OutputTest, AppendAfterGapLeavesZerosBetweenThePieces)
{
    const std::wstring path = Folder + L"gap.jpg";
    const Buffer data = Data(300, 1);
    const CreatedFile file = Os.CreateOutputFile(path);
    ASSERT_EQ(file.Result, CreateResult::Created);
    const auto size = static_cast<std::uint32_t>(data.size());
    EXPECT_TRUE(Os.AppendAfterGap(file.Handle, 0, data.data(), size));
    EXPECT_TRUE(Os.AppendAfterGap(file.Handle, 1024, data.data(), size));
    EXPECT_TRUE(Os.CloseOutputFile(file.Handle));

    Buffer expected = data;
    expected.insert(expected.end(), 1024, 0);
    expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_EQ(ReadWholeFile(path), expected);
}

TEST_F(Win32OutputTest, CreateInAMissingFolderFails)
{
    const CreatedFile file = Os.CreateOutputFile(Folder + L"missing\\1.jpg");
    EXPECT_EQ(file.Result, CreateResult::Failed);
    EXPECT_EQ(file.Handle, NoOutput);
    EXPECT_FALSE(Os.LastErrorText().empty());
}

// ---------------------------------------------------------------------------
// The scanner on the real platform, carving the JPG planted on the drive.

// Every message box is recorded instead of shown: a box would wait for a click.
class CQuietWin32Platform : public CWin32Platform {
public:
    std::vector<std::wstring> Messages;
    void ShowMessage(const std::wstring& text, const std::wstring& caption) override
    {
        Messages.push_back(caption + L": " + text);
    }
};

TEST(Win32Scan, CarvesThePlantedJpgFromTheDrive)
{
    const Volume disk;
    ASSERT_TRUE(disk.Known()) << "run through ctest: the volume fixture sets RECLAIMA_TEST_*";
    const ScratchFolder scratch;
    const std::wstring& folder = scratch.Path;
    ASSERT_FALSE(folder.empty()) << "no scratch folder";

    CQuietWin32Platform os;
    Buffer expected;
    {
        CSectorScanner scanner(os);
        ASSERT_EQ(scanner.GetVolumeLength(disk.Drive), disk.Bytes);
        scanner.Scan({0, disk.WholeSectors(), folder});
        EXPECT_EQ(scanner.TypeCounts[0].load(), 1u);  // jpg
        for (std::size_t type = 1; type < TypeCount; ++type)
            EXPECT_EQ(scanner.TypeCounts[type].load(), 0u) << "type " << type;

        // What the carved file must hold: the drive's bytes from the header on.
        const std::uint64_t start = static_cast<std::uint64_t>(disk.JpgSector) * SectorSize;
        expected.resize(static_cast<std::size_t>(disk.JpgBytes));
        ASSERT_EQ(os.ReadAt(scanner.VolumeHandle, start, expected.data(),
                            static_cast<std::uint32_t>(expected.size())),
                  disk.JpgBytes);
    }
    for (const std::wstring& message : os.Messages)
        ADD_FAILURE() << "message box: " << message;

    const Buffer header = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46};
    ASSERT_TRUE(std::equal(header.begin(), header.end(), expected.begin()));
    ASSERT_EQ(expected[expected.size() - 2], 0xFF);
    ASSERT_EQ(expected.back(), 0xD9);

    const std::wstring jpgFolder = folder + L"jpg\\";
    const std::vector<std::wstring> files = FilesIn(jpgFolder);
    ASSERT_EQ(files.size(), 1u);
    const std::wstring& name = files.front();
    EXPECT_EQ(name.substr(name.size() - 4), L".jpg");
    EXPECT_EQ(ReadWholeFile(jpgFolder + name), expected);
}

}  // namespace
}  // namespace reclaima
