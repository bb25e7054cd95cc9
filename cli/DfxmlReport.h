// The record of a scan as a DFXML document: the source, then one file object per
// recovered file with the byte runs it came from on the source and its SHA-1. Each
// file object is flushed as soon as its file is closed, so that a scan cut short
// leaves every finished file on record.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "ScanObserver.h"
#include "Sha1.h"

namespace reclaima::cli {

// Text fit for XML content and attribute values. A character XML 1.0 cannot hold at
// all (most control characters) becomes U+FFFD, as does invalid UTF-8.
std::string XmlEscaped(std::string_view utf8);

// "2026-12-11T15:01:32Z".
std::string UtcTimeText(std::time_t time);

// The arguments as a shell would take them back: quoted where they need it.
std::string CommandLineText(int argc, const char* const* argv);

struct ReportHead {
    std::string CommandLine;
    std::string StartTime;
    std::string Source;
    std::uint64_t SourceBytes = 0;
};

class CDfxmlReport : public CScanObserver {
public:
    // Writes to `file`, which it does not close; recovered files are named relative
    // to `saveFolder`, the folder the scan saves into.
    CDfxmlReport(std::FILE* file, std::wstring saveFolder);

    void Begin(const ReportHead& head);
    void Finish(const std::string& endTime, bool interrupted);
    // The errno of the first write to the report that failed; 0 while none has.
    int Error() const { return WriteError; }

    void FileBegun(const std::wstring& path, std::int32_t type, std::uint64_t sector,
                   std::uint64_t sourceOffset) override;
    void PieceWritten(std::uint64_t gap, std::uint64_t sourceOffset, const std::uint8_t* data,
                      std::uint32_t size) override;
    void FileClosed(bool intact) override;

private:
    // A stretch of the recovered file: bytes from the source, or zeros for blank
    // sectors held back (Zeros true, SourceOffset unused).
    struct ByteRun {
        std::uint64_t FileOffset = 0;
        std::uint64_t SourceOffset = 0;
        std::uint64_t Length = 0;
        bool Zeros = false;
    };
    struct OpenFile {
        std::string Name;
        std::int32_t Type = 0;
        std::uint64_t Sector = 0;
        std::uint64_t SourceOffset = 0;
        std::uint64_t Size = 0;
        std::vector<ByteRun> Runs;
        CSha1 Hash;
    };

    void AddRun(const ByteRun& run);
    void Write(const std::string& text);

    std::FILE* File;
    const std::wstring SaveFolder;
    OpenFile Current;
    int WriteError = 0;
};

}  // namespace reclaima::cli
