#include "ScanCase.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <sstream>
#include <thread>

#include "CarvingModel.h"
#include "SectorScanner.h"
#include "TestPlatform.h"
#include "Utf8.h"

namespace reclaima::fuzz {
namespace {

using test::CTestPlatform;
using test::Message;

constexpr const wchar_t* Partition = L"X:\\";
constexpr const wchar_t* SaveFolder = L"D:\\out\\";
constexpr std::uint64_t SectorBytes = 512;

enum Flag : std::uint8_t {
    ClosesFail = 1,
    SecondScan = 2,
    StopAtEvent = 4,
    PauseAtEvent = 8,
    StopWhilePaused = 16,
    EmptyRange = 32,
    LargeDeviceSectors = 64,
    PlainPath = 128,
};

constexpr std::uint32_t LargeDeviceSector = 4096;

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : Data_(data), Size_(size) {}
    bool AtEnd() const { return Next_ >= Size_; }
    std::uint8_t Byte() { return Next_ < Size_ ? Data_[Next_++] : 0; }

private:
    const std::uint8_t* Data_;
    std::size_t Size_;
    std::size_t Next_ = 0;
};

struct Case {
    std::uint8_t Flags = 0;
    model::Disk Disk;
    model::Conditions Conditions;
    unsigned SteerAtEvent = 0;
    std::deque<LocalTime> Clock;
};

std::vector<std::uint8_t> PatternOf(unsigned what)
{
    const std::string_view bytes = what < TypeCount ? Catalogue[what].Header
                                                    : Catalogue[what == 9 ? 0 : 1].Footer;
    return {bytes.begin(), bytes.end()};
}

// Fills, counts and stamps of the sector groups; stamps are laid last so they may cross groups.
void ReadSectors(Reader& in, Case& c)
{
    static constexpr std::uint64_t Counts[] = {1, 2, 37, 300};
    std::vector<std::uint8_t>& bytes = c.Disk.Bytes;
    std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> stamps;
    while (!in.AtEnd() && bytes.size() < MaxSectors * SectorBytes) {
        const std::uint8_t op = in.Byte();
        const unsigned fill = op & 3u;
        const std::uint8_t arg = fill == 1 || fill == 2 ? in.Byte() : 0;
        const std::uint64_t first = bytes.size() / SectorBytes;
        const std::uint64_t count = std::min(Counts[(op >> 2) & 3u], MaxSectors - first);
        std::uint32_t random = arg * 2654435761u + 1;
        for (std::uint64_t s = 0; s < count; ++s) {
            const std::size_t at = bytes.size();
            bytes.resize(at + SectorBytes, 0);
            for (std::size_t i = 0; i < SectorBytes; ++i) {
                if (fill == 1) bytes[at + i] = arg;
                if (fill == 2) {
                    random = random * 1664525u + 1013904223u;
                    bytes[at + i] = static_cast<std::uint8_t>(random >> 24);
                }
                if (fill == 3 && at >= SectorBytes) bytes[at + i] = bytes[at + i - SectorBytes];
            }
            if (op & 0x80u) c.Disk.Unreadable.insert(first + s);
        }
        for (unsigned n = (op >> 4) & 7u; n > 0; --n) {
            const unsigned what = in.Byte() % 11u;
            const unsigned offset = (in.Byte() | in.Byte() << 8) % 1024u;
            stamps.emplace_back(first * SectorBytes + offset, PatternOf(what));
        }
    }
    for (const auto& [at, pattern] : stamps)
        for (std::size_t i = 0; i < pattern.size() && at + i < bytes.size(); ++i) bytes[at + i] = pattern[i];
}

Case Decode(const std::uint8_t* data, std::size_t size)
{
    Reader in(data, size);
    Case c;
    c.Flags = in.Byte();
    model::Conditions& conditions = c.Conditions;
    conditions.ClosesFail = c.Flags & ClosesFail;
    conditions.BlankLimit = 1 + in.Byte() % 8;
    if (const std::uint8_t room = in.Byte()) conditions.FreeBytes = room * 61u;
    c.SteerAtEvent = in.Byte() + 1u;
    const std::uint8_t noFolder = in.Byte();
    const std::uint8_t failingBegins = in.Byte();
    for (int bit = 0; bit < 8; ++bit) {
        if (noFolder >> bit & 1) conditions.TypesWithoutFolder.insert(bit);
        if (failingBegins >> bit & 1) conditions.FailingBegins.insert(static_cast<unsigned>(bit + 1));
    }
    const std::uint8_t range = in.Byte();
    for (unsigned times = in.Byte() % 5u; times > 0; --times) {
        LocalTime t;
        t.Hour = in.Byte() % 24;
        t.Minute = in.Byte() % 60;
        t.Second = in.Byte() % 60;
        t.Milliseconds = in.Byte() * 4 % 1000;
        c.Clock.push_back(t);
    }
    if (c.Clock.empty()) c.Clock.push_back({9, 5, 7, 42});
    ReadSectors(in, c);

    const std::uint64_t sectors = c.Disk.Bytes.size() / SectorBytes;
    conditions.First = range & 3u;
    const std::uint64_t cut = (range >> 2) & 3u;
    conditions.End = c.Flags & EmptyRange ? 0 : sectors - std::min(cut, sectors);
    return c;
}

// Stops or pauses the scan from inside the R-th read or create of the scanning thread; a
// pause is ended from another thread, by Continue or by Stop, as the window's buttons would.
class Steering {
public:
    Steering(CSectorScanner& scanner, const Case& c) : Scanner(scanner), Flags(c.Flags), AtEvent(c.SteerAtEvent)
    {
        if (Flags & PauseAtEvent) Helper = std::thread([this] { EndThePause(); });
    }

