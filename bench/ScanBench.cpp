// Whole scans of two 2 GiB images held in the page cache, against the read limit (cat), the
// write of as many bytes, and the peers PhotoRec and foremost where they are installed.
//
//   scan_bench [DIR]    images, sample files and scratch output under DIR (build/bench)
//
// sparse.img: three quarters random sectors, a quarter blank ones, no header anywhere.
// dense.img:  the sample image's real files of the nine types, packed sector by sector.
// Each figure is the best of three runs; each scan runs in a child process, whose peak
// resident memory is shown.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "SectorScanner.h"
#include "Utf8.h"
#include "platform/PosixPlatform.h"

namespace reclaima::bench {
namespace {

namespace fs = std::filesystem;
constexpr std::uint64_t ImageBytes = 2ull << 30;
constexpr std::size_t Chunk = 1u << 20;
constexpr int Runs = 3;

struct Timing {
    double Seconds = 0;
    long PeakKiB = 0;
};

// Runs `work` in a child process; the best wall time of three, and the child's peak memory.
Timing BestOfThree(const std::function<void()>& work, const std::function<void()>& before = {})
{
    Timing best{1e30, 0};
    for (int run = 0; run < Runs; ++run) {
        if (before) before();
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = ::fork();
        if (child == 0) {
            work();
            ::_exit(0);
        }
        int status = 0;
        rusage usage{};
        ::wait4(child, &status, 0, &usage);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {-1, 0};
        if (seconds < best.Seconds) best.Seconds = seconds;
        best.PeakKiB = std::max(best.PeakKiB, usage.ru_maxrss);
    }
    return best;
}

void Run(const std::string& command)
{
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

bool Installed(const char* program)
{
    return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

// Random bytes with every header the catalogue knows broken up, so that nothing is carved.
void MakeSparse(const fs::path& image)
{
    CSectorScanner scanner;
    std::vector<const Bytes*> headers;
    for (const SignatureEntry& entry : scanner.Signatures) headers.push_back(&entry.Header);
    const CSectorFilter filter(headers);
    std::ofstream out(image, std::ios::binary);
    std::mt19937_64 random(2026);
    std::vector<std::uint8_t> chunk(Chunk + CBlockCache::SlackBytes);
    for (std::uint64_t done = 0; done < ImageBytes; done += Chunk) {
        const bool blank = done / Chunk % 4 == 3;
        for (std::size_t i = 0; i < Chunk; i += 8) {
            const std::uint64_t word = blank ? 0 : random();
            std::memcpy(chunk.data() + i, &word, 8);
        }
        for (std::size_t s = 0; !blank && s < Chunk; s += 512) {
            std::uint8_t* sector = chunk.data() + s;
            while (filter.MayHold(sector, BestMatchLevel())) {
                std::memcpy(scanner.SectorBuffer.data(), sector, 512);
                const std::int32_t at = scanner.FindHeader();
                if (at < 0) break;
                sector[at] ^= 0x80;
            }
        }
        out.write(reinterpret_cast<const char*>(chunk.data()), Chunk);
    }
}

// The sample image's files, each from its offset, packed on sector boundaries until 2 GiB.
bool MakeDense(const fs::path& image, const fs::path& sampleDir)
{
    const std::string make = "'" RECLAIMA_SOURCE_DIR "/tools/make-sample-image.sh' " + Quoted(sampleDir);
    if (std::system(make.c_str()) != 0) return false;
    std::ifstream truth(sampleDir / "sample.truth.tsv");
    std::ifstream sample(sampleDir / "sample.img", std::ios::binary);
    std::vector<std::vector<char>> files;
    std::string line;
    std::getline(truth, line);  // the column names
    while (std::getline(truth, line)) {
        std::istringstream fields(line);
        std::string kind, name, size, sha, deleted, offset;
        std::getline(fields, kind, '\t');
        std::getline(fields, name, '\t');
        std::getline(fields, size, '\t');
        std::getline(fields, sha, '\t');
        std::getline(fields, deleted, '\t');
        std::getline(fields, offset, '\t');
        std::vector<char> bytes(std::stoull(size));
        sample.seekg(static_cast<std::streamoff>(std::stoull(offset)));
        sample.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        bytes.resize((bytes.size() + 511) / 512 * 512, 0);
        files.push_back(std::move(bytes));
    }
    if (files.empty()) return false;
    std::ofstream out(image, std::ios::binary);
    std::uint64_t done = 0;
    for (std::size_t i = 0; done < ImageBytes; i = (i + 1) % files.size()) {
        const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(files[i].size(), ImageBytes - done));
        out.write(files[i].data(), static_cast<std::streamsize>(size));
        done += size;
    }
    return true;
}

// The POSIX platform without its message line: a benchmark shows figures only.
class CQuietPlatform : public CPosixPlatform {
public:
    void ShowMessage(const std::wstring&, const std::wstring&) override {}
};

void Scan(const fs::path& image, const fs::path& out, ScanMethod method, MatchLevel level)
{
    CQuietPlatform os;
    CSectorScanner scanner(os);
    scanner.Method = method;
    scanner.Level = level;
    const std::int64_t bytes = scanner.GetVolumeLength(FromUtf8(image.string()));
    scanner.Scan({0, static_cast<std::uint64_t>(bytes) / 512, FromUtf8(out.string()) + L'/'});
}

// The sizes of the files the scan wrote.
std::vector<std::uint64_t> SizesUnder(const fs::path& folder)
{
    std::vector<std::uint64_t> sizes;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) sizes.push_back(entry.file_size());
    return sizes;
}

// Files of these sizes written anew in 1 MiB writes, in one folder.
void WriteFiles(const fs::path& folder, const std::vector<std::uint64_t>& sizes)
{
    const std::vector<char> chunk(Chunk, 'x');
    fs::create_directories(folder);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const int fd = ::open((folder / std::to_string(i)).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) ::_exit(1);
        for (std::uint64_t done = 0; done < sizes[i]; done += Chunk)
            if (::write(fd, chunk.data(), static_cast<std::size_t>(std::min<std::uint64_t>(Chunk, sizes[i] - done))) < 0)
                ::_exit(1);
        ::close(fd);
    }
}

void Row(const char* what, const Timing& timing, double limit, std::uint64_t bytes)
{
    if (timing.Seconds < 0) {
        std::printf("  %-28s failed\n", what);
        return;
    }
    std::printf("  %-28s %7.3f s  %6.2f GB/s  %5.2f x", what, timing.Seconds,
                static_cast<double>(bytes) / timing.Seconds / 1e9, timing.Seconds / limit);
    if (timing.PeakKiB > 0) std::printf("  %6.1f MiB resident", static_cast<double>(timing.PeakKiB) / 1024);
    std::printf("\n");
    std::fflush(stdout);
}

void Measure(const fs::path& dir, const fs::path& image, bool dense)
{
    const fs::path out = dir / "out";
    const auto clean = [&] { fs::remove_all(out); fs::create_directories(out); };
    const std::uint64_t bytes = fs::file_size(image);
    const Timing cat = BestOfThree([&] { Run("cat " + Quoted(image) + " >/dev/null"); });
    std::printf("%s (%.2f GB)\n", image.filename().c_str(), static_cast<double>(bytes) / 1e9);

    double limit = cat.Seconds;
    Row("cat (read limit)", cat, cat.Seconds, bytes);
    clean();
    Scan(image, out, ScanMethod::Fast, BestMatchLevel());
    const std::vector<std::uint64_t> sizes = SizesUnder(out);
    if (dense) {
        std::uint64_t carved = 0;
        for (const std::uint64_t size : sizes) carved += size;
        // One file of all the bytes, and as many files as were carved, of their sizes.
        const Timing one = BestOfThree([&] { WriteFiles(out / "written", {carved}); }, clean);
        const Timing each = BestOfThree([&] { WriteFiles(out / "written", sizes); }, clean);
        std::printf("  carved %.2f GB in %zu files; written anew in 1 MiB writes: as one file %.3f s,\n"
                    "  as files of the same sizes %.3f s\n",
                    static_cast<double>(carved) / 1e9, sizes.size(), one.Seconds, each.Seconds);
        limit = cat.Seconds + each.Seconds;
        std::printf("  ratios below are to read + writing the same files, %.3f s (to read + one file: x %.2f)\n",
                    limit, limit / (cat.Seconds + one.Seconds));
    }
    for (const MatchLevel level : {MatchLevel::Avx2, MatchLevel::Ssse3, MatchLevel::Sse2, MatchLevel::Exact}) {
        if (SupportedMatchLevel(level) != level) continue;
        const std::string what = std::string("reclaima, ") + MatchLevelName(level);
        Row(what.c_str(), BestOfThree([&] { Scan(image, out, ScanMethod::Fast, level); }, clean), limit, bytes);
    }
    if (Installed("photorec"))
        Row("PhotoRec", BestOfThree([&] {
            // Its log goes to the folder it runs in: the scratch output.
            Run("cd " + Quoted(out) + " && photorec /log /d " + Quoted(out / "recup") + " /cmd " + Quoted(image) +
                " search >/dev/null 2>&1");
        }, clean), limit, bytes);
    if (Installed("foremost"))
        Row("foremost", BestOfThree([&] {
            Run("foremost -i " + Quoted(image) + " -o " + Quoted(out / "foremost") + " >/dev/null 2>&1");
        }, clean), limit, bytes);
    fs::remove_all(out);
}

int Main(int argc, char** argv)
{
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::path(RECLAIMA_SOURCE_DIR "/build/bench");
    fs::create_directories(dir);
    const fs::path sparse = dir / "sparse.img";
    const fs::path dense = dir / "dense.img";
    if (!fs::exists(sparse) || fs::file_size(sparse) != ImageBytes) MakeSparse(sparse);
    if ((!fs::exists(dense) || fs::file_size(dense) != ImageBytes) && !MakeDense(dense, dir / "sample")) {
        std::fprintf(stderr, "scan_bench: cannot build the sample files for the dense image\n");
        return 1;
    }
    std::printf("best of %d, page cache warm; filter levels this processor runs up to %s\n", Runs,
                MatchLevelName(BestMatchLevel()));
    Measure(dir, sparse, false);
    Measure(dir, dense, true);
    return 0;
}

}  // namespace
}  // namespace reclaima::bench

int main(int argc, char** argv) { return reclaima::bench::Main(argc, argv); }
