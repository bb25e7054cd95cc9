// The recovery report's parts: SHA-1, XML text, and the file objects the report
// writes from the scan's events.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "DfxmlReport.h"
#include "Sha1.h"

namespace reclaima::cli {
namespace {

std::string Sha1Of(const std::string& text, std::size_t chunk)
{
    CSha1 hash;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    for (std::size_t at = 0; at < text.size(); at += chunk)
        hash.Add(bytes + at, std::min(chunk, text.size() - at));
    return hash.HexDigest();
}

TEST(Sha1, KnownVectorsWhateverTheChunks)
{
    const struct {
        std::string Text;
        const char* Digest;
    } cases[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",  // 56 bytes: padding spills
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
         "lmnopqrsmnopqrstnopqrstu",
         "a49b2446a02c645bf419f995b67091253a04a259"},
        {std::string(55, 'a'), "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
        {std::string(64, 'a'), "0098ba824b5c16427bd7a1122a5a442a25ec644d"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    };
    for (const auto& c : cases) {
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{63}, std::size_t{64},
                                        std::size_t{100}, c.Text.size() + 1}) {
            EXPECT_EQ(Sha1Of(c.Text, chunk), c.Digest) << c.Text.size() << " bytes by " << chunk;
        }
    }
}

TEST(Sha1, ZerosAreZeroBytesAndADigestStartsAfresh)
{
    CSha1 hash;
    const std::uint8_t one = 1;
    hash.Add(&one, 1);
    hash.AddZeros(10000);
    hash.Add(&one, 1);
    EXPECT_EQ(hash.HexDigest(), Sha1Of("\1" + std::string(10000, '\0') + "\1", 512));
    EXPECT_EQ(hash.HexDigest(), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(XmlEscaped, KeepsTextAndEscapesMarkup)
{
    const struct {
        std::string Text;
        std::string Escaped;
    } cases[] = {
        {"jpg/95742 (2).jpg", "jpg/95742 (2).jpg"},
        {"a&b<c>d\"e'f", "a&amp;b&lt;c&gt;d&quot;e&apos;f"},
        {"&amp;", "&amp;amp;"},
        {"/mnt/照片/恢复", "/mnt/照片/恢复"},
        {"tab\tline\nreturn\r", "tab\tline\nreturn&#13;"},
        {std::string("nul\0bell\a esc\x1b", 14), "nul\uFFFDbell\uFFFD esc\uFFFD"},
        {"bad \xff utf-8", "bad \uFFFD utf-8"},
        {"\xef\xbf\xbe", "\uFFFD"},  // U+FFFE is no XML character
        {"emoji \xf0\x9f\x93\xb7", "emoji \xf0\x9f\x93\xb7"},
    };
    for (const auto& c : cases) EXPECT_EQ(XmlEscaped(c.Text), c.Escaped) << c.Text;
}

TEST(UtcTimeText, IsIso8601InUtc)
{
    EXPECT_EQ(UtcTimeText(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(UtcTimeText(1797001292), "2026-12-11T15:01:32Z");
}

TEST(CommandLineText, QuotesOnlyWhatAShellWouldSplit)
{
    const char* const argv[] = {"reclaima-cli", "--report=r.xml", "/dev/sdb1", "my photos",
                                "it's", ""};
    EXPECT_EQ(CommandLineText(6, argv),
              "reclaima-cli --report=r.xml /dev/sdb1 'my photos' 'it'\\''s' ''");
}

// The report written into memory, fed with events as the engine sends them.
class ReportTest : public ::testing::Test {
protected:
    ReportTest() : File(std::tmpfile()), Report(File, L"/out/") {}
    ~ReportTest() override { std::fclose(File); }

    std::string Text()
    {
        std::string text;
        std::rewind(File);
        for (int c; (c = std::fgetc(File)) != EOF;) text += static_cast<char>(c);
        return text;
    }

    void Piece(std::uint64_t gap, std::uint64_t sourceOffset, const std::string& bytes)
    {
        Report.PieceWritten(gap, sourceOffset, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                            static_cast<std::uint32_t>(bytes.size()));
    }

    std::FILE* File;
    CDfxmlReport Report;
};

TEST_F(ReportTest, AFileObjectShowsItsRunsGapsAndHash)
{
    Report.FileBegun(L"/out/jpg/95742.jpg", 0, 3, 3 * 512 + 100);
    Piece(0, 1636, std::string(412, 'a'));
    Piece(0, 2048, std::string(512, 'b'));    // follows on: the same run
    Piece(1024, 3584, std::string(512, 'c')); // after two blank sectors
    Piece(0, 4608, std::string(20, 'd'));     // not where the last one ended: a run of its own
    Report.FileClosed(true);

    const std::string contents = std::string(412, 'a') + std::string(512, 'b') +
                                 std::string(1024, '\0') + std::string(512, 'c') +
                                 std::string(20, 'd');
    EXPECT_EQ(Text(), "  <fileobject>\n"
                      "    <filename>jpg/95742.jpg</filename>\n"
                      "    <filesize>2480</filesize>\n"
                      "    <reclaima:type>JPG</reclaima:type>\n"
                      "    <reclaima:start_sector>3</reclaima:start_sector>\n"
                      "    <reclaima:start_offset>1636</reclaima:start_offset>\n"
                      "    <byte_runs>\n"
                      "      <byte_run file_offset=\"0\" img_offset=\"1636\" len=\"924\"/>\n"
                      "      <byte_run file_offset=\"924\" fill=\"0\" len=\"1024\"/>\n"
                      "      <byte_run file_offset=\"1948\" img_offset=\"3584\" len=\"512\"/>\n"
                      "      <byte_run file_offset=\"2460\" img_offset=\"4608\" len=\"20\"/>\n"
                      "    </byte_runs>\n"
                      "    <hashdigest type=\"sha1\">" + Sha1Of(contents, 4096) + "</hashdigest>\n"
                      "  </fileobject>\n");
    EXPECT_EQ(Report.Error(), 0);
}

TEST_F(ReportTest, EachFileStartsAfreshAndAFailedOneIsMarked)
{
    Report.FileBegun(L"/out/gif/1.gif", 2, 0, 0);
    Piece(0, 0, "GIF89a");
    Report.FileClosed(true);
    Report.FileBegun(L"/elsewhere/rar/1 (2).rar", 4, 9, 9 * 512);
    Piece(0, 9 * 512, "Rar!");
    Report.FileClosed(false);

    const std::string text = Text();
    const std::size_t second = text.find("  <fileobject>", 1);
    ASSERT_NE(second, std::string::npos);
    const std::string first = text.substr(0, second);
    const std::string last = text.substr(second);
    EXPECT_NE(first.find("<filesize>6</filesize>"), std::string::npos) << first;
    EXPECT_NE(first.find(Sha1Of("GIF89a", 64)), std::string::npos) << first;
    EXPECT_EQ(first.find("write_failed"), std::string::npos) << first;
    // Outside the save folder the whole path stands.
    EXPECT_NE(last.find("<filename>/elsewhere/rar/1 (2).rar</filename>"), std::string::npos) << last;
    EXPECT_NE(last.find("<filesize>4</filesize>"), std::string::npos) << last;
    EXPECT_NE(last.find("<byte_run file_offset=\"0\" img_offset=\"4608\" len=\"4\"/>"),
              std::string::npos) << last;
    EXPECT_NE(last.find("<reclaima:write_failed/>"), std::string::npos) << last;
    EXPECT_NE(last.find(Sha1Of("Rar!", 64)), std::string::npos) << last;
}

TEST_F(ReportTest, TheHeadAndTailFrameTheDocument)
{
    Report.Begin({"reclaima-cli --report r.xml 'a&b.img' out", "2026-12-11T15:01:32Z", "a&b.img",
                  1536});
    Report.Finish("2026-12-11T15:02:00Z", true);
    const std::string text = Text();
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<dfxml ", 0), 0u) << text;
    for (const char* part : {"<command_line>reclaima-cli --report r.xml &apos;a&amp;b.img&apos; out"
                             "</command_line>",
                             "<start_time>2026-12-11T15:01:32Z</start_time>",
                             "<image_filename>a&amp;b.img</image_filename>",
                             "<image_size>1536</image_size>",
                             "<reclaima:end_time>2026-12-11T15:02:00Z</reclaima:end_time>",
                             "<reclaima:outcome>stopped</reclaima:outcome>"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
    EXPECT_EQ(text.substr(text.size() - 9), "</dfxml>\n");
}

TEST(Report, AFailedWriteIsKept)
{
    std::FILE* full = std::fopen("/dev/full", "w");
    if (!full) GTEST_SKIP() << "no /dev/full";
    CDfxmlReport report(full, L"/out/");
    report.Begin({"reclaima-cli", "", "x.img", 0});
    EXPECT_EQ(report.Error(), ENOSPC);
    std::fclose(full);
}

}  // namespace
}  // namespace reclaima::cli
