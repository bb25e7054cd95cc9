// The tests of one sector, at each filter level: on random data (what most of a disk looks
// like to the filter), on blank sectors, and the exact searches the filter spares.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "SectorScanner.h"

namespace reclaima {
namespace {

constexpr std::size_t Sectors = 4096;  // 2 MiB: beyond the first-level caches, as in a scan

std::vector<std::uint8_t> RandomSectors()
{
    std::vector<std::uint8_t> bytes(Sectors * 512 + CBlockCache::SlackBytes);
    std::mt19937 random(7);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
}

std::vector<const Bytes*> HeaderPatterns(const CSectorScanner& scanner)
{
    std::vector<const Bytes*> patterns;
    for (const SignatureEntry& entry : scanner.Signatures) patterns.push_back(&entry.Header);
    return patterns;
}

void Filter(benchmark::State& state, MatchLevel level)
{
    if (SupportedMatchLevel(level) != level) {
        state.SkipWithError("this processor lacks the level");
        return;
    }
    const CSectorScanner scanner;
    const CSectorFilter filter(HeaderPatterns(scanner));
    const std::vector<std::uint8_t> bytes = RandomSectors();
    std::size_t sector = 0;
    std::size_t maybe = 0;
    for (auto _ : state) {
        maybe += filter.MayHold(bytes.data() + sector * 512, level);
        sector = (sector + 1) % Sectors;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 512);
    state.counters["searched"] = benchmark::Counter(static_cast<double>(maybe) / static_cast<double>(state.iterations()));
}

void ExactSearches(benchmark::State& state)
{
    CSectorScanner scanner;
    const std::vector<std::uint8_t> bytes = RandomSectors();
    std::size_t sector = 0;
    for (auto _ : state) {
        std::copy_n(bytes.data() + sector * 512, 512, scanner.SectorBuffer.data());
        benchmark::DoNotOptimize(scanner.IsBlankSector());
        benchmark::DoNotOptimize(scanner.FindHeader());
        benchmark::DoNotOptimize(scanner.FindFooter());
        sector = (sector + 1) % Sectors;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 512);
}

void BlankTest(benchmark::State& state, bool wordAtATime)
{
    CSectorScanner scanner;
    for (auto _ : state) {
        benchmark::DoNotOptimize(wordAtATime ? IsAllZero(scanner.SectorBuffer.data()) : scanner.IsBlankSector());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 512);
}

BENCHMARK_CAPTURE(Filter, exact, MatchLevel::Exact);
BENCHMARK_CAPTURE(Filter, SSE2, MatchLevel::Sse2);
BENCHMARK_CAPTURE(Filter, SSSE3, MatchLevel::Ssse3);
BENCHMARK_CAPTURE(Filter, AVX2, MatchLevel::Avx2);
BENCHMARK(ExactSearches);
BENCHMARK_CAPTURE(BlankTest, ByteByByte, false);
BENCHMARK_CAPTURE(BlankTest, WordAtATime, true);

}  // namespace
}  // namespace reclaima

BENCHMARK_MAIN();
