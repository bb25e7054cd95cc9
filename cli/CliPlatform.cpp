#include "CliPlatform.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "Utf8.h"

namespace reclaima::cli {

namespace {

// A line longer than the terminal wraps, and "\r" then redraws only its last part.
std::size_t TerminalColumns()
{
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

void WriteError(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stderr); }

}  // namespace

void CStatusLine::Draw(const std::string& text)
{
    if (!Enabled) return;
    const std::lock_guard<std::mutex> hold(Lock);
    // Three columns stay free for the "^C" the terminal echoes after the line: were
    // it to wrap, clearing this line would leave the progress on the screen.
    const std::size_t columns = TerminalColumns();
    WriteError("\r" + text.substr(0, columns > 3 ? columns - 3 : 0) + "\x1b[K");
    Shown = true;
}

void CStatusLine::Clear()
{
    const std::lock_guard<std::mutex> hold(Lock);
    ClearLocked();
}

void CStatusLine::Above(const std::function<void()>& write)
{
    const std::lock_guard<std::mutex> hold(Lock);
    ClearLocked();
    write();
}

void CStatusLine::ClearLocked()
{
    if (!Shown) return;
    WriteError("\r\x1b[K");
    Shown = false;
}

CreatedFile CCliPlatform::CreateOutputFile(const std::wstring& path)
{
    const CreatedFile created = CPosixPlatform::CreateOutputFile(path);
    if (created.Result == CreateResult::Created) Created.push_back(ToUtf8(path));
    return created;
}

bool CCliPlatform::AppendAfterGap(HOutput file, std::uint64_t gap, const void* data,
                                  std::uint32_t size)
{
    const bool written = CPosixPlatform::AppendAfterGap(file, gap, data, size);
    if (written) Written.fetch_add(gap + size, std::memory_order_relaxed);
    return written;
}

void CCliPlatform::ShowMessage(const std::wstring& text, const std::wstring& caption)
{
    Status.Above([&] { CPosixPlatform::ShowMessage(text, caption); });
}

}  // namespace reclaima::cli
