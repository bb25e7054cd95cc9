// Preloaded into reclaima-cli by the end-to-end tests to play a failing or slow disk.
//   RECLAIMA_FAIL_SECTORS=6-7,19,100-   reads touching these sectors fail with EIO
//                                        (an open range runs to the end)
//   RECLAIMA_READ_DELAY_US=2000          every read first sleeps this long per 512 bytes,
//                                        as a slow disk takes longer for a larger read
#include <dlfcn.h>
#include <errno.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t Sector = 512;

struct SectorRange {
    std::uint64_t First = 0;
    std::uint64_t Last = UINT64_MAX;
};

struct Settings {
    std::vector<SectorRange> Failing;
    long DelayMicroseconds = 0;
};

Settings Load()
{
    Settings settings;
    if (const char* delay = std::getenv("RECLAIMA_READ_DELAY_US"))
        settings.DelayMicroseconds = std::atol(delay);
    const char* ranges = std::getenv("RECLAIMA_FAIL_SECTORS");
    std::string text = ranges ? ranges : "";
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(start, end - start);
        SectorRange range;
        const std::size_t dash = item.find('-');
        range.First = std::strtoull(item.c_str(), nullptr, 10);
        if (dash == std::string::npos) range.Last = range.First;
        else if (dash + 1 < item.size())
            range.Last = std::strtoull(item.c_str() + dash + 1, nullptr, 10);
        settings.Failing.push_back(range);
        start = end + 1;
    }
    return settings;
}

const Settings& Current()
{
    static const Settings settings = Load();
    return settings;
}

bool Fails(std::uint64_t offset, std::size_t count)
{
    if (count == 0) return false;
    const std::uint64_t first = offset / Sector;
    const std::uint64_t last = (offset + count - 1) / Sector;
    for (const SectorRange& range : Current().Failing)
        if (first <= range.Last && last >= range.First) return true;
    return false;
}

template <typename Real, typename Offset>
ssize_t FaultyRead(Real real, int fd, void* buffer, std::size_t count, Offset offset)
{
    if (const long perSector = Current().DelayMicroseconds; perSector > 0) {
        const long delay = perSector * static_cast<long>((count + Sector - 1) / Sector);
        const timespec pause{delay / 1000000, delay % 1000000 * 1000};
        nanosleep(&pause, nullptr);
    }
    if (Fails(static_cast<std::uint64_t>(offset), count)) {
        errno = EIO;
        return -1;
    }
    return real(fd, buffer, count, offset);
}

}  // namespace

extern "C" ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset)
{
    using Real = ssize_t (*)(int, void*, std::size_t, off_t);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "pread"));
    return FaultyRead(real, fd, buffer, count, offset);
}

extern "C" ssize_t pread64(int fd, void* buffer, std::size_t count, off64_t offset)
{
    using Real = ssize_t (*)(int, void*, std::size_t, off64_t);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "pread64"));
    return FaultyRead(real, fd, buffer, count, offset);
}
