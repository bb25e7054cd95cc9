// What a scan does with the files it carves, for a front end that keeps a record of
// them. Called on the scanning thread, one file at a time, in the order things happen.
#pragma once

#include <cstdint>
#include <string>

namespace reclaima {

class CScanObserver {
public:
    virtual ~CScanObserver() = default;

    // A new output file was created at `path` for catalogue entry `type`; its header lies
    // in `sector`, at byte `sourceOffset` of the source. Not called when creation failed.
    virtual void FileBegun(const std::wstring& path, std::int32_t type, std::uint64_t sector,
                           std::uint64_t sourceOffset) = 0;
    // `size` bytes from byte `sourceOffset` of the source were appended to the file after
    // `gap` zero bytes, which stand for the blank and unreadable sectors just before it on
    // the source. Called only for a piece that was written.
    virtual void PieceWritten(std::uint64_t gap, std::uint64_t sourceOffset,
                              const std::uint8_t* data, std::uint32_t size) = 0;
    // The file is closed. `intact` is false when a write or the close failed: the file may
    // then hold less than the pieces reported, or only part of the last one.
    virtual void FileClosed(bool intact) = 0;
};

}  // namespace reclaima
