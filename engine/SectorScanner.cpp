#include "SectorScanner.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <thread>

namespace reclaima {

namespace {

constexpr auto Relaxed = std::memory_order_relaxed;
// A paused scan sleeps this long between polls instead of spinning a core.
constexpr auto PausePoll = std::chrono::milliseconds(5);
// What an output file gathers before it is written: large writes, little memory.
constexpr std::size_t HeldBytes = 1u << 20;

Bytes ToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

// Hour, minute, second and millisecond run together without separators.
std::wstring FileStem(const LocalTime& time)
{
    return std::to_wstring(time.Hour) + std::to_wstring(time.Minute) +
           std::to_wstring(time.Second) + std::to_wstring(time.Milliseconds);
}

}  // namespace

CSectorScanner::CSectorScanner(CPlatform& platform) : Os(platform), Cache(platform) { Init(); }

CSectorScanner::~CSectorScanner()
{
    if (VolumeHandle != NoVolume) Os.CloseVolume(VolumeHandle);
}

void CSectorScanner::Init()
{
    SectorBuffer.fill(0);
    SearchFrom = 0;
    FooterLength = 0;
    HeaderOffset = -1;
    FooterOffset = -1;
    CurrentType = -1;
    ReadErrorSkip = 1;
    BlankSectorLimit = 1024;
    StopRequested.store(0, Relaxed);
    PauseRequested.store(0, Relaxed);
    CurrentSector.store(0, Relaxed);
    EndSector = 0;
    Signatures.clear();
    for (const CatalogueRow& row : Catalogue)
        AddSignature(std::wstring(row.Extension), ToBytes(row.Header), ToBytes(row.Footer));
}

void CSectorScanner::AddSignature(const std::wstring& extension, const Bytes& header,
                                  const Bytes& footer)
{
    if (Signatures.size() == TypeCounts.size())
        throw std::length_error("the catalogue holds one counter per type");
    TypeCounts[Signatures.size()].store(0, Relaxed);
    Signatures.push_back({extension, header, footer});
}

std::int32_t CSectorScanner::FindPattern(std::int32_t from, const std::uint8_t* pattern,
                                         std::int32_t length) const
{
    if (length < 1) return -1;
    const std::int32_t bound = SectorSize + 1 - length;  // the last start is 512 - length
    from = std::max(from, 0);
    const std::uint8_t* buffer = SectorBuffer.data();
    for (std::int32_t p = from; p < bound; ++p) {
        const void* hit = std::memchr(buffer + p, pattern[0], static_cast<std::size_t>(bound - p));
        if (!hit) return -1;
        p = static_cast<std::int32_t>(static_cast<const std::uint8_t*>(hit) - buffer);
        if (std::memcmp(buffer + p, pattern, static_cast<std::size_t>(length)) == 0) return p;
    }
    return -1;
}

bool CSectorScanner::IsBlankSector() const
{
    return std::all_of(SectorBuffer.begin(), SectorBuffer.end(),
                       [](std::uint8_t byte) { return byte == 0; });
}

std::int32_t CSectorScanner::FindHeader()
{
    for (std::size_t type = 0; type < Signatures.size(); ++type) {
        const Bytes& header = Signatures[type].Header;
        const std::int32_t offset =
            FindPattern(SearchFrom, header.data(), static_cast<std::int32_t>(header.size()));
        if (offset != -1) {
            CurrentType = static_cast<std::int32_t>(type);
            TypeCounts[type].fetch_add(1, Relaxed);
            return offset;
        }
    }
    return -1;
}

std::int32_t CSectorScanner::FindFooter()
{
    if (CurrentType == -1) return -1;
    FooterLength = 0;
    const Bytes& footer = Signatures[static_cast<std::size_t>(CurrentType)].Footer;
    if (footer.empty()) return -1;
    FooterLength = static_cast<std::int32_t>(footer.size());
    return FindPattern(SearchFrom, footer.data(), FooterLength);
}

std::int64_t CSectorScanner::GetVolumeLength(const std::wstring& partition)
{
    const HVolume volume = Os.OpenVolume(partition);
    if (volume == InvalidVolume) {
        Os.ShowMessage(VolumeNotOpenText, ProgramCaption);
        return 0;
    }
    if (VolumeHandle != NoVolume) Os.CloseVolume(VolumeHandle);
    VolumeHandle = volume;
    Cache.Attach(volume, Os.VolumeSectorSize(volume));
    std::int64_t bytes = 0;
    if (!Os.VolumeLength(volume, bytes)) {
        ShowSystemError();
        return 0;
    }
    return bytes;
}

std::optional<std::int64_t> CSectorScanner::ShrunkVolumeLength(std::int64_t measured) const
{
    std::int64_t now = 0;
    if (VolumeHandle == NoVolume || !Os.VolumeLength(VolumeHandle, now) || now >= measured)
        return std::nullopt;
    return now;
}

bool CSectorScanner::ReadSector()
{
    const std::uint8_t* data = SectorData();
    if (!data) return false;
    if (data != SectorBuffer.data()) std::memcpy(SectorBuffer.data(), data, SectorSize);
    return true;
}

const std::uint8_t* CSectorScanner::SectorData()
{
    if (VolumeHandle == NoVolume) {
        Os.ShowMessage(VolumeNotOpenText, ProgramCaption);
        return nullptr;
    }
    if (Method == ScanMethod::Plain) return ReadPlainSector() ? SectorBuffer.data() : nullptr;
    const std::uint8_t* data = Cache.Sector(CurrentSector.load(Relaxed), EndSector);
    if (!data) Os.ShowMessage(Cache.ErrorText(), SystemErrorCaption);
    return data;
}

bool CSectorScanner::ReadPlainSector()
{
    const std::uint64_t offset = CurrentSector.load(Relaxed) * SectorSize;
    const std::int64_t got = Os.ReadAt(VolumeHandle, offset, SectorBuffer.data(), SectorSize);
    if (got < 0) {
        ShowSystemError();
        return false;
    }
    // A short read at the end of the medium must not leave the previous sector's bytes.
    if (got < SectorSize) std::fill(SectorBuffer.begin() + got, SectorBuffer.end(), 0);
    return true;
}

void CSectorScanner::PrepareFilters()
{
    ScanLevel = Method == ScanMethod::Plain ? MatchLevel::Exact : SupportedMatchLevel(Level);
    Filters.clear();
    std::vector<const Bytes*> patterns;
    for (const SignatureEntry& entry : Signatures) patterns.push_back(&entry.Header);
    Filters.emplace_back(patterns);
    for (const SignatureEntry& entry : Signatures) {
        if (!entry.Footer.empty()) patterns.push_back(&entry.Footer);
        Filters.emplace_back(patterns);
        if (!entry.Footer.empty()) patterns.pop_back();
    }
    for (const SignatureEntry& entry : Signatures)
        if (!entry.Footer.empty()) patterns.push_back(&entry.Footer);
    AnyPattern.emplace(patterns);
}

bool CSectorScanner::NeedsSearch(const std::uint8_t* sector) const
{
    return ScanLevel == MatchLevel::Exact ||
           Filters[static_cast<std::size_t>(CurrentType + 1)].MayHold(sector, ScanLevel);
}

std::int32_t CSectorScanner::FooterLengthOf(std::int32_t type) const
{
    return static_cast<std::int32_t>(Signatures[static_cast<std::size_t>(type)].Footer.size());
}

CSectorScanner::OutputState::~OutputState()
{
    if (File == NoOutput) return;
    if (!Held.empty()) Os.AppendAfterGap(File, HeldGap, Held.data(), static_cast<std::uint32_t>(Held.size()));
    Os.CloseOutputFile(File);
}

void CSectorScanner::Scan(ScanRequest request)
{
    OutputState out(Os);
    if (Method == ScanMethod::Fast) out.Held.reserve(HeldBytes);
    std::int32_t blankRun = 0;
    CurrentSector.store(request.FirstSector, Relaxed);
    EndSector = request.EndSector;
    Cache.Forget();
    PrepareFilters();
    // However the scan ends, the reading thread ends with it.
    struct ReadingAhead {
        CBlockCache& Cache;
        ~ReadingAhead() { Cache.StopReadingAhead(); }
    } readingAhead{Cache};
    // Both processors take part: one reads the next block and classifies its sectors while
    // the other runs the loop over this block, then classifies what is left of the next.
    if (Method == ScanMethod::Fast) Cache.StartReadingAhead(*AnyPattern, ScanLevel);

    for (;;) {
        const std::uint64_t sector = CurrentSector.load(Relaxed);
        if (sector > EndSector) break;
        if (StopRequested.load(Relaxed)) break;
        if (PauseRequested.load(Relaxed)) {
            std::this_thread::sleep_for(PausePoll);
            continue;
        }
        if (EndSector == 0 || sector == EndSector) break;

        const std::uint8_t* data = SectorData();
        if (!data) {
            // Zeros keep the rest of the open file at its offsets: dropping the sector would
            // shift everything after it and ruin an archive's directory.
            if (out.File != NoOutput)
                out.PendingGap += static_cast<std::uint64_t>(ReadErrorSkip) * SectorSize;
            CurrentSector.store(sector + static_cast<std::uint64_t>(ReadErrorSkip), Relaxed);
            continue;
        }
        SearchFrom = 0;
        HeaderOffset = -1;
        FooterOffset = -1;

        const SectorClass known = Method == ScanMethod::Fast ? Cache.ClassOf(sector) : SectorClass::Unclassified;
        const bool blank = known == SectorClass::Unclassified
                               ? (Method == ScanMethod::Plain ? IsBlankSector() : IsAllZero(data))
                               : known == SectorClass::Blank;
        if (blank) {
            ++blankRun;
            if (blankRun < BlankSectorLimit) {
                CurrentSector.store(sector + 1, Relaxed);
                continue;
            }
            if (out.File != NoOutput) {
                CloseFile(out);  // the run is not written: the file ends with its last data
                blankRun = 0;
                CurrentSector.store(sector + 1, Relaxed);
                continue;
            }
        } else if (out.File != NoOutput && blankRun > 0) {
            out.PendingGap += static_cast<std::uint64_t>(blankRun) * SectorSize;
        }

        SearchFrom = 0;
        blankRun = 0;
        // A sector the filter rules out holds no header and no footer of CurrentType: the
        // searches would return -1 and leave FooterLength at that type's footer length.
        const bool search = known != SectorClass::PlainData && NeedsSearch(data);
        if (search && data != SectorBuffer.data()) std::memcpy(SectorBuffer.data(), data, SectorSize);
        HeaderOffset = search ? FindHeader() : -1;
        if (HeaderOffset != -1) {
            WritePiece(out, data, SearchFrom, HeaderOffset - SearchFrom);
            CloseFile(out);
            BeginFile(out, request.SaveFolder);
            SearchFrom = HeaderOffset;
            FooterOffset = -1;
        }

        if (search) {
            FooterOffset = FindFooter();
        } else if (CurrentType != -1) {
            FooterLength = FooterLengthOf(CurrentType);
        }
        if (FooterOffset == -1) {
            WritePiece(out, data, SearchFrom, SectorSize - SearchFrom);
        } else if (out.File != NoOutput) {
            WritePiece(out, data, SearchFrom, FooterOffset + FooterLength - SearchFrom);
            CloseFile(out);
            HeaderOffset = -1;
            FooterOffset = -1;
        }
        CurrentSector.store(sector + 1, Relaxed);
    }

    Os.OpenWebAddress(HomePageAddress);
    CloseFile(out);
}

void CSectorScanner::BeginFile(OutputState& out, const std::wstring& saveFolder)
{
    const std::wstring& extension = Signatures[static_cast<std::size_t>(CurrentType)].Extension;
    const std::wstring folder = saveFolder + extension + Os.FolderSeparator();
    if (!Os.FolderExists(folder)) Os.MakeFolder(folder);

    // Never empty an earlier recovery: a taken name gets " (2)", " (3)", ...
    const std::wstring stem = folder + FileStem(Os.GetLocalTime());
    const std::wstring dotExtension = L"." + extension;
    unsigned copy = stem == out.LastStem ? out.LastCopy + 1 : 1;
    std::wstring path;
    for (;; ++copy) {
        const std::wstring suffix = copy == 1 ? L"" : L" (" + std::to_wstring(copy) + L")";
        path = stem + suffix + dotExtension;
        const CreatedFile created = Os.CreateOutputFile(path);
        if (created.Result == CreateResult::Created) {
            out.File = created.Handle;
            break;
        }
        if (created.Result == CreateResult::Failed) {
            // Otherwise the counts would report files that do not exist.
            ReportOutputFailure(out);
            break;
        }
    }
    out.LastStem = stem;
    out.LastCopy = copy;
    if (Observer && out.File != NoOutput) {
        const std::uint64_t sector = CurrentSector.load(Relaxed);
        Observer->FileBegun(path, CurrentType, sector,
                            sector * SectorSize + static_cast<std::uint64_t>(HeaderOffset));
    }
}

void CSectorScanner::WritePiece(OutputState& out, const std::uint8_t* sector, std::int32_t from,
                                std::int32_t count)
{
    if (out.File == NoOutput || count <= 0) return;
    const std::uint8_t* piece = sector + from;
    const auto size = static_cast<std::uint32_t>(count);
    const std::uint64_t gap = out.PendingGap;
    if (out.Held.capacity() == 0) {
        const bool written = Os.AppendAfterGap(out.File, gap, piece, size);
        out.PendingGap = 0;
        if (!written) {
            ReportOutputFailure(out);
            return;
        }
    } else {
        // Zeros go between the held bytes and this piece only as a gap of the next write.
        if (out.PendingGap > 0 && !out.Held.empty() && !WriteHeld(out)) return;
        if (out.Held.empty()) out.HeldGap = out.PendingGap;
        out.PendingGap = 0;
        if (out.Held.size() + size > out.Held.capacity() && !WriteHeld(out)) return;
        out.Held.insert(out.Held.end(), piece, piece + size);
    }
    if (Observer) {
        const std::uint64_t source =
            CurrentSector.load(Relaxed) * SectorSize + static_cast<std::uint64_t>(from);
        Observer->PieceWritten(gap, source, piece, size);
    }
}

bool CSectorScanner::WriteHeld(OutputState& out)
{
    if (out.Held.empty()) return true;
    const bool written = Os.AppendAfterGap(out.File, out.HeldGap, out.Held.data(),
                                           static_cast<std::uint32_t>(out.Held.size()));
    out.Held.clear();
    out.HeldGap = 0;
    if (!written) ReportOutputFailure(out);
    return written;
}

void CSectorScanner::CloseFile(OutputState& out)
{
    if (out.File == NoOutput || !WriteHeld(out)) return;
    const HOutput file = out.File;
    out.File = NoOutput;
    out.PendingGap = 0;
    const bool closed = Os.CloseOutputFile(file);
    if (Observer) Observer->FileClosed(closed);
    if (!closed) ReportOutputFailure(out);
}

// The file keeps what reached it; the first failure of a scan is shown, later ones are not.
void CSectorScanner::ReportOutputFailure(OutputState& out)
{
    if (!out.FailureReported) {
        out.FailureReported = true;
        ShowSystemError();
    }
    if (out.File != NoOutput) {
        Os.CloseOutputFile(out.File);
        out.File = NoOutput;
        out.PendingGap = 0;
        out.Held.clear();
        out.HeldGap = 0;
        if (Observer) Observer->FileClosed(false);
    }
}

void CSectorScanner::ShowSystemError()
{
    const std::wstring text = Os.LastErrorText();  // before anything else can replace the error
    Os.ShowMessage(text, SystemErrorCaption);
}

}  // namespace reclaima
