// reclaima-cli: carves the files it recognises out of a block device or a disk-image
// file into one folder per type, with the same engine and the same scan as the window.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CliPlatform.h"
#include "DfxmlReport.h"
#include "Report.h"
#include "SameDevice.h"
#include "SectorScanner.h"
#include "Utf8.h"
#include "Version.h"

namespace reclaima::cli {
namespace {

constexpr const char* Program = "reclaima-cli";
constexpr int RedrawMilliseconds = 100;
constexpr auto Relaxed = std::memory_order_relaxed;
using Clock = std::chrono::steady_clock;

enum ExitStatus : int { Done = 0, Failed = 1, BadArguments = 2, Interrupted = 130 };

struct Arguments {
    std::string Source;
    std::string OutDir;
    std::string Report;  // empty: none
    bool AllowSameDevice = false;
    bool Help = false;
    bool Version = false;
};

struct SourceFacts {
    bool IsBlockDevice = false;
    dev_t Device = 0;
};

struct ScanOutcome {
    bool Interrupted = false;
    double Seconds = 0;
};

void Complain(const std::string& text) { std::fprintf(stderr, "%s: %s\n", Program, text.c_str()); }

std::string UsageText()
{
    std::string types;
    for (const CatalogueRow& row : Catalogue)
        types += (types.empty() ? "" : ", ") + std::string(row.Label);
    return "Usage: reclaima-cli [--allow-same-device] [--report FILE] SOURCE OUTDIR\n"
           "       reclaima-cli --version\n"
           "\n"
           "Scans every sector of SOURCE, a block device such as /dev/sdb1 or a disk-image\n"
           "file, and saves the files it recognises (" + types + ")\n"
           "into OUTDIR/<type>/. OUTDIR and its parents are created when missing.\n"
           "\n"
           "  --allow-same-device  write into OUTDIR (and the report) even when it lies on\n"
           "                       SOURCE, although each recovered file may overwrite one\n"
           "                       still to be found\n"
           "  --report FILE        write a DFXML record of the scan to FILE, a new file: each\n"
           "                       recovered file, where on SOURCE it came from, its SHA-1\n"
           "  --version            show the version\n"
           "  -h, --help           show this text\n"
           "\n"
           "Ctrl-C stops the scan and keeps what has been recovered; a second one quits at once.\n"
           "Exit status: 0 done, 1 error, 2 bad arguments, 130 stopped by Ctrl-C.\n";
}

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// The problem with the arguments, or an empty text when they can be used.
std::string ParseArguments(int argc, char** argv, Arguments& args)
{
    std::vector<std::string> paths;
    bool optionsEnded = false;
    const std::string reportEquals = "--report=";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') paths.push_back(arg);
        else if (arg == "--") optionsEnded = true;
        else if (arg == "-h" || arg == "--help") args.Help = true;
        else if (arg == "--version") args.Version = true;
        else if (arg == "--allow-same-device") args.AllowSameDevice = true;
        else if (arg == "--report" || arg.compare(0, reportEquals.size(), reportEquals) == 0) {
            if (arg == "--report") args.Report = i + 1 < argc ? argv[++i] : "";
            else args.Report = arg.substr(reportEquals.size());
            if (args.Report.empty()) return "--report needs a FILE";
        } else return "unknown option '" + arg + "'";
    }
    if (args.Help || args.Version) return {};
    if (paths.size() != 2)
        return "expected SOURCE and OUTDIR, got " + std::to_string(paths.size()) + " path(s)";
    for (const std::string& path : paths) {
        if (path.empty()) return "SOURCE and OUTDIR must not be empty";
        // The engine works in wide text: a name that does not survive the trip is another file.
        const std::string roundTrip = ToUtf8(FromUtf8(path));
        if (roundTrip != path) return "'" + roundTrip + "' is not valid UTF-8";
    }
    args.Source = paths[0];
    args.OutDir = WithoutTrailingSlashes(paths[1]);
    return {};
}

// Opens SOURCE once and closes it again, only to say clearly why it cannot be
// scanned: the engine would report it as a bare message box text.
bool CheckSource(CPosixPlatform& os, const std::string& source, SourceFacts& facts)
{
    struct stat info {};
    if (::stat(source.c_str(), &info) == 0 && S_ISBLK(info.st_mode)) {
        facts.IsBlockDevice = true;
        facts.Device = info.st_rdev;
    }
    const HVolume volume = os.OpenVolume(FromUtf8(source));
    if (volume == InvalidVolume) {
        const int error = errno;
        std::string reason = ToUtf8(os.LastErrorText());
        if ((error == EACCES || error == EPERM) && facts.IsBlockDevice && ::geteuid() != 0)
            reason += " (reading a raw device needs root)";
        Complain("cannot open " + source + ": " + reason);
        return false;
    }
    std::int64_t length = 0;
    const bool measured = os.VolumeLength(volume, length);
    const int error = errno;
    std::string reason = measured ? "" : ToUtf8(os.LastErrorText());
    os.CloseVolume(volume);
    if (measured) return true;
    if (error == ENOTBLK) reason = "not a block device or a disk-image file";
    Complain("cannot open " + source + ": " + reason);
    return false;
}

bool CheckNotOnSource(const Arguments& args, const SourceFacts& source)
{
    // Writing next to an image file never touches the image itself.
    if (!source.IsBlockDevice || args.AllowSameDevice) return true;
    const std::string risk = " may overwrite sectors that still hold lost files; choose a ";
    if (FolderIsOnDevice(args.OutDir, source.Device)) {
        Complain(args.OutDir + " is on " + args.Source + ": every recovered file written there" +
                 risk + "folder on another disk, or give --allow-same-device");
        return false;
    }
    const std::filesystem::path reportFolder = std::filesystem::path(args.Report).parent_path();
    if (!args.Report.empty() &&
        FolderIsOnDevice(reportFolder.empty() ? "." : reportFolder.string(), source.Device)) {
        Complain(args.Report + " is on " + args.Source + ": the report written there" + risk +
                 "file on another disk, or give --allow-same-device");
        return false;
    }
    return true;
}

// Creates OUTDIR like mkdir -p, then proves it takes a new file.
bool PrepareOutDir(const std::string& outDir)
{
    std::error_code error;
    std::filesystem::create_directories(outDir, error);
    if (error) {
        Complain("cannot create " + outDir + ": " + error.message());
        return false;
    }
    const std::string probe = outDir + "/.reclaima-write-check-" + std::to_string(::getpid());
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        Complain("cannot write to " + outDir + ": " + std::strerror(errno));
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

volatile std::sig_atomic_t InterruptSeen = 0;
int WakeFd = -1;

// Only async-signal-safe work here; the main loop passes the request on to the scan.
void OnInterrupt(int)
{
    const int saved = errno;
    InterruptSeen = 1;
    if (WakeFd >= 0) {
        [[maybe_unused]] const ssize_t ignored = ::write(WakeFd, "!", 1);
    }
    errno = saved;
}

TypeTally CountsOf(const CSectorScanner& scanner)
{
    TypeTally counts{};
    for (std::size_t type = 0; type < TypeCount; ++type)
        counts[type] = scanner.TypeCounts[type].load(Relaxed);
    return counts;
}

ScanSnapshot SnapshotOf(const CSectorScanner& scanner, std::uint64_t endSector, double seconds)
{
    ScanSnapshot snapshot;
    snapshot.TotalBytes = endSector * SectorSize;
    snapshot.DoneBytes = std::min(scanner.CurrentSector.load(Relaxed), endSector) * SectorSize;
    snapshot.Seconds = seconds;
    snapshot.Counts = CountsOf(scanner);
    return snapshot;
}

// The scan runs on its own thread; this one redraws the progress and turns Ctrl-C into a stop.
ScanOutcome RunScan(CSectorScanner& scanner, std::uint64_t endSector,
                    const std::wstring& saveFolder, CStatusLine& status)
{
    int wake[2] = {-1, -1};
    // Without the pipe the loop below still wakes every redraw, only later.
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) wake[0] = wake[1] = -1;
    WakeFd = wake[1];

    struct sigaction onInterrupt {};
    struct sigaction previous {};
    onInterrupt.sa_handler = OnInterrupt;
    sigemptyset(&onInterrupt.sa_mask);
    // A second Ctrl-C gets the default action: the way out when a read hangs on a failing disk.
    onInterrupt.sa_flags = SA_RESETHAND;
    ::sigaction(SIGINT, &onInterrupt, &previous);

    // The scan thread starts with SIGINT blocked, so only this thread ever takes it.
    sigset_t interrupt;
    sigset_t mask;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    ::pthread_sigmask(SIG_BLOCK, &interrupt, &mask);
    std::atomic<bool> finished{false};
    const Clock::time_point start = Clock::now();
    std::thread worker([&] {
        scanner.Scan({0, endSector, saveFolder});
        finished.store(true);
        if (wake[1] >= 0) {
            [[maybe_unused]] const ssize_t ignored = ::write(wake[1], "", 1);
        }
    });
    ::pthread_sigmask(SIG_SETMASK, &mask, nullptr);

    const auto seconds = [&] {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    while (!finished.load()) {
        pollfd ready{wake[0], POLLIN, 0};
        ::poll(&ready, 1, RedrawMilliseconds);
        char drained[64];
        while (wake[0] >= 0 && ::read(wake[0], drained, sizeof drained) > 0) {
        }
        if (InterruptSeen) scanner.StopRequested.store(1, Relaxed);
        status.Draw(ProgressLine(SnapshotOf(scanner, endSector, seconds())));
    }
    worker.join();
    const ScanOutcome outcome{scanner.StopRequested.load(Relaxed) != 0, seconds()};
    status.Clear();

    ::sigaction(SIGINT, &previous, nullptr);
    WakeFd = -1;
    for (const int fd : wake)
        if (fd >= 0) ::close(fd);
    return outcome;
}

// A file truncated under the scan reads as zeros past its new end: say so, or the summary
// would pass for a scan of the whole source.
void WarnIfShrunk(const CSectorScanner& scanner, const std::string& source, std::int64_t length)
{
    if (const std::optional<std::int64_t> now = scanner.ShrunkVolumeLength(length))
        Complain(source + " shrank from " + std::to_string(length) + " to " + std::to_string(*now) +
                 " bytes during the scan; what lay past its new end was read as zeros");
}

void PrintSummary(const CSectorScanner& scanner, const CCliPlatform& os, const std::string& outDir,
                  std::uint64_t endSector, const ScanOutcome& outcome)
{
    const ScanSnapshot scan = SnapshotOf(scanner, endSector, outcome.Seconds);
    std::printf("Scanned: %s of %s in %s%s\n", HumanBytes(scan.DoneBytes).c_str(),
                HumanBytes(scan.TotalBytes).c_str(), DurationText(scan.Seconds).c_str(),
                outcome.Interrupted ? " (stopped by Ctrl-C)" : "");
    std::printf("Found: %s\n", CountsText(scan.Counts).c_str());
    const std::size_t files = os.CreatedFiles().size();
    const std::uint64_t bytes = os.BytesWritten();
    std::printf("Recovered: %zu %s, %s (%llu bytes), in %s/<type>/\n", files,
                files == 1 ? "file" : "files", HumanBytes(bytes).c_str(),
                static_cast<unsigned long long>(bytes), outDir.c_str());
}

int Run(int argc, char** argv)
{
    Arguments args;
    const std::string problem = ParseArguments(argc, argv, args);
    if (!problem.empty()) {
        Complain(problem);
        std::fputs(UsageText().c_str(), stderr);
        return BadArguments;
    }
    if (args.Help) {
        std::fputs(UsageText().c_str(), stdout);
        return Done;
    }
    if (args.Version) {
        std::printf("%s %s\n", Program, RECLAIMA_VERSION_TEXT);
        return Done;
    }

    CStatusLine status(::isatty(STDERR_FILENO) == 1);
    CCliPlatform os(status);
    SourceFacts source;
    if (!CheckSource(os, args.Source, source) || !CheckNotOnSource(args, source) ||
        !PrepareOutDir(args.OutDir))
        return Failed;

    CSectorScanner scanner(os);
    // The engine opens SOURCE again and keeps it; it has already said why if that fails now.
    const std::int64_t length = scanner.GetVolumeLength(FromUtf8(args.Source));
    if (scanner.VolumeHandle == NoVolume || length < 0) return Failed;
    // A new file only: an earlier report is a record worth keeping, like an earlier recovery.
    std::FILE* reportFile = nullptr;
    if (!args.Report.empty() && !(reportFile = std::fopen(args.Report.c_str(), "wx"))) {
        Complain("cannot create " + args.Report + ": " + std::strerror(errno));
        return Failed;
    }
    const std::uint64_t endSector = static_cast<std::uint64_t>(length) / SectorSize;
    const std::wstring saveFolder = FromUtf8(args.OutDir) + L'/';

    std::optional<CDfxmlReport> report;
    if (reportFile) {
        report.emplace(reportFile, saveFolder);
        report->Begin({CommandLineText(argc, argv), UtcTimeText(std::time(nullptr)), args.Source,
                       static_cast<std::uint64_t>(length)});
        scanner.Observer = &*report;
    }

    const ScanOutcome outcome = RunScan(scanner, endSector, saveFolder, status);
    WarnIfShrunk(scanner, args.Source, length);
    PrintSummary(scanner, os, args.OutDir, endSector, outcome);
    if (report) {
        report->Finish(UtcTimeText(std::time(nullptr)), outcome.Interrupted);
        const int error = std::fclose(reportFile) == 0 ? report->Error() : errno;
        if (error != 0) {
            Complain("cannot write " + args.Report + ": " + std::strerror(error));
            return Failed;
        }
    }
    return outcome.Interrupted ? Interrupted : Done;
}

}  // namespace
}  // namespace reclaima::cli

int main(int argc, char** argv) { return reclaima::cli::Run(argc, argv); }
