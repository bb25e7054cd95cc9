// The recovery engine: walks a range of sectors of a raw volume and carves the
// files it recognises into one folder per type under a save folder.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "MakerPages.h"
#include "Platform.h"
#include "ScanObserver.h"
#include "Signatures.h"

namespace reclaima {

constexpr std::int32_t SectorSize = 512;

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
        bool FailureReported = false;  // one box per scan for output failures
        // Files begun within one tick of the clock share a stem: go on from the last copy.
        std::wstring LastStem;
        unsigned LastCopy = 0;
    };

    void BeginFile(OutputState& out, const std::wstring& saveFolder);
    void WritePiece(OutputState& out, std::int32_t from, std::int32_t count);
    void CloseFile(OutputState& out);
    void ReportOutputFailure(OutputState& out);
    void ShowSystemError();

    CPlatform& Os;
};

}  // namespace reclaima
