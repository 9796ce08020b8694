#include "bps.h"

#include <algorithm>
#include <array>

#include "crylib.h"

namespace {

constexpr uint8_t Magic[] = {'B', 'P', 'S', '1'};

// The commands this writer uses. The fourth, SourceCopy (2), reads the source
// from a cursor of its own: an edit of cries moves no bytes it could reuse.
enum Command : uint64_t {
    SourceRead = 0,  // the source's bytes at the output position
    TargetRead = 1,  // the next bytes of the patch
    TargetCopy = 3,  // bytes already written, from a cursor moved by a signed number
};

// A SourceRead costs a byte or more and breaks the TargetRead around it into
// two, each with its own number: a shorter run of kept bytes goes into the
// TargetRead as it is.
constexpr size_t MinSourceRun = 4;
// A run of one changed byte at least this long is written once and copied
// over itself by a TargetCopy (the fill of a reclaimed slot, or of an image
// grown past its end), instead of byte by byte.
constexpr size_t MinFillRun = 16;

// The CRC of the reflected polynomial 0xEDB88320, eight bytes at a time:
// CrcTables[k][b] is the CRC of byte b followed by k zero bytes, so that the
// eight lookups of a word's bytes, XORed, fold the whole word in at once.
// A byte at a time the CRC took most of the time of a patch of 16 MiB.
constexpr std::array<std::array<uint32_t, 256>, 8> CrcTables = [] {
    std::array<std::array<uint32_t, 256>, 8> tables{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        tables[0][i] = c;
    }
    for (size_t k = 1; k < tables.size(); ++k)
        for (uint32_t i = 0; i < 256; ++i) tables[k][i] = (tables[k - 1][i] >> 8) ^ tables[0][tables[k - 1][i] & 0xFF];
    return tables;
}();

void PutAction(std::vector<uint8_t>& out, Command command, uint64_t length) {
    PutBpsNumber(out, (length - 1) << 2 | command);
}

void PutCrc(std::vector<uint8_t>& out, uint32_t crc) {
    uint8_t field[4];
    PutLe32(field, crc);
    out.insert(out.end(), field, field + 4);
}

// How many bytes from `at` the target keeps from the source.
size_t KeptRun(std::span<const uint8_t> source, std::span<const uint8_t> target, size_t at) {
    const size_t end = std::min(source.size(), target.size());
    if (at >= end) return 0;
    return static_cast<size_t>(std::mismatch(source.begin() + at, source.begin() + end, target.begin() + at).first -
                               (source.begin() + at));
}

// How many bytes from `at` repeat the target's byte there.
size_t FillRun(std::span<const uint8_t> target, size_t at) {
    const auto from = target.begin() + at;
    return static_cast<size_t>(std::find_if(from, target.end(), [v = *from](uint8_t b) { return b != v; }) - from);
}

}  // namespace

uint32_t Crc32(std::span<const uint8_t> bytes, uint32_t crc) {
    const auto& t = CrcTables;
    crc = ~crc;
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        const uint32_t low = crc ^ GetLe32(&bytes[i]), high = GetLe32(&bytes[i + 4]);
        crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
              t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
    }
    for (; i < bytes.size(); ++i) crc = t[0][(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutBpsNumber(std::vector<uint8_t>& out, uint64_t n) {
    for (;;) {
        const uint8_t low = n & 0x7F;
        n >>= 7;
        if (n == 0) {
            out.push_back(0x80 | low);
            return;
        }
        out.push_back(low);
        --n;
    }
}

void PutBpsSigned(std::vector<uint8_t>& out, int64_t d) {
    const uint64_t magnitude = d < 0 ? 0 - static_cast<uint64_t>(d) : static_cast<uint64_t>(d);
    PutBpsNumber(out, magnitude << 1 | (d < 0));
}

std::vector<uint8_t> MakeBps(std::span<const uint8_t> source, std::span<const uint8_t> target) {
    std::vector<uint8_t> patch(std::begin(Magic), std::end(Magic));
    PutBpsNumber(patch, source.size());
    PutBpsNumber(patch, target.size());
    PutBpsNumber(patch, 0);  // no metadata

    size_t at = 0;          // the output position
    size_t pending = 0;     // changed bytes from here to `at` wait for their TargetRead
    uint64_t copyFrom = 0;  // TargetCopy's cursor, which each copy leaves at its end
    auto flush = [&](size_t end) {
        if (end == pending) return;
        PutAction(patch, TargetRead, end - pending);
        patch.insert(patch.end(), target.begin() + pending, target.begin() + end);
    };
    while (at < target.size()) {
        if (const size_t kept = KeptRun(source, target, at); kept >= MinSourceRun) {
            flush(at);
            PutAction(patch, SourceRead, kept);
            pending = at += kept;
        } else if (const size_t fill = FillRun(target, at); fill >= MinFillRun) {
            // The fill's first byte goes out with the changed bytes before it;
            // the copy then reads each byte it has just written.
            flush(at + 1);
            PutAction(patch, TargetCopy, fill - 1);
            PutBpsSigned(patch, static_cast<int64_t>(at) - static_cast<int64_t>(copyFrom));
            copyFrom = at + fill - 1;
            pending = at += fill;
        } else {
            ++at;
        }
    }
    flush(at);

    PutCrc(patch, Crc32(source));
    PutCrc(patch, Crc32(target));
    PutCrc(patch, Crc32(patch));
    return patch;
}
