// The POSIX platform as reclaima-cli uses it: it tallies what the scan writes and
// keeps the scan's messages from landing in the middle of the progress line.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/PosixPlatform.h"

namespace reclaima::cli {

// The one line redrawn on stderr while the scan runs. The scan thread writes its
// messages through Above, so a message never shares a line with the progress.
class CStatusLine {
public:
    explicit CStatusLine(bool enabled) : Enabled(enabled) {}
    bool IsEnabled() const { return Enabled; }
    void Draw(const std::string& text);
    void Clear();
    void Above(const std::function<void()>& write);

private:
    void ClearLocked();

    std::mutex Lock;
    const bool Enabled;
    bool Shown = false;
};

class CCliPlatform : public CPosixPlatform {
public:
    explicit CCliPlatform(CStatusLine& status) : Status(status) {}

    CreatedFile CreateOutputFile(const std::wstring& path) override;
    bool AppendAfterGap(HOutput file, std::uint64_t gap, const void* data,
                        std::uint32_t size) override;
    void ShowMessage(const std::wstring& text, const std::wstring& caption) override;

    // Bytes that reached recovered files, gaps included.
    std::uint64_t BytesWritten() const { return Written.load(std::memory_order_relaxed); }
    // Filled by the scan thread: read it only once that thread has been joined.
    const std::vector<std::string>& CreatedFiles() const { return Created; }

private:
    CStatusLine& Status;
    std::atomic<std::uint64_t> Written{0};
    std::vector<std::string> Created;
};

}  // namespace reclaima::cli
