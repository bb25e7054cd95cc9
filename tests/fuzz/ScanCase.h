// One fuzz input read as a scan: a disk, its faults and the steering of the scan. The
// scan runs through the engine on the test platform and its result is compared, byte for
// byte, with the carving model's.
//
// Input (every byte string is a valid case; missing bytes read as 0):
//   0  flags: bit 0 every close fails, bit 1 a second scan into the same folder, bit 2 stop
//      at read R, bit 3 pause at read R, bit 4 (with bit 3) stop while paused instead of
//      continuing, bit 5 an EndSector of 0, bit 6 a device sector of 4096 bytes (a bad
//      512-byte sector spoils its whole device sector), bit 7 the plain path instead of the fast
//      (not with bit 6: the plain path reads 512 bytes at a time)
//   1  blank-run limit, 1 + b % 8
//   2  room for output: 0 unlimited, else b * 61 bytes
//   3  R = b + 1, counting the scanning thread's reads of the volume and creates of files
//      together from 1
//   4  type folders that cannot be made: bit t for type t
//   5  files whose creation fails: bit i for the (i + 1)-th begun
//   6  range: first sector b & 3, end (b >> 2) & 3 sectors short of the disk
//   7  clock: b % 5 times follow, 4 bytes each (hour, minute, second, millisecond / 4)
//   then groups of sectors until the input ends:
//      op     bits 0-1 fill: zeros, a byte value (arg), pseudo-random bytes (arg seeds),
//             a copy of the sector before; bits 2-3 count: 1, 2, 37 or 300 sectors;
//             bits 4-6 stamps that follow; bit 7 the group cannot be read
//      arg    for fills 1 and 2
//      stamp  3 bytes: what (b % 11: 0-8 the header of that type, 9 the JPG footer, 10 the
//             PNG footer), then an offset from the group's first byte (little-endian,
//             % 1024, so a stamp may run into the next sector)
// The disk holds at most MaxSectors sectors; stamps are laid after every fill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace reclaima::fuzz {

constexpr std::uint64_t MaxSectors = 4096;

// What the engine did differently from the model, one finding per line; empty when nothing.
std::string CheckScan(const std::uint8_t* data, std::size_t size);

}  // namespace reclaima::fuzz
