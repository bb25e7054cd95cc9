// The Linux platform against real files, folders and, where one is readable, a block device.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "TempFolderTest.h"
#include "Utf8.h"
#include "platform/PosixPlatform.h"

namespace reclaima {
namespace {

namespace fs = std::filesystem;

class PosixPlatformTest : public TempFolderTest {
protected:
    CPosixPlatform Os;

    PosixPlatformTest() : TempFolderTest("posix") {}

    // An image whose every byte is its offset modulo 251, so a misplaced read shows.
    fs::path MakeImage(std::size_t size)
    {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
        const fs::path path = Root / "disk.img";
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
};

TEST_F(PosixPlatformTest, AnImageFileIsAVolumeOfItsSize)
{
    const HVolume volume = Os.OpenVolume(Wide(MakeImage(3 * 512 + 100)));
    ASSERT_NE(volume, InvalidVolume);
    std::int64_t length = 0;
    ASSERT_TRUE(Os.VolumeLength(volume, length));
    EXPECT_EQ(length, 3 * 512 + 100);

    std::uint8_t sector[512];
    for (std::uint64_t index : {0u, 2u}) {
        ASSERT_EQ(Os.ReadAt(volume, index * 512, sector, 512), 512);
        EXPECT_EQ(sector[0], (index * 512) % 251);
        EXPECT_EQ(sector[511], (index * 512 + 511) % 251);
    }
    EXPECT_EQ(Os.ReadAt(volume, 3 * 512, sector, 512), 100);
    EXPECT_EQ(Os.ReadAt(volume, 4 * 512, sector, 512), 0);
    Os.CloseVolume(volume);
}

TEST_F(PosixPlatformTest, TheVolumeIsOpenedForReadingOnly)
{
    const HVolume volume = Os.OpenVolume(Wide(MakeImage(512)));
    ASSERT_NE(volume, InvalidVolume);
    const int fd = static_cast<int>(volume - 1);
    EXPECT_EQ(::write(fd, "x", 1), -1);
    Os.CloseVolume(volume);
}

TEST_F(PosixPlatformTest, AMissingVolumeFailsWithTheSystemsReason)
{
    EXPECT_EQ(Os.OpenVolume(Wide(Root / "missing.img")), InvalidVolume);
    EXPECT_EQ(Os.LastErrorText(), L"No such file or directory");
}

TEST_F(PosixPlatformTest, AFolderIsNoVolume)
{
    const HVolume volume = Os.OpenVolume(Wide(Root));
    ASSERT_NE(volume, InvalidVolume);
    std::int64_t length = 0;
    EXPECT_FALSE(Os.VolumeLength(volume, length));
    EXPECT_FALSE(Os.LastErrorText().empty());
    Os.CloseVolume(volume);
}

// Lends the image to a free loop device, where the machine allows it (root, loop support).
class LoopDevice {
public:
    explicit LoopDevice(const fs::path& image)
    {
        const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
        if (control < 0) return;
        const int number = ::ioctl(control, LOOP_CTL_GET_FREE);
        ::close(control);
        if (number < 0) return;
        const std::string path = "/dev/loop" + std::to_string(number);
        Device = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        const int backing = ::open(image.c_str(), O_RDONLY | O_CLOEXEC);
        if (Device >= 0 && backing >= 0 && ::ioctl(Device, LOOP_SET_FD, backing) == 0) Path = path;
        if (backing >= 0) ::close(backing);
    }
    ~LoopDevice()
    {
        if (!Path.empty()) ::ioctl(Device, LOOP_CLR_FD, 0);
        if (Device >= 0) ::close(Device);
    }
    std::string Path;  // empty when no device could be had

private:
    int Device = -1;
};

TEST_F(PosixPlatformTest, ABlockDeviceIsMeasuredByTheKernel)
{
    const LoopDevice loop(MakeImage(64 * 512));
    if (loop.Path.empty()) GTEST_SKIP() << "no loop device can be set up here";
    const HVolume volume = Os.OpenVolume(FromUtf8(loop.Path));
    ASSERT_NE(volume, InvalidVolume) << ToUtf8(Os.LastErrorText());
    std::int64_t length = 0;
    EXPECT_TRUE(Os.VolumeLength(volume, length));
    EXPECT_EQ(length, 64 * 512);
    std::uint8_t sector[512];
    EXPECT_EQ(Os.ReadAt(volume, 63 * 512, sector, 512), 512);
    EXPECT_EQ(sector[0], (63 * 512) % 251);
    Os.CloseVolume(volume);
}

TEST_F(PosixPlatformTest, OutputFilesAreCreatedNewAndExtendedAfterAGap)
{
    const std::wstring folder = Wide(Root / "恢复") + L"/";
    EXPECT_FALSE(Os.FolderExists(folder));
    Os.MakeFolder(folder);
    ASSERT_TRUE(Os.FolderExists(folder));
    ASSERT_TRUE(fs::is_directory(Root / "恢复"));

    const std::wstring path = folder + L"95742.jpg";
    const CreatedFile created = Os.CreateOutputFile(path);
    ASSERT_EQ(created.Result, CreateResult::Created);
    EXPECT_TRUE(Os.AppendAfterGap(created.Handle, 0, "abc", 3));
    EXPECT_TRUE(Os.AppendAfterGap(created.Handle, 1024, "de", 2));
    EXPECT_TRUE(Os.CloseOutputFile(created.Handle));
    EXPECT_EQ(ReadFile(Root / "恢复" / "95742.jpg"), "abc" + std::string(1024, '\0') + "de");

    EXPECT_EQ(Os.CreateOutputFile(path).Result, CreateResult::AlreadyExists);
    EXPECT_EQ(fs::file_size(Root / "恢复" / "95742.jpg"), 3u + 1024 + 2);
    EXPECT_EQ(Os.CreateOutputFile(folder + L"missing/1.jpg").Result, CreateResult::Failed);
}

TEST_F(PosixPlatformTest, MakeFolderMakesOneLevelOnly)
{
    Os.MakeFolder(Wide(Root / "a" / "b"));
    EXPECT_FALSE(fs::exists(Root / "a"));
}

TEST_F(PosixPlatformTest, TheClockGivesAValidLocalTime)
{
    const LocalTime now = Os.GetLocalTime();
    EXPECT_GE(now.Hour, 0);
    EXPECT_LE(now.Hour, 23);
    EXPECT_LE(now.Minute, 59);
    EXPECT_LE(now.Second, 60);
    EXPECT_LE(now.Milliseconds, 999);
}

TEST_F(PosixPlatformTest, AMessageBoxIsOneLineOnStandardError)
{
    ::testing::internal::CaptureStderr();
    Os.ShowMessage(L"磁盘未打开！", L"Reclaima");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Reclaima: 磁盘未打开！\n");
}

struct Utf8Case {
    const char* Name;
    std::string Utf8;
    std::wstring Wide;
};

const Utf8Case Utf8Cases[] = {
    {"Ascii", "D:/out/jpg", L"D:/out/jpg"},
    {"Chinese", "\xE7\xA3\x81\xE7\x9B\x98", L"磁盘"},
    {"BeyondTheBasicPlane", "\xF0\x9F\x98\x80", L"\U0001F600"},
    {"Empty", "", L""},
};

class Utf8Test : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Test, RoundTrips)
{
    EXPECT_EQ(ToUtf8(GetParam().Wide), GetParam().Utf8);
    EXPECT_EQ(FromUtf8(GetParam().Utf8), GetParam().Wide);
}

INSTANTIATE_TEST_SUITE_P(Cases, Utf8Test, ::testing::ValuesIn(Utf8Cases),
                         [](const auto& test) { return std::string(test.param.Name); });

TEST(Utf8, InvalidBytesBecomeReplacementCharacters)
{
    EXPECT_EQ(FromUtf8("a\xFF" "b"), L"a\uFFFDb");
    EXPECT_EQ(FromUtf8("\xE7\xA3"), L"\uFFFD\uFFFD");   // cut short
    EXPECT_EQ(FromUtf8("\xC0\xAF"), L"\uFFFD\uFFFD");   // overlong
    EXPECT_EQ(FromUtf8("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD");  // a surrogate
}

}  // namespace
}  // namespace reclaima
