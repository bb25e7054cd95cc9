// The recovery engine: walks a range of sectors of a raw volume and carves the
// files it recognises into one folder per type under a save folder.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "BlockCache.h"
#include "MakerPages.h"
#include "Platform.h"
#include "ScanObserver.h"
#include "SectorFilter.h"
#include "Signatures.h"

namespace reclaima {

// Fast: the volume read in large blocks, sectors ruled out by a quick filter before the
// exact searches, output written in large pieces. Plain: one 512-byte read per sector, the
// exact searches on every sector and one write per piece; the reference the fast path is
// tested against, with the same results.
enum class ScanMethod { Fast, Plain };

struct ScanRequest {
    std::uint64_t FirstSector = 0;
    std::uint64_t EndSector = 0;  // exclusive
    std::wstring SaveFolder;      // ends with the platform's folder separator
};

class CSectorScanner {
public:
    explicit CSectorScanner(CPlatform& platform = DefaultPlatform());
    ~CSectorScanner();
    CSectorScanner(const CSectorScanner&) = delete;
    CSectorScanner& operator=(const CSectorScanner&) = delete;

    // Set-up and matching; the tests work on SectorBuffer from SearchFrom.
    void Init();
    void AddSignature(const std::wstring& extension, const Bytes& header, const Bytes& footer);
    std::int32_t FindPattern(std::int32_t from, const std::uint8_t* pattern,
                             std::int32_t length) const;
    bool IsBlankSector() const;
    std::int32_t FindHeader();
    std::int32_t FindFooter();

    // Volume access.
    std::int64_t GetVolumeLength(const std::wstring& partition);
    bool ReadSector();
    // Measures the open volume again: its length now if that has fallen below `measured`, the
    // length the scan's range was taken from; none otherwise or when it cannot be measured. A
    // source that shrank under a scan reads as zeros past its new end: the scan runs on to its
    // end sector but finds none of the files that lay there.
    std::optional<std::int64_t> ShrunkVolumeLength(std::int64_t measured) const;

    // Runs until the range is exhausted or StopRequested is seen.
    void Scan(ScanRequest request);

    std::vector<SignatureEntry> Signatures;
    // Fixed at nine from construction so that a zeroing Stop on another thread
    // always finds every counter.
    std::array<std::atomic<std::uint32_t>, TypeCount> TypeCounts{};
    HVolume VolumeHandle = NoVolume;
    std::int32_t ReadErrorSkip = 1;
    std::int32_t BlankSectorLimit = 1024;
    std::int32_t HeaderOffset = -1;
    std::int32_t FooterOffset = -1;
    std::int32_t SearchFrom = 0;
    std::int32_t FooterLength = 0;
    std::int32_t CurrentType = -1;
    // Shared with the thread that steers and displays the scan; only polled
    // and shown, so relaxed ordering is enough.
    std::atomic<std::uint32_t> StopRequested{0};
    std::atomic<std::uint32_t> PauseRequested{0};
    std::array<std::uint8_t, SectorSize> SectorBuffer{};
    std::atomic<std::uint64_t> CurrentSector{0};
    std::uint64_t EndSector = 0;
    // Told of every file the scan begins, writes and closes; none by default. Set it only
    // while no scan runs.
    CScanObserver* Observer = nullptr;

    ScanMethod Method = ScanMethod::Fast;
    // The filter of the fast path; a level this processor lacks falls back to the next below.
    MatchLevel Level = BestMatchLevel();

    static constexpr const wchar_t* VolumeNotOpenText = L"磁盘未打开！";
    static constexpr const wchar_t* ProgramCaption = L"Reclaima";
    static constexpr const wchar_t* SystemErrorCaption = L"提示";

private:
    // The file being carved in one run of Scan; closed with what it holds however
    // the run ends.
    struct OutputState {
        explicit OutputState(CPlatform& platform) : Os(platform) {}
        ~OutputState();
        OutputState(const OutputState&) = delete;
        OutputState& operator=(const OutputState&) = delete;

        CPlatform& Os;
        HOutput File = NoOutput;
        std::uint64_t PendingGap = 0;  // zeros (blank or unreadable sectors) before the next piece
        // Pieces not yet written, and the zeros before them; empty capacity writes each piece
        // at once.
        std::vector<std::uint8_t> Held;
        std::uint64_t HeldGap = 0;
        bool FailureReported = false;  // one box per scan for output failures
        // Files begun within one tick of the clock share a stem: go on from the last copy.
        std::wstring LastStem;
        unsigned LastCopy = 0;
    };

    // The bytes of sector CurrentSector, or null when it cannot be read (the user has been
    // told); in the plain path they are read into SectorBuffer.
    const std::uint8_t* SectorData();
    bool ReadPlainSector();
    void PrepareFilters();
    // Whether the exact searches must look at this sector; when not, their answers are known.
    bool NeedsSearch(const std::uint8_t* sector) const;
    std::int32_t FooterLengthOf(std::int32_t type) const;

    void BeginFile(OutputState& out, const std::wstring& saveFolder);
    // Bytes [from, from + count) of the sector at `sector`.
    void WritePiece(OutputState& out, const std::uint8_t* sector, std::int32_t from, std::int32_t count);
    bool WriteHeld(OutputState& out);
    void CloseFile(OutputState& out);
    void ReportOutputFailure(OutputState& out);
    void ShowSystemError();

    CPlatform& Os;
    CBlockCache Cache;
    // Filters[t + 1]: every header and the footer of type t (none for t = -1).
    std::vector<CSectorFilter> Filters;
    // Every header and every footer: what the block cache classifies sectors with.
    std::optional<CSectorFilter> AnyPattern;
    MatchLevel ScanLevel = MatchLevel::Exact;
};

}  // namespace reclaima
