// IdentifyRom: the identification of an open ROM, from its header's bytes,
// and the stream scan from 0xB0 when the code is not known.
#include "fileshells.h"

#include "stream.h"

RomIdentity IdentifyRom(FILE* stream) {
    uint8_t header[RevisionOfs + 1];
    bool failed = false;
    const size_t got = SeekTo(stream, 0) ? ReadUpTo(stream, header, sizeof header, &failed) : 0;
    const Result<RomIdentity> id = IdentifyHeader(std::span<const uint8_t>(header, got));
    // No whole code: nothing to scan either.
    if (!id.Ok() || id.value.kind == RomKnown || !SeekTo(stream, ScanStartOfs)) return id.value;
    const int found = FindTable(stream);
    return found < 0 ? id.value : WithScannedTable(id.value, static_cast<uint32_t>(found));
}