    ~Steering()
    {
        {
            std::lock_guard<std::mutex> lock(Mutex);
            Finished = true;
        }
        Wake.notify_all();
        if (Helper.joinable()) Helper.join();
    }

    void OnEvent(bool read)
    {
        // The read-ahead's own thread reads blocks at times of its choosing: only the scanning
        // thread's calls mark a pass.
        if (std::this_thread::get_id() != ScanningThread) return;
        // A failed block is narrowed down by further reads within the same pass.
        if (read && Steered && Scanner.CurrentSector.load() != SteeredSector) ++ReadsInLaterPasses;
        if (++Events != AtEvent) return;
        SteeredSector = Scanner.CurrentSector.load();
        Steered = true;
        if (Flags & PauseAtEvent) {
            Scanner.PauseRequested.store(1);
            std::lock_guard<std::mutex> lock(Mutex);
            Paused = true;
            Wake.notify_all();
        } else if (Flags & StopAtEvent) {
            Scanner.StopRequested.store(1);
        }
    }

    bool Stops() const
    {
        return Steered && ((Flags & PauseAtEvent) ? (Flags & StopWhilePaused) != 0 : (Flags & StopAtEvent) != 0);
    }

    CSectorScanner& Scanner;
    const std::uint8_t Flags;
    const unsigned AtEvent;
    const std::thread::id ScanningThread = std::this_thread::get_id();
    unsigned Events = 0;
    unsigned ReadsInLaterPasses = 0;
    bool Steered = false;
    std::uint64_t SteeredSector = 0;

private:
    void EndThePause()
    {
        std::unique_lock<std::mutex> lock(Mutex);
        Wake.wait(lock, [this] { return Paused || Finished; });
        if (!Paused) return;
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (Flags & StopWhilePaused) Scanner.StopRequested.store(1);
        else Scanner.PauseRequested.store(0);
    }

    std::mutex Mutex;
    std::condition_variable Wake;
    bool Paused = false;
    bool Finished = false;
    std::thread Helper;
};

Message TextOf(model::Message message)
{
    switch (message) {
    case model::Message::Unreadable: return {CTestPlatform::ReadErrorText, CSectorScanner::SystemErrorCaption};
    case model::Message::CreateFailed: return {CTestPlatform::AccessDeniedText, CSectorScanner::SystemErrorCaption};
    case model::Message::WriteFailed:
    case model::Message::CloseFailed: break;
    }
    return {CTestPlatform::DiskFullText, CSectorScanner::SystemErrorCaption};
}

class Comparison {
public:
    explicit Comparison(const CTestPlatform& os) : Os(os) {}

