// What the engine knows of each file type: one row per type, in type-number order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace reclaima {

using namespace std::string_view_literals;

using Bytes = std::vector<std::uint8_t>;

struct SignatureEntry {
    std::wstring Extension;  // lower case, no dot; also the type's folder name
    Bytes Header;            // never empty
    Bytes Footer;            // empty when the type has no footer
};

struct CatalogueRow {
    std::string_view Label;  // as shown in the result line
    std::wstring_view Extension;
    std::string_view Header;
    std::string_view Footer;
};

constexpr std::size_t TypeCount = 9;

// The catalogue. Order matters: it is the type number, and the first type in
// this order whose header occurs in a sector wins that sector.
inline constexpr CatalogueRow Catalogue[TypeCount] = {
    // JFIF APP0 of length 16 only; the footer is the end-of-image marker.
    {"JPG", L"jpg", "\xFF\xD8\xFF\xE0\x00\x10\x4A\x46\x49\x46"sv, "\xFF\xD9"sv},
    // IEND and its CRC, without the chunk's zero length before it.
    {"PNG", L"png", "\x89\x50\x4E\x47\x0D\x0A\x1A\x0A"sv, "\x49\x45\x4E\x44\xAE\x42\x60\x82"sv},
    {"GIF", L"gif", "\x47\x49\x46\x38\x39\x61"sv, ""sv},  // GIF89a
    {"RTF", L"rtf", "\x7B\x5C\x72\x74\x66"sv, ""sv},      // {\rtf
    {"RAR", L"rar", "\x52\x61\x72\x21"sv, ""sv},          // Rar!
    // Local file header asking for version 20 with no flag set.
    {"ZIP", L"zip", "\x50\x4B\x03\x04\x14\x00\x00\x00"sv, ""sv},
    {"7Z", L"7z", "\x37\x7A\xBC\xAF\x27\x1C"sv, ""sv},
    {"RMVB", L"rmvb", "\x2E\x52\x4D\x46"sv, ""sv},  // .RMF
    // Version 1 with audio and video, then the first bytes of the header size.
    {"FLV", L"flv", "\x46\x4C\x56\x01\x05\x00\x00\x00"sv, ""sv},
};

}  // namespace reclaima
