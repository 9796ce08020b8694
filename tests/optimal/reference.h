// A plain, slow reference for the best-quality block coder, written apart
// from the core so that each can check the other: its own delta table, its
// own decoder and a search in the other direction.
#pragma once

#include <array>
#include <cstdint>

#include "crylib.h"

using Values = std::array<int, BlockSamples>;

// The signed reading of a compressed-domain byte.
int Signed(uint8_t b);

// The 64 signed values a 33-byte block decodes to.
Values DecodeLocal(const uint8_t block[BlockSize]);

// Squared error of the decoded block against the first `count` inputs.
uint64_t BlockError(const uint8_t in[BlockSamples], int count, const uint8_t block[BlockSize]);

// The least squared error any block can reach on the first `count` inputs:
// best[i][v], the least error of positions i..count-1 once the decoder holds
// v at i, filled backwards from the last position over all 256 values.
uint64_t ReferenceError(const uint8_t in[BlockSamples], int count);

// The same by trying every byte 0 and every index sequence (count <= 3).
uint64_t ExhaustiveError(const uint8_t in[BlockSamples], int count);
