// The parts of reclaima-cli that can be checked without running it: its text, and
// how it tells whether a folder lies on the device being scanned.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "Report.h"
#include "SameDevice.h"

namespace reclaima::cli {
namespace {

namespace fs = std::filesystem;

TEST(CountsText, FollowsTheCatalogue)
{
    EXPECT_EQ(CountsText({}), "JPG:0, PNG:0, GIF:0, RTF:0, RAR:0, ZIP:0, 7Z:0, RMVB:0, FLV:0");
    EXPECT_EQ(CountsText({4, 3, 2, 1, 1, 1, 1, 1, 10}),
              "JPG:4, PNG:3, GIF:2, RTF:1, RAR:1, ZIP:1, 7Z:1, RMVB:1, FLV:10");
}

TEST(HumanBytes, PicksTheUnit)
{
    const struct {
        std::uint64_t Bytes;
        const char* Text;
    } cases[] = {
        {0, "0 B"},
        {1023, "1023 B"},
        {1024, "1.0 KiB"},
        {1536, "1.5 KiB"},
        {1024 * 1024 - 1, "1.0 MiB"},  // not "1024.0 KiB"
        {12897485, "12.3 MiB"},
        {48ull << 20, "48.0 MiB"},
        {3ull << 40, "3.0 TiB"},
    };
    for (const auto& c : cases) EXPECT_EQ(HumanBytes(c.Bytes), c.Text) << c.Bytes;
}

TEST(DurationText, ShowsSecondsThenMinutesThenHours)
{
    const struct {
        double Seconds;
        const char* Text;
    } cases[] = {
        {0, "0.0 s"}, {4.3, "4.3 s"}, {59.9, "59.9 s"}, {60, "1 min 00 s"},
        {187, "3 min 07 s"}, {7509, "2 h 05 min 09 s"},
    };
    for (const auto& c : cases) EXPECT_EQ(DurationText(c.Seconds), c.Text) << c.Seconds;
}

TEST(ProgressLine, HoldsShareBytesSpeedAndCounts)
{
    ScanSnapshot scan;
    scan.DoneBytes = 18ull << 20;
    scan.TotalBytes = 48ull << 20;
    scan.Seconds = 2;
    scan.Counts = {1, 0, 0, 0, 0, 0, 0, 0, 2};
    EXPECT_EQ(ProgressLine(scan), " 37.5%  18.0 MiB / 48.0 MiB  9.0 MiB/s  3.3 s left  "
                                  "JPG:1, PNG:0, GIF:0, RTF:0, RAR:0, ZIP:0, 7Z:0, RMVB:0, FLV:2");
}

// The time left at the speed so far; none to tell before anything is read.
TEST(ProgressLine, ShowsTheTimeLeftAtTheSpeedSoFar)
{
    const struct {
        std::uint64_t Done;
        double Seconds;
        const char* Left;
    } cases[] = {
        {0, 0, "-- left"},
        {0, 5, "-- left"},
        {1ull << 30, 0, "-- left"},
        {1ull << 30, 10, "30.0 s left"},
        {1ull << 20, 10, "11 h 22 min 30 s left"},
        {4ull << 30, 10, "0.0 s left"},
    };
    for (const auto& c : cases) {
        ScanSnapshot scan;
        scan.DoneBytes = c.Done;
        scan.TotalBytes = 4ull << 30;
        scan.Seconds = c.Seconds;
        EXPECT_NE(ProgressLine(scan).find(std::string("  ") + c.Left + "  "), std::string::npos)
            << ProgressLine(scan);
    }
}

TEST(ProgressLine, AnEmptySourceIsDoneAtOnce)
{
    EXPECT_EQ(ProgressLine({}).substr(0, 8), "100.0%  ");
}

// A sysfs tree in miniature: disk sda with partitions sda1 and sda2, dm-0 made of
// sda2, and dm-1 made of dm-0 (a volume inside an encrypted partition).
class FakeSysfs : public ::testing::Test {
protected:
    fs::path Root = fs::temp_directory_path() / ("reclaima-sysfs-" + std::to_string(::getpid()));

