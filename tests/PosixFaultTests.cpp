// The engine on the Linux platform into destinations that refuse what it writes: real
// folders, a real mount. Every refusal is said once, the counts stay true, nothing already
// recovered is lost, and the scan runs to its end.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "SectorScanner.h"
#include "TempFolderTest.h"
#include "platform/PosixPlatform.h"

namespace reclaima {
namespace {

namespace fs = std::filesystem;

// The Linux platform with its message boxes kept instead of printed.
class CRecordingPlatform : public CPosixPlatform {
public:
    std::vector<std::pair<std::wstring, std::wstring>> Messages;
    void ShowMessage(const std::wstring& text, const std::wstring& caption) override
    {
        Messages.emplace_back(text, caption);
    }
    void OpenWebAddress(const std::wstring&) override {}
};

constexpr std::size_t Sectors = 64;
// Three GIFs of 16 sectors, then a JPG of 16 sectors that ends at its footer.
std::string DiskBytes()
{
    std::string bytes(Sectors * 512, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(1 + i % 200);
    for (std::size_t file = 0; file < 3; ++file) bytes.replace(file * 16 * 512, 6, "GIF89a");
    bytes.replace(48 * 512, 10, std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10));
    bytes.replace(Sectors * 512 - 2, 2, "\xFF\xD9");
    return bytes;
}

class PosixFaultTest : public TempFolderTest {
protected:
    fs::path Image;
    fs::path Out;
    bool Mounted = false;

    PosixFaultTest() : TempFolderTest("faults")
    {
        Image = Root / "disk.img";
        std::ofstream(Image, std::ios::binary) << DiskBytes();
        Out = Root / "out";
        fs::create_directory(Out);
    }

    ~PosixFaultTest() override
    {
        if (Mounted) ::umount2(Out.c_str(), MNT_DETACH);
    }

    // A small file system of its own on Out; false where this process may not mount.
    bool MountOut(const char* options, unsigned long flags = 0)
    {
        Mounted = ::mount("tmpfs", Out.c_str(), "tmpfs", flags, options) == 0;
        return Mounted;
    }

    // Scans the whole image into `saveFolder`; the recovered files by type folder.
    std::map<std::string, std::vector<std::string>> Scan(CRecordingPlatform& os, const fs::path& saveFolder)
    {
        CSectorScanner scanner(os);
        EXPECT_EQ(scanner.GetVolumeLength(Wide(Image)), static_cast<std::int64_t>(Sectors * 512));
        scanner.Scan({0, Sectors, Wide(saveFolder) + L"/"});
        EXPECT_EQ(scanner.CurrentSector.load(), Sectors);
        EXPECT_EQ(scanner.TypeCounts[0].load(), 1u);  // the counts tell what was found
        EXPECT_EQ(scanner.TypeCounts[2].load(), 3u);
        std::map<std::string, std::vector<std::string>> found;
        std::error_code error;
        for (const char* type : {"gif", "jpg"})
            for (const auto& entry : fs::directory_iterator(saveFolder / type, error))
                found[type].push_back(ReadFile(entry.path()));
        return found;
    }

    static void ExpectOneSystemMessage(const CRecordingPlatform& os)
    {
        ASSERT_EQ(os.Messages.size(), 1u);
        EXPECT_FALSE(os.Messages[0].first.empty());
        EXPECT_EQ(os.Messages[0].second, L"提示");
    }
};

TEST_F(PosixFaultTest, AFileWhereATypeFolderShouldBeLosesOnlyThatTypeAndSaysSo)
{
    std::ofstream(Out / "gif") << "in the way";
    CRecordingPlatform os;
    const auto found = Scan(os, Out);
    ExpectOneSystemMessage(os);
    EXPECT_EQ(found.count("gif"), 0u);
    ASSERT_EQ(found.at("jpg").size(), 1u);
    EXPECT_EQ(found.at("jpg")[0], DiskBytes().substr(48 * 512));
    EXPECT_EQ(ReadFile(Out / "gif"), "in the way");
}

TEST_F(PosixFaultTest, APathTooLongForThePlatformIsSaidOnceAndTheScanGoesOn)
{
    CRecordingPlatform os;
    const auto found = Scan(os, Out / std::string(300, 'n'));
    ExpectOneSystemMessage(os);
    EXPECT_TRUE(found.empty());
}

TEST_F(PosixFaultTest, AReadOnlyDestinationIsSaidOnceAndTheScanGoesOn)
{
    // Root passes every permission check, so read-only must come from the mount.
    if (::geteuid() != 0)
        fs::permissions(Out, fs::perms::owner_read | fs::perms::owner_exec);
    else if (!MountOut("size=1m", MS_RDONLY))
        GTEST_SKIP() << "running as root where no read-only file system can be mounted";
    CRecordingPlatform os;
    const auto found = Scan(os, Out);
    ExpectOneSystemMessage(os);
    EXPECT_TRUE(found.empty());
    if (!Mounted) fs::permissions(Out, fs::perms::owner_all);
}

TEST_F(PosixFaultTest, AFullDestinationKeepsWhatReachedItAndNeverOverwrites)
{
    if (!MountOut("size=16k")) GTEST_SKIP() << "no file system of a chosen size can be mounted here";
    CRecordingPlatform os;
    const auto found = Scan(os, Out);
    ExpectOneSystemMessage(os);
    EXPECT_EQ(os.Messages[0].first, L"No space left on device");
    // Each file holds the start of its own bytes, and what they hold together fits.
    const std::string disk = DiskBytes();
    std::size_t total = 0;
    for (const auto& [type, files] : found)
        for (const std::string& file : files) {
            total += file.size();
            EXPECT_NE(disk.find(file.substr(0, 512)), std::string::npos) << type;
        }
    EXPECT_GT(total, 0u);
    EXPECT_LE(total, 16u * 1024);
}

TEST_F(PosixFaultTest, ThousandsOfFilesAndTwoScansIntoOneFolderEachKeepTheirOwnName)
{
    // One GIF per sector, each told apart by its number: most begin in a millisecond shared
    // with others.
    constexpr std::size_t Files = 2000;
    std::string bytes(Files * 512, '\x11');
    for (std::size_t s = 0; s < Files; ++s) {
        bytes.replace(s * 512, 6, "GIF89a");
        bytes.replace(s * 512 + 100, 4, std::to_string(1000 + s));
    }
    std::ofstream(Image, std::ios::binary | std::ios::trunc) << bytes;

    CRecordingPlatform os;
    for (int scan = 0; scan < 2; ++scan) {
        CSectorScanner scanner(os);
        scanner.GetVolumeLength(Wide(Image));
        scanner.Scan({0, Files, Wide(Out) + L"/"});
    }
    EXPECT_TRUE(os.Messages.empty());
    std::map<std::string, int> seen;
    for (const auto& entry : fs::directory_iterator(Out / "gif")) ++seen[ReadFile(entry.path())];
    ASSERT_EQ(seen.size(), Files);
    for (std::size_t s = 0; s < Files; ++s) EXPECT_EQ(seen[bytes.substr(s * 512, 512)], 2) << "sector " << s;
}

}  // namespace
}  // namespace reclaima
