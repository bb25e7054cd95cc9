// A reference model of carving, written apart from the engine so that the two can be
// checked against each other: it looks at the whole disk at once and works out each
// file from where its header lies, with no scan loop and no engine code.
#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <vector>

namespace reclaima::model {

constexpr int TypeCount = 9;

struct Disk {
    std::vector<std::uint8_t> Bytes;    // whole sectors
    std::set<std::uint64_t> Unreadable; // sectors whose read fails
};

struct Conditions {
    std::uint64_t First = 0;  // the sectors carved: [First, End)
    std::uint64_t End = 0;
    int BlankLimit = 1024;
    std::set<int> TypesWithoutFolder;     // their type folder cannot be made
    std::set<unsigned> FailingBegins;     // files, numbered from 1 in the order begun, whose creation fails
    // Room for output, gaps included; the write that does not fit puts in what fits, then fails.
    std::uint64_t FreeBytes = UINT64_MAX;
    bool ClosesFail = false;
};

enum class Message { Unreadable, CreateFailed, WriteFailed, CloseFailed };

struct File {
    int Type = 0;
    std::vector<std::uint8_t> Bytes;
};

struct Outcome {
    std::vector<File> Files;  // the files created, in the order begun
    std::array<std::uint32_t, TypeCount> Counts{};
    std::vector<Message> Messages;
};

Outcome Carve(const Disk& disk, const Conditions& conditions);

}  // namespace reclaima::model
