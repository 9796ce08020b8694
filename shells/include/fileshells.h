// fileshells: the dialogs' functions over files, each a thin shell over the
// core's functions over bytes: the decoder Dump and the encoder Compress, the
// cry-table scan FindTable over a stream, the identification of an open ROM,
// and the WAV header written to and checked on a stream.
//
// Error convention: these keep the plain results the dialogs have always had
// (Dump: the length, or 0; Compress: always 0; FindTable: -1 for none;
// CheckWavHeader: the number of the first test that fails) and print their
// own line on standard output, which a windowed program does not show. A
// caller that must tell why passes a CryError to learn it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "crylib.h"
#include "romid.h"

enum CryError {
    CryOk = 0,
    CryInfileNotFound,   // the input (WAV for Compress, ROM for Dump) did not open
    CryOutfileNotFound,  // the output could not be opened or created
    CryBadLength,        // Dump: the length bytes (or an uncompressed sample's values) lie beyond the end of the ROM
    CryBadWav,           // Compress: not 8-bit mono PCM in RIFF/WAVE chunks
    CryTooLong,          // Compress: 65536 audio bytes or more
    CryReadFailed,       // a read error other than end of file
    CryWriteFailed,      // a write or flush failed (disk full, short write)
};

// Decodes the sample at `offset` of the ROM file into a new WAV file at
// 11050 Hz: a compressed one, or an uncompressed one when its header's type
// byte says so (its values must lie inside the ROM). Returns the length n,
// or 0 on failure (the WAV is then neither created nor truncated when the
// ROM side is at fault).
int Dump(const char* romPath, uint32_t offset, const char* wavPath, CryError* error = nullptr);

// Encodes the WAV file into the ROM file at `offset`, in place, creating the
// ROM only where nothing exists at its path. Always returns 0; `error` tells
// whether it worked. On any refusal the ROM is left untouched.
int Compress(const char* wavPath, uint32_t offset, const char* romPath, CryError* error = nullptr,
             EncodeMode mode = EncodeMode::Fast);

// Compress's first half, for a caller that places the sample itself: reads
// and encodes the WAV file into the bytes Compress writes at an offset
// (SampleExtent(n) of them), with the status Compress would report for the
// WAV, and prints nothing.
CryError ReadWavSample(const char* wavPath, std::vector<uint8_t>* sample, EncodeMode mode = EncodeMode::Fast);

// The line Compress prints on standard output for a status; nothing for CryOk.
void PrintCompressError(CryError status);

// Scans `stream` from its current position, in 4-byte steps, for the first
// cry-table entry signature: 20 3C 00 00 | xx xx xx 08 | FF 00 FF 00.
// Returns its file offset, or -1 at end of file. The stream stays open,
// positioned after the last word the scan consumed.
int FindTable(FILE* stream);

// Identifies the ROM open in `stream`: reads the code at 0xAC and the
// revision byte, and scans from 0xB0 when the code is not known. The stream
// stays open; its position afterwards is unspecified.
RomIdentity IdentifyRom(FILE* stream);

// Writes the 44-byte header for n data bytes at the stream's position, as three
// writes of 12, 24 and 8 bytes. Returns 0, or -1 when a write failed.
int WriteWavHeader(uint32_t n, FILE* stream);

// Reads 44 bytes and checks them in order: 1 not "RIFF", 2 not "WAVE",
// 3 not "fmt ", 4 not "data" at byte 36, 5 not 8 bits per sample, 0 accepted
// (then prints the rate and channel count). Fewer than 44 bytes: 1.
int CheckWavHeader(FILE* stream);
