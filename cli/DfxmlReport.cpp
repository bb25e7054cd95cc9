#include "DfxmlReport.h"

#include <cerrno>
#include <utility>

#include "Signatures.h"
#include "SectorScanner.h"
#include "Utf8.h"
#include "Version.h"

namespace reclaima::cli {

namespace {

// The DFXML namespace, and ours for what DFXML has no element for.
constexpr const char* Namespaces =
    "xmlns=\"http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML\" "
    "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
    "xmlns:reclaima=\"https://vantobel.example/reclaima/dfxml\"";

bool IsXmlCharacter(wchar_t c)
{
    return c == L'\t' || c == L'\n' || c == L'\r' || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

std::string Element(const char* name, const std::string& text)
{
    return std::string("<") + name + ">" + XmlEscaped(text) + "</" + name + ">";
}

std::string Element(const char* name, std::uint64_t value)
{
    return Element(name, std::to_string(value));
}

// One line of the report, indented two spaces per level of nesting.
std::string Line(int depth, const std::string& text)
{
    return std::string(static_cast<std::size_t>(2 * depth), ' ') + text + "\n";
}

std::string Attribute(const char* name, std::uint64_t value)
{
    return std::string(" ") + name + "=\"" + std::to_string(value) + "\"";
}

bool NeedsQuotes(const std::string& argument)
{
    if (argument.empty()) return true;
    for (const char c : argument) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || std::string_view("_-./=:@%+,").find(c) !=
                                                         std::string_view::npos;
        if (!plain) return true;
    }
    return false;
}

}  // namespace

std::string XmlEscaped(std::string_view utf8)
{
    std::string out;
    for (const wchar_t c : FromUtf8(utf8)) {
        switch (c) {
        case L'&': out += "&amp;"; break;
        case L'<': out += "&lt;"; break;
        case L'>': out += "&gt;"; break;
        case L'"': out += "&quot;"; break;
        case L'\'': out += "&apos;"; break;
        case L'\r': out += "&#13;"; break;  // a parser would read a bare one as a line feed
        default: {
            const wchar_t kept = IsXmlCharacter(c) ? c : L'\uFFFD';
            out += ToUtf8(std::wstring_view(&kept, 1));
        }
        }
    }
    return out;
}

std::string UtcTimeText(std::time_t time)
{
    std::tm parts{};
    char text[32] = "";
    if (::gmtime_r(&time, &parts)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string CommandLineText(int argc, const char* const* argv)
{
    std::string line;
    for (int i = 0; i < argc; ++i) {
        std::string argument = argv[i];
        if (NeedsQuotes(argument)) {
            std::string quoted = "'";
            for (const char c : argument) quoted += c == '\'' ? "'\\''" : std::string(1, c);
            argument = quoted + "'";
        }
        line += (i > 0 ? " " : "") + argument;
    }
    return line;
}

CDfxmlReport::CDfxmlReport(std::FILE* file, std::wstring saveFolder)
    : File(file), SaveFolder(std::move(saveFolder))
{
}

void CDfxmlReport::Begin(const ReportHead& head)
{
    Write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" +
          Line(0, "<dfxml " + std::string(Namespaces) + " version=\"1.0\">") +
          Line(1, "<metadata>") +
          Line(2, "<dc:type>Carve Report</dc:type>") +
          Line(1, "</metadata>") +
          Line(1, "<creator version=\"1.0\">") +
          Line(2, Element("program", "reclaima-cli")) +
          Line(2, Element("version", RECLAIMA_VERSION_TEXT)) +
          Line(2, "<execution_environment>") +
          Line(3, Element("command_line", head.CommandLine)) +
          Line(3, Element("start_time", head.StartTime)) +
          Line(2, "</execution_environment>") +
          Line(1, "</creator>") +
          Line(1, "<source>") +
          Line(2, Element("image_filename", head.Source)) +
          Line(2, Element("image_size", head.SourceBytes)) +
          Line(2, Element("sectorsize", static_cast<std::uint64_t>(SectorSize))) +
          Line(1, "</source>"));
}

void CDfxmlReport::Finish(const std::string& endTime, bool interrupted)
{
    Write(Line(1, Element("reclaima:end_time", endTime)) +
          Line(1, Element("reclaima:outcome", interrupted ? "stopped" : "completed")) +
          Line(0, "</dfxml>"));
}

void CDfxmlReport::FileBegun(const std::wstring& path, std::int32_t type, std::uint64_t sector,
                             std::uint64_t sourceOffset)
{
    const bool inSaveFolder = path.compare(0, SaveFolder.size(), SaveFolder) == 0;
    Current = OpenFile();
    Current.Name = ToUtf8(inSaveFolder ? path.substr(SaveFolder.size()) : path);
    Current.Type = type;
    Current.Sector = sector;
    Current.SourceOffset = sourceOffset;
}

void CDfxmlReport::PieceWritten(std::uint64_t gap, std::uint64_t sourceOffset,
                                const std::uint8_t* data, std::uint32_t size)
{
    if (gap > 0) {
        AddRun({Current.Size, 0, gap, true});
        Current.Hash.AddZeros(gap);
    }
    AddRun({Current.Size, sourceOffset, size, false});
    Current.Hash.Add(data, size);
}

// A piece that follows on from the last one, in the file and on the source, lengthens it.
void CDfxmlReport::AddRun(const ByteRun& run)
{
    Current.Size += run.Length;
    if (!Current.Runs.empty()) {
        ByteRun& last = Current.Runs.back();
        if (!last.Zeros && !run.Zeros && last.SourceOffset + last.Length == run.SourceOffset) {
            last.Length += run.Length;
            return;
        }
    }
    Current.Runs.push_back(run);
}

void CDfxmlReport::FileClosed(bool intact)
{
    std::string text = Line(1, "<fileobject>") +
                       Line(2, Element("filename", Current.Name)) +
                       Line(2, Element("filesize", Current.Size)) +
                       Line(2, Element("reclaima:type", std::string(Catalogue[Current.Type].Label))) +
                       Line(2, Element("reclaima:start_sector", Current.Sector)) +
                       Line(2, Element("reclaima:start_offset", Current.SourceOffset));
    // Size, runs and hash are of what was handed to the file, which may hold less.
    if (!intact) text += Line(2, "<reclaima:write_failed/>");
    text += Line(2, "<byte_runs>");
    for (const ByteRun& run : Current.Runs) {
        const std::string source =
            run.Zeros ? " fill=\"0\"" : Attribute("img_offset", run.SourceOffset);
        text += Line(3, "<byte_run" + Attribute("file_offset", run.FileOffset) + source +
                            Attribute("len", run.Length) + "/>");
    }
    text += Line(2, "</byte_runs>") +
            Line(2, "<hashdigest type=\"sha1\">" + Current.Hash.HexDigest() + "</hashdigest>") +
            Line(1, "</fileobject>");
    Write(text);
}

void CDfxmlReport::Write(const std::string& text)
{
    const bool written =
        std::fwrite(text.data(), 1, text.size(), File) == text.size() && std::fflush(File) == 0;
    if (!written && WriteError == 0) WriteError = errno ? errno : EIO;
}

}  // namespace reclaima::cli
