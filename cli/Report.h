// The text reclaima-cli shows while it scans and when it is done.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "Signatures.h"

namespace reclaima::cli {

using TypeTally = std::array<std::uint32_t, TypeCount>;

// "JPG:1, PNG:0, ..." in catalogue order, with the catalogue's labels.
std::string CountsText(const TypeTally& counts);

// "512 B", "12.3 MiB": binary units, one decimal above bytes.
std::string HumanBytes(std::uint64_t bytes);

// "4.2 s", "3 min 07 s", "2 h 05 min 09 s".
std::string DurationText(double seconds);

struct ScanSnapshot {
    std::uint64_t DoneBytes = 0;
    std::uint64_t TotalBytes = 0;
    double Seconds = 0;
    TypeTally Counts{};
};

// "37.5%  18.0 MiB / 48.0 MiB  92.1 MiB/s  3.3 s left  JPG:1, ...": the time left at the
// speed so far, "-- left" before there is one.
std::string ProgressLine(const ScanSnapshot& scan);

}  // namespace reclaima::cli
