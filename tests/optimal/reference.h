// A plain, slow reference for the best-quality block coder, written apart
// from the core so that each can check the other: its own delta table, its
// own decoder and a search in the other direction.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "crylib.h"

using Values = std::array<int, BlockSamples>;
using Block = std::array<uint8_t, BlockSamples>;  // compressed-domain (signed) inputs

// The compressed-domain blocks of an unsigned sound, the last padded with silence.
std::vector<Block> BlocksOf(std::span<const uint8_t> wav);

// How many of block b's samples belong to a sound of n samples.
int CountIn(size_t n, size_t b);

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

// The block the best coder must return, by a plain search over all 256 values
// at every position: the least error, ties to the lowest final value (as a WAV
// byte), then, walking back, to the lowest delta index at each step; index 0
// past `count`.
std::array<uint8_t, BlockSize> ReferenceBlock(const uint8_t in[BlockSamples], int count);
