#include "Sha1.h"

#include <algorithm>

namespace reclaima::cli {

namespace {

constexpr std::uint32_t RotateLeft(std::uint32_t value, int bits)
{
    return (value << bits) | (value >> (32 - bits));
}

}  // namespace

void CSha1::Compress(const std::uint8_t* block)
{
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i)
        w[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
               std::uint32_t{block[4 * i + 2]} << 8 | std::uint32_t{block[4 * i + 3]};
    for (int i = 16; i < 80; ++i) w[i] = RotateLeft(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);

    std::uint32_t a = State[0], b = State[1], c = State[2], d = State[3], e = State[4];
    for (int i = 0; i < 80; ++i) {
        std::uint32_t f = 0;
        std::uint32_t k = 0;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        const std::uint32_t next = RotateLeft(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = RotateLeft(b, 30);
        b = a;
        a = next;
    }
    State[0] += a;
    State[1] += b;
    State[2] += c;
    State[3] += d;
    State[4] += e;
}

void CSha1::Add(const std::uint8_t* data, std::size_t size)
{
    Length += size;
    while (size > 0) {
        if (Filled == 0 && size >= Block.size()) {
            Compress(data);
            data += Block.size();
            size -= Block.size();
            continue;
        }
        const std::size_t take = std::min(size, Block.size() - Filled);
        std::copy(data, data + take, Block.begin() + static_cast<std::ptrdiff_t>(Filled));
        Filled += take;
        data += take;
        size -= take;
        if (Filled == Block.size()) {
            Compress(Block.data());
            Filled = 0;
        }
    }
}

void CSha1::AddZeros(std::uint64_t count)
{
    static const std::array<std::uint8_t, 4096> zeros{};
    while (count > 0) {
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(count, zeros.size()));
        Add(zeros.data(), take);
        count -= take;
    }
}

std::string CSha1::HexDigest()
{
    const std::uint64_t bits = Length * 8;
    const std::uint8_t mark = 0x80;
    Add(&mark, 1);
    AddZeros((Block.size() * 2 - 8 - Filled) % Block.size());  // up to the length's place
    std::uint8_t length[8];
    for (int i = 0; i < 8; ++i) length[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    Add(length, sizeof length);

    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint32_t word : State)
        for (int shift = 28; shift >= 0; shift -= 4) hex += digits[(word >> shift) & 0xF];
    *this = CSha1();
    return hex;
}

}  // namespace reclaima::cli