    // The files created since `firstPath` against the model's, in the order begun.
    void Files(const model::Outcome& expected, std::size_t firstPath, const char* scan)
    {
        const std::size_t made = Os.CreatedPaths.size() - firstPath;
        if (made != expected.Files.size()) {
            Problem() << scan << ": " << made << " files created, the model has " << expected.Files.size();
            return;
        }
        for (std::size_t i = 0; i < made; ++i) {
            const std::wstring& path = Os.CreatedPaths[firstPath + i];
            const model::File& file = expected.Files[i];
            const std::wstring extension(Catalogue[static_cast<std::size_t>(file.Type)].Extension);
            const std::wstring folder = SaveFolder + extension + L"\\";
            const std::wstring suffix = L"." + extension;
            if (path.compare(0, folder.size(), folder) != 0 || path.size() < folder.size() + suffix.size() + 1 ||
                path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0)
                Problem() << scan << ": file " << i << " is " << ToUtf8(path) << ", not a " << ToUtf8(extension) << " file";
            const std::vector<std::uint8_t>& got = Os.Files.at(path);
            if (got != file.Bytes) {
                const auto differs = std::mismatch(got.begin(), got.end(), file.Bytes.begin(), file.Bytes.end()).first;
                Problem() << scan << ": " << ToUtf8(path) << " holds " << got.size() << " bytes, the model "
                          << file.Bytes.size() << "; first difference at " << (differs - got.begin());
            }
        }
    }

    void Counts(const std::array<std::uint32_t, model::TypeCount>& expected, const CSectorScanner& scanner)
    {
        for (std::size_t t = 0; t < TypeCount; ++t)
            if (scanner.TypeCounts[t].load() != expected[t])
                Problem() << Catalogue[t].Label << " count " << scanner.TypeCounts[t].load() << ", the model "
                          << expected[t];
    }

    // The fast path holds output back, so a failed write may show after a later read's
    // message; the messages of each kind still come in the model's order.
    void Messages(const std::vector<model::Message>& expected, std::size_t firstMessage, bool exactOrder,
                  const char* scan)
    {
        std::vector<Message> want;
        for (const model::Message m : expected) want.push_back(TextOf(m));
        std::vector<Message> got(Os.Messages.begin() + static_cast<std::ptrdiff_t>(firstMessage), Os.Messages.end());
        if (!exactOrder) {
            const auto isRead = [](const Message& m) { return m.Text == CTestPlatform::ReadErrorText; };
            std::stable_partition(want.begin(), want.end(), isRead);
            std::stable_partition(got.begin(), got.end(), isRead);
        }
        if (got != want) {
            Problem() << scan << ": " << got.size() << " messages, the model " << want.size() << ":";
            for (const Message& m : got) Findings << " [" << ToUtf8(m.Text) << "]";
        }
    }

    std::ostringstream& Problem()
    {
        Findings << "\n";
        return Findings;
    }

    std::string Result() const { return Findings.str(); }

private:
    const CTestPlatform& Os;
    std::ostringstream Findings;
};

// The test platform holding the case's disk and faults; the model's disk follows the device.
void Prepare(CTestPlatform& os, Case& c)
{
    os.Folders = {L"D:", L"D:\\out"};
    os.Clock = c.Clock;
    os.Volumes[Partition].Bytes = c.Disk.Bytes;
    os.Volumes[Partition].UnreadableSectors = c.Disk.Unreadable;
    if (c.Flags & LargeDeviceSectors) {
        os.Volumes[Partition].SectorSize = LargeDeviceSector;
        // The device cannot read any part of a device sector that holds a bad one.
        const std::uint64_t per = LargeDeviceSector / SectorBytes;
        std::set<std::uint64_t> spoilt;
        for (const std::uint64_t bad : c.Disk.Unreadable)
            for (std::uint64_t s = bad / per * per; s < bad / per * per + per; ++s) spoilt.insert(s);
        c.Disk.Unreadable = spoilt;
    }
    for (const int type : c.Conditions.TypesWithoutFolder)
        os.FailingFolders.insert(SaveFolder + std::wstring(Catalogue[static_cast<std::size_t>(type)].Extension));
    os.FailingNewFiles = c.Conditions.FailingBegins;
    os.FreeBytes = c.Conditions.FreeBytes;
    os.FailCloses = c.Conditions.ClosesFail;
}

// Into the same folder again: the first scan's files stay, the second's land beside them.
void CheckSecondScan(CTestPlatform& os, CSectorScanner& scanner, const Case& c, model::Conditions conditions,
                     const model::Outcome& first, bool plain, Comparison& compare)
{
    const std::map<std::wstring, std::vector<std::uint8_t>> firstFiles = os.Files;
    const std::size_t firstPaths = os.CreatedPaths.size();
    const std::size_t firstMessages = os.Messages.size();
    os.FailingNewFiles.clear();
    conditions.FailingBegins.clear();
    scanner.Scan({c.Conditions.First, c.Conditions.End, SaveFolder});
    const model::Outcome again = model::Carve(c.Disk, conditions);
    for (const auto& [path, bytes] : firstFiles)
        if (os.Files.at(path) != bytes) compare.Problem() << "the second scan changed " << ToUtf8(path);
    compare.Files(again, firstPaths, "second scan");
    std::array<std::uint32_t, model::TypeCount> total{};
    for (std::size_t t = 0; t < TypeCount; ++t) total[t] = first.Counts[t] + again.Counts[t];
    compare.Counts(total, scanner);
    compare.Messages(again.Messages, firstMessages, plain, "second scan");
}

}  // namespace

