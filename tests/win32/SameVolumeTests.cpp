// The same-partition check against the real volume calls of the system.
#include <gtest/gtest.h>

#include "SameVolume.h"

namespace {

TEST(SameVolumeTest, AFolderIsOnTheDriveThatHoldsIt)
{
    EXPECT_TRUE(FolderIsOnDrive(L"C:\\windows\\Vantobel\\", L"C:\\"));
    EXPECT_TRUE(FolderIsOnDrive(L"c:\\windows\\", L"C:\\"));
    EXPECT_TRUE(FolderIsOnDrive(L"C:\\", L"C:\\"));
}

TEST(SameVolumeTest, AFolderNotYetMadeCountsByWhereItWouldBe)
{
    EXPECT_TRUE(FolderIsOnDrive(L"C:\\no such folder\\Vantobel\\", L"C:\\"));
}

TEST(SameVolumeTest, WithoutAVolumeNameTheDriveLetterDecides)
{
    // No drive Q: in the test prefix, so the system gives no volume name for it.
    EXPECT_TRUE(FolderIsOnDrive(L"Q:\\photos\\Vantobel\\", L"Q:\\"));
    EXPECT_TRUE(FolderIsOnDrive(L"q:\\photos\\", L"Q:\\"));
}

TEST(SameVolumeTest, OtherDrivesAndNoDriveAreNotTheSame)
{
    EXPECT_FALSE(FolderIsOnDrive(L"C:\\windows\\", L"Q:\\"));
    EXPECT_FALSE(FolderIsOnDrive(L"Q:\\photos\\Vantobel\\", L"C:\\"));
    EXPECT_FALSE(FolderIsOnDrive(L"\\\\server\\share\\Vantobel\\", L"C:\\"));
    EXPECT_FALSE(FolderIsOnDrive(L"C:\\windows\\", L""));  // an empty partition list
}

}  // namespace
