// Conversion between the engine's wide text and UTF-8 at the POSIX system calls.
#pragma once

#include <string>
#include <string_view>

namespace reclaima {

std::string ToUtf8(std::wstring_view text);
// Invalid sequences become U+FFFD.
std::wstring FromUtf8(std::string_view text);

}  // namespace reclaima