std::string CheckScan(const std::uint8_t* data, std::size_t size)
{
    Case c = Decode(data, size);
    CTestPlatform os;
    Prepare(os, c);

    CSectorScanner scanner(os);
    scanner.BlankSectorLimit = c.Conditions.BlankLimit;
    // The plain path reads 512 bytes at a time, which a device of larger sectors refuses.
    const bool plain = (c.Flags & PlainPath) && !(c.Flags & LargeDeviceSectors);
    if (plain) scanner.Method = ScanMethod::Plain;
    Comparison compare(os);
    if (scanner.GetVolumeLength(Partition) != static_cast<std::int64_t>(c.Disk.Bytes.size()))
        compare.Problem() << "the volume's length is wrong";

    bool stopped = false;
    std::uint64_t steeredSector = 0;
    {
        Steering steering(scanner, c);
        os.BeforeRead = [&steering](std::uint64_t) { steering.OnEvent(true); };
        os.BeforeCreate = [&steering](const std::wstring&) { steering.OnEvent(false); };
        scanner.Scan({c.Conditions.First, c.Conditions.End, SaveFolder});
        os.BeforeRead = nullptr;
        os.BeforeCreate = nullptr;
        stopped = steering.Stops();
        steeredSector = steering.SteeredSector;
        // The pass in hand is finished; the next one finds the stop or the pause and reads nothing.
        if (stopped && steering.ReadsInLaterPasses)
            compare.Problem() << "read " << steering.ReadsInLaterPasses << " times after the stop or pause";
    }

    // A stopped scan is compared over the sectors it had reached: the pass in hand is finished.
    const std::uint64_t reached = scanner.CurrentSector.load();
    model::Conditions conditions = c.Conditions;
    if (stopped) {
        if (reached != steeredSector + 1)
            compare.Problem() << "stopped at sector " << reached << " after a stop in the pass of sector " << steeredSector;
        conditions.End = reached;
    } else if (c.Conditions.First < c.Conditions.End && reached != c.Conditions.End) {
        compare.Problem() << "ended at sector " << reached << ", not at " << c.Conditions.End;
    }

    const model::Outcome expected = model::Carve(c.Disk, conditions);
    compare.Files(expected, 0, "scan");
    compare.Counts(expected.Counts, scanner);
    compare.Messages(expected.Messages, 0, plain, "scan");
    if (!os.OpenFiles.empty()) compare.Problem() << os.OpenFiles.size() << " files left open";
    if (os.OpenedAddresses.size() != 1) compare.Problem() << "the home page opened " << os.OpenedAddresses.size() << " times";

    if ((c.Flags & SecondScan) && !stopped && !(c.Flags & PauseAtEvent) && c.Conditions.FreeBytes == UINT64_MAX)
        CheckSecondScan(os, scanner, c, conditions, expected, plain, compare);
    if (os.Files.size() != os.CreatedPaths.size()) compare.Problem() << "a file was created twice under one name";
    return compare.Result();
}

}  // namespace reclaima::fuzz