    void SetUp() override
    {
        fs::remove_all(Root);
        Device("devices/pci/block/sda", "8:0");
        Device("devices/pci/block/sda/sda1", "8:1", true);
        Device("devices/pci/block/sda/sda2", "8:2", true);
        Device("devices/virtual/block/dm-0", "253:0");
        Device("devices/virtual/block/dm-1", "253:1");
        Slave("devices/virtual/block/dm-0", "devices/pci/block/sda/sda2");
        Slave("devices/virtual/block/dm-1", "devices/virtual/block/dm-0");
    }
    void TearDown() override { fs::remove_all(Root); }

    void Device(const std::string& at, const std::string& number, bool partition = false)
    {
        fs::create_directories(Root / at);
        std::ofstream(Root / at / "dev") << number << "\n";
        if (partition) std::ofstream(Root / at / "partition") << "1\n";
        fs::create_directories(Root / "dev/block");
        fs::create_directory_symlink(Root / at, Root / "dev/block" / number);
    }
    void Slave(const std::string& device, const std::string& slave)
    {
        fs::create_directories(Root / device / "slaves");
        const fs::path link = Root / device / "slaves" / fs::path(slave).filename();
        fs::create_directory_symlink(Root / slave, link);
    }
};

TEST_F(FakeSysfs, FollowsPartitionsAndMappedDevicesDown)
{
    EXPECT_EQ(DevicesBeneath(makedev(253, 1), Root.string()),
              (std::vector<dev_t>{makedev(253, 1), makedev(253, 0), makedev(8, 2), makedev(8, 0)}));
    EXPECT_EQ(DevicesBeneath(makedev(8, 0), Root.string()), std::vector<dev_t>{makedev(8, 0)});
    EXPECT_EQ(DevicesBeneath(makedev(9, 9), Root.string()), std::vector<dev_t>{makedev(9, 9)});
}

TEST_F(FakeSysfs, TellsWhichWritesReachTheScannedDevice)
{
    const struct {
        dev_t Folder;
        dev_t Source;
        bool Reaches;
    } cases[] = {
        {makedev(8, 1), makedev(8, 1), true},     // the partition being scanned
        {makedev(8, 1), makedev(8, 0), true},     // a partition of the disk being scanned
        {makedev(8, 1), makedev(8, 2), false},    // another partition of the same disk
        {makedev(253, 0), makedev(8, 2), true},   // a mapped device made of the partition
        {makedev(253, 0), makedev(8, 0), true},
        {makedev(253, 0), makedev(8, 1), false},
        {makedev(8, 2), makedev(253, 0), true},   // scanning the mapped device instead
        {makedev(253, 1), makedev(8, 2), true},   // two levels down
        {makedev(9, 9), makedev(9, 9), true},     // unknown to sysfs, but the same number
        {makedev(9, 9), makedev(8, 0), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WritesCanReach(c.Folder, c.Source, Root.string()), c.Reaches)
            << major(c.Folder) << ":" << minor(c.Folder) << " onto " << major(c.Source) << ":"
            << minor(c.Source);
}

TEST_F(FakeSysfs, FindsTheMountSourceOfAnAnonymousDevice)
{
    const fs::path table = Root / "mountinfo";
    std::ofstream(table) << "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
                            "40 27 0:45 / /home rw,relatime shared:1 master:2 - btrfs /dev/sda2 rw\n"
                            "41 27 0:46 / /media/My\\040Disk rw - btrfs /dev/disk/by-label/My\\040Disk rw\n";
    EXPECT_EQ(MountSource(makedev(0, 45), table.string()), "/dev/sda2");
    EXPECT_EQ(MountSource(makedev(0, 46), table.string()), "/dev/disk/by-label/My Disk");
    EXPECT_EQ(MountSource(makedev(0, 47), table.string()), "");
}

TEST_F(FakeSysfs, AFolderStillToBeMadeIsOnItsNearestParentsDevice)
{
    struct stat info {};
    ASSERT_EQ(::stat(Root.c_str(), &info), 0);
    EXPECT_EQ(FolderDevice((Root / "not/yet/made").string()), info.st_dev);
    // A regular file on the way ends the walk where it stands.
    std::ofstream(Root / "file") << "x";
    EXPECT_EQ(FolderDevice((Root / "file/below").string()), info.st_dev);
}

}  // namespace
}  // namespace reclaima::cli
