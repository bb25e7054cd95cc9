#include "CarvingModel.h"

#include <algorithm>
#include <tuple>
#include <utility>

namespace reclaima::model {
namespace {

constexpr std::uint64_t SectorBytes = 512;
constexpr int None = -1;

using Pattern = std::vector<std::uint8_t>;

struct TypePatterns {
    Pattern Header;
    Pattern Footer;  // empty: the type has none
};

// The nine types written out again, in their order of precedence, so that the model
// does not take the engine's word for them.
const std::array<TypePatterns, TypeCount>& Types()
{
    static const std::array<TypePatterns, TypeCount> types = {{
        {{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46}, {0xFF, 0xD9}},
        {{0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}, {0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82}},
        {{'G', 'I', 'F', '8', '9', 'a'}, {}},
        {{'{', '\\', 'r', 't', 'f'}, {}},
        {{'R', 'a', 'r', '!'}, {}},
        {{0x50, 0x4B, 0x03, 0x04, 0x14, 0x00, 0x00, 0x00}, {}},
        {{0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C}, {}},
        {{'.', 'R', 'M', 'F'}, {}},
        {{0x46, 0x4C, 0x56, 0x01, 0x05, 0x00, 0x00, 0x00}, {}},
    }};
    return types;
}

class SectorView {
public:
    SectorView(const Disk& disk, std::uint64_t sector) : Disk_(disk), Sector_(sector) {}

    bool Unreadable() const { return Disk_.Unreadable.count(Sector_) > 0; }
    bool Blank() const { return std::all_of(Begin(), Begin() + SectorBytes, [](std::uint8_t b) { return b == 0; }); }

    // First offset at or after `from` at which the pattern lies wholly in the sector.
    int Find(const Pattern& pattern, int from) const
    {
        if (pattern.empty()) return None;
        const std::uint8_t* bytes = Begin();
        for (int p = from; p + static_cast<int>(pattern.size()) <= static_cast<int>(SectorBytes); ++p)
            if (bytes[p] == pattern[0] && std::equal(pattern.begin(), pattern.end(), bytes + p)) return p;
        return None;
    }

    // The header that begins a file here: the first type in order found anywhere.
    std::pair<int, int> Header() const
    {
        for (int type = 0; type < TypeCount; ++type) {
            const int at = Find(Types()[static_cast<std::size_t>(type)].Header, 0);
            if (at != None) return {type, at};
        }
        return {None, None};
    }

private:
    const std::uint8_t* Begin() const { return Disk_.Bytes.data() + Sector_ * SectorBytes; }

