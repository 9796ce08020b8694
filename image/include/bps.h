// BPS patches, the form in which people share an edited image: a patch turns
// one exact source into one exact target, and carries the CRC-32 of both so
// that a patcher applies it only to the image it was made from. Brevox only
// writes them; the page and the command line share this writer.
//
// A patch is "BPS1", three numbers (source size, target size, metadata size),
// the metadata, then actions up to the last 12 bytes, which hold the CRC-32
// of the source, of the target and of the patch before that last field, each
// little-endian. An action starts with a number n: the command n & 3 and the
// length (n >> 2) + 1.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// zlib's CRC-32 of `bytes`, carried on from `crc` (0 for a fresh start), so
// that Crc32(b, Crc32(a)) is the CRC-32 of a followed by b.
uint32_t Crc32(std::span<const uint8_t> bytes, uint32_t crc = 0);

// Appends a number as BPS writes it: 7 bits at a time, low bits first, the
// last byte with its top bit set, every byte before it standing for one more
// than its bits say (so each value has exactly one encoding).
void PutBpsNumber(std::vector<uint8_t>& out, uint64_t n);
// Appends a signed number: its magnitude shifted up by one, the sign in bit 0.
void PutBpsSigned(std::vector<uint8_t>& out, int64_t d);

// The patch from `source` to `target`, in one pass over both: bytes the
// target keeps are read from the source, changed bytes are carried in the
// patch, and a long run of one changed byte (an FF fill) is one byte copied
// over itself. An edit of a few cries in a 16 MiB image makes a patch of a
// few kilobytes. The target may be longer or shorter than the source; no
// metadata is written.
std::vector<uint8_t> MakeBps(std::span<const uint8_t> source, std::span<const uint8_t> target);
