#include "PosixPlatform.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "../Utf8.h"

namespace reclaima {

namespace {

// Descriptor 0 is a valid descriptor but the engine's "none": shift by one.
std::uintptr_t FromDescriptor(int fd) { return static_cast<std::uintptr_t>(fd) + 1; }
int ToDescriptor(std::uintptr_t handle) { return static_cast<int>(handle - 1); }

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (written == 0) errno = EIO;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

HVolume CPosixPlatform::OpenVolume(const std::wstring& partition)
{
    const int fd = ::open(ToUtf8(partition).c_str(), O_RDONLY | O_CLOEXEC);
    return fd < 0 ? InvalidVolume : FromDescriptor(fd);
}

bool CPosixPlatform::VolumeLength(HVolume volume, std::int64_t& bytes)
{
    const int fd = ToDescriptor(volume);
    struct stat info {};
    if (::fstat(fd, &info) != 0) return false;
    if (S_ISBLK(info.st_mode)) {
        std::uint64_t size = 0;
        if (::ioctl(fd, BLKGETSIZE64, &size) != 0) return false;
        bytes = static_cast<std::int64_t>(size);
        return true;
    }
    if (!S_ISREG(info.st_mode)) {
        errno = ENOTBLK;
        return false;
    }
    bytes = info.st_size;
    return true;
}

std::int64_t CPosixPlatform::ReadAt(HVolume volume, std::uint64_t offset, void* buffer,
                                    std::uint32_t size)
{
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::uint32_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(ToDescriptor(volume), bytes + got, size - got,
                                  static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;  // end of the medium
        got += static_cast<std::uint32_t>(n);
    }
    return got;
}

std::uint32_t CPosixPlatform::VolumeSectorSize(HVolume volume)
{
    const int fd = ToDescriptor(volume);
    struct stat info {};
    int size = 0;
    // An image file takes reads of any size; a block device only whole logical sectors.
    if (::fstat(fd, &info) == 0 && S_ISBLK(info.st_mode) && ::ioctl(fd, BLKSSZGET, &size) == 0 &&
        size > 0)
        return static_cast<std::uint32_t>(size);
    return 512;
}

void CPosixPlatform::CloseVolume(HVolume volume) { ::close(ToDescriptor(volume)); }

bool CPosixPlatform::FolderExists(const std::wstring& path)
{
    struct stat info {};
    return ::stat(ToUtf8(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void CPosixPlatform::MakeFolder(const std::wstring& path) { ::mkdir(ToUtf8(path).c_str(), 0777); }

CreatedFile CPosixPlatform::CreateOutputFile(const std::wstring& path)
{
    const int fd = ::open(ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return {CreateResult::Created, FromDescriptor(fd)};
    return {errno == EEXIST ? CreateResult::AlreadyExists : CreateResult::Failed, NoOutput};
}

bool CPosixPlatform::AppendAfterGap(HOutput file, std::uint64_t gap, const void* data,
                                    std::uint32_t size)
{
    const int fd = ToDescriptor(file);
    if (::lseek(fd, static_cast<off_t>(gap), SEEK_END) < 0) return false;
    return WriteAll(fd, static_cast<const std::uint8_t*>(data), size);
}

bool CPosixPlatform::CloseOutputFile(HOutput file) { return ::close(ToDescriptor(file)) == 0; }

LocalTime CPosixPlatform::GetLocalTime()
{
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm parts {};
    ::localtime_r(&now.tv_sec, &parts);
    return {parts.tm_hour, parts.tm_min, parts.tm_sec, static_cast<int>(now.tv_nsec / 1000000)};
}

// No browser is opened from a terminal.
void CPosixPlatform::OpenWebAddress(const std::wstring&) {}

void CPosixPlatform::ShowMessage(const std::wstring& text, const std::wstring& caption)
{
    const std::string line = ToUtf8(caption) + ": " + ToUtf8(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

std::wstring CPosixPlatform::LastErrorText()
{
    char buffer[256] = {};
    // GNU strerror_r may return a static string instead of filling the buffer.
    return FromUtf8(::strerror_r(errno, buffer, sizeof buffer));
}

CPlatform& DefaultPlatform()
{
    static CPosixPlatform platform;
    return platform;
}

}  // namespace reclaima