    const Disk& Disk_;
    std::uint64_t Sector_;
};

// What the scan learns of one sector: read or not, blank or not, and the header it holds.
struct SectorFacts {
    bool Unreadable = false;
    bool Blank = false;
    int HeaderType = None;
    int HeaderAt = None;
    bool Data() const { return !Unreadable && !Blank; }
};

std::vector<SectorFacts> FactsOf(const Disk& disk, std::uint64_t first, std::uint64_t end)
{
    std::vector<SectorFacts> facts;
    for (std::uint64_t s = first; s < end; ++s) {
        const SectorView view(disk, s);
        SectorFacts f;
        f.Unreadable = view.Unreadable();
        f.Blank = view.Blank();
        if (f.Data()) std::tie(f.HeaderType, f.HeaderAt) = view.Header();
        facts.push_back(f);
    }
    return facts;
}

struct Piece {
    std::uint64_t From;  // disk byte offsets
    std::uint64_t To;
    std::uint64_t Sector;
};

// Where a file begun at `start` stops (exclusive disk offset) and the sector in which it
// is closed; the end of the range for a file still open when the scan ends.
std::pair<std::uint64_t, std::uint64_t> FileEnd(const Disk& disk, const std::vector<SectorFacts>& facts,
                                                const Conditions& c, std::uint64_t start, int type)
{
    const Pattern& footer = Types()[static_cast<std::size_t>(type)].Footer;
    const std::uint64_t first = start / SectorBytes;
    const std::uint64_t end = c.First + facts.size();
    int blanks = 0;
    for (std::uint64_t s = first; s < end; ++s) {
        const SectorFacts& f = facts[s - c.First];
        if (s != first) {
            if (f.Unreadable) continue;
            if (f.Blank) {
                if (++blanks >= c.BlankLimit) return {s * SectorBytes, s};
                continue;
            }
            blanks = 0;
            if (f.HeaderAt != None) return {s * SectorBytes + static_cast<std::uint64_t>(f.HeaderAt), s};
        }
        const int from = s == first ? static_cast<int>(start % SectorBytes) : 0;
        const int at = SectorView(disk, s).Find(footer, from);
        if (at != None) return {s * SectorBytes + static_cast<std::uint64_t>(at) + footer.size(), s};
    }
    return {end * SectorBytes, end};
}

// What the file receives: its part of every readable, non-blank sector it spans.
std::vector<Piece> PiecesOf(const std::vector<SectorFacts>& facts, const Conditions& c, std::uint64_t start,
                            std::uint64_t stop)
{
    std::vector<Piece> pieces;
    for (std::uint64_t s = start / SectorBytes; s * SectorBytes < stop; ++s) {
        if (!facts[s - c.First].Data()) continue;
        const std::uint64_t from = std::max(start, s * SectorBytes);
        const std::uint64_t to = std::min(stop, (s + 1) * SectorBytes);
        if (from < to) pieces.push_back({from, to, s});
    }
    return pieces;
}

}  // namespace

Outcome Carve(const Disk& disk, const Conditions& c)
{
    Outcome outcome;
    const std::uint64_t end = std::max(c.First, c.End);
    // (sector, order within the sector's events, message); read failures come first.
    std::vector<std::tuple<std::uint64_t, int, Message>> events;
    int order = 0;
    std::uint64_t used = 0;
    unsigned begun = 0;

    const std::vector<SectorFacts> facts = FactsOf(disk, c.First, end);
    for (std::uint64_t s = c.First; s < end; ++s) {
        const SectorFacts& f = facts[s - c.First];
        if (f.Unreadable) events.emplace_back(s, -1, Message::Unreadable);
        const int type = f.HeaderType;
        if (type == None) continue;
        ++outcome.Counts[static_cast<std::size_t>(type)];
        ++begun;
        if (c.FailingBegins.count(begun) || c.TypesWithoutFolder.count(type)) {
            events.emplace_back(s, order++, Message::CreateFailed);
            continue;
        }

        const std::uint64_t start = s * SectorBytes + static_cast<std::uint64_t>(f.HeaderAt);
        const auto [stop, closedIn] = FileEnd(disk, facts, c, start, type);
        File file{type, {}};
        std::uint64_t written = start;
        bool failed = false;
        for (const Piece& piece : PiecesOf(facts, c, start, stop)) {
            const std::uint64_t gap = piece.From - written;
            const std::uint64_t size = piece.To - piece.From;
            const std::uint64_t room = c.FreeBytes - used;
            const bool fits = gap + size <= room;
            if (fits || gap < room) {  // a write that does not fit puts in what fits
                const std::uint64_t taken = fits ? size : room - gap;
                const auto from = disk.Bytes.begin() + static_cast<std::ptrdiff_t>(piece.From);
                file.Bytes.insert(file.Bytes.end(), static_cast<std::size_t>(gap), 0);
                file.Bytes.insert(file.Bytes.end(), from, from + static_cast<std::ptrdiff_t>(taken));
                used += gap + taken;
            }
            if (!fits) {
                events.emplace_back(piece.Sector, order++, Message::WriteFailed);
                failed = true;
                break;
            }
            written = piece.To;
        }
        if (!failed && c.ClosesFail) events.emplace_back(closedIn, order++, Message::CloseFailed);
        outcome.Files.push_back(std::move(file));
    }

    std::sort(events.begin(), events.end());  // no two events share a sector and an order
    bool outputFailureShown = false;  // one box per scan for every kind of output failure
    for (const auto& [sector, rank, message] : events) {
        if (message != Message::Unreadable) {
            if (outputFailureShown) continue;
            outputFailureShown = true;
        }
        outcome.Messages.push_back(message);
    }
    return outcome;
}

}  // namespace reclaima::model
