// SHA-1 of a stream of bytes, for the report's hash of each recovered file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace reclaima::cli {

class CSha1 {
public:
    void Add(const std::uint8_t* data, std::size_t size);
    void AddZeros(std::uint64_t count);
    // The digest in lower-case hex; the object then starts again from nothing.
    std::string HexDigest();

private:
    void Compress(const std::uint8_t* block);

    std::array<std::uint32_t, 5> State = InitialState;
    std::array<std::uint8_t, 64> Block{};
    std::size_t Filled = 0;      // bytes waiting in Block
    std::uint64_t Length = 0;    // bytes added in all

    static constexpr std::array<std::uint32_t, 5> InitialState = {
        0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
};

}  // namespace reclaima::cli
