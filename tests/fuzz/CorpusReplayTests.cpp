// The seed corpus, replayed by every native build (the fuzzer itself needs clang).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "ScanCase.h"

namespace reclaima::fuzz {
namespace {

TEST(ScanCorpus, EverySeedCarvesAsTheModelSays)
{
    std::vector<std::filesystem::path> seeds;
    for (const auto& entry : std::filesystem::directory_iterator(RECLAIMA_SCAN_CORPUS))
        seeds.push_back(entry.path());
    ASSERT_FALSE(seeds.empty()) << "no seeds in " << RECLAIMA_SCAN_CORPUS;
    for (const auto& seed : seeds) {
        std::ifstream file(seed, std::ios::binary);
        const std::vector<std::uint8_t> input((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        EXPECT_EQ(CheckScan(input.data(), input.size()), "") << seed.filename();
    }
}

}  // namespace
}  // namespace reclaima::fuzz
