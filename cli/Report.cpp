#include "Report.h"

#include <cmath>
#include <cstdio>

namespace reclaima::cli {

namespace {

constexpr double MiB = 1024.0 * 1024.0;

template <typename... Values>
std::string Format(const char* format, Values... values)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, values...);
    return buffer;
}

}  // namespace

std::string CountsText(const TypeTally& counts)
{
    std::string text;
    for (std::size_t type = 0; type < TypeCount; ++type) {
        if (type > 0) text += ", ";
        text += Catalogue[type].Label;
        text += ':' + std::to_string(counts[type]);
    }
    return text;
}

std::string HumanBytes(std::uint64_t bytes)
{
    static const char* const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB"};
    if (bytes < 1024) return std::to_string(bytes) + " B";
    double value = static_cast<double>(bytes) / 1024;
    std::size_t unit = 0;
    // 1023.96 KiB would print as "1024.0 KiB": move up before the rounding does.
    while (value >= 1023.95 && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    return Format("%.1f %s", value, units[unit]);
}

std::string DurationText(double seconds)
{
    if (seconds < 59.95) return Format("%.1f s", seconds);
    const auto whole = static_cast<long long>(std::llround(seconds));
    const long long hours = whole / 3600;
    const long long minutes = whole / 60 % 60;
    const long long rest = whole % 60;
    if (hours == 0) return Format("%lld min %02lld s", minutes, rest);
    return Format("%lld h %02lld min %02lld s", hours, minutes, rest);
}

std::string ProgressLine(const ScanSnapshot& scan)
{
    const auto done = static_cast<double>(scan.DoneBytes);
    const double share = scan.TotalBytes == 0 ? 1.0 : done / static_cast<double>(scan.TotalBytes);
    const double speed = scan.Seconds > 0 ? done / MiB / scan.Seconds : 0;
    const bool known = scan.DoneBytes > 0 && scan.Seconds > 0;
    const double left = known ? scan.Seconds * static_cast<double>(scan.TotalBytes - scan.DoneBytes) / done : 0;
    return Format("%5.1f%%", share * 100) + "  " + HumanBytes(scan.DoneBytes) + " / " +
           HumanBytes(scan.TotalBytes) + "  " + Format("%.1f MiB/s", speed) + "  " +
           (known ? DurationText(left) : "--") + " left  " + CountsText(scan.Counts);
}

}  // namespace reclaima::cli
