// The table scan and ROM identification over arbitrary bytes. FindTable must
// agree with the word-by-word scan on every match in the image, offset and
// stream position alike, from any start; IdentifyRom must give an answer that
// the image itself bears out, and the same as IdentifyImage over its bytes.
#include <cstring>
#include <vector>

#include "fileshells.h"
#include "romid.h"
#include "testdata.h"
#include "fuzz_support.h"

namespace {

// An in-memory stream over the image (fmemopen refuses an empty buffer).
FILE* Open(std::vector<uint8_t>& image) { return image.empty() ? nullptr : fmemopen(image.data(), image.size(), "rb"); }

void CheckScan(std::vector<uint8_t>& image, long start) {
    FILE* fast = Open(image);
    FILE* plain = Open(image);
    Require(fast != nullptr && plain != nullptr);
    Require(std::fseek(fast, start, SEEK_SET) == 0 && std::fseek(plain, start, SEEK_SET) == 0);
    for (;;) {
        const int expected = FindTableByWords(plain);
        Require(FindTable(fast) == expected);
        Require(std::ftell(fast) == std::ftell(plain));
        Require(!std::feof(fast) == !std::feof(plain));
        if (expected < 0) break;
    }
    std::fclose(fast);
    std::fclose(plain);
}

void CheckIdentity(std::vector<uint8_t>& image) {
    FILE* rom = Open(image);
    Require(rom != nullptr);
    const RomIdentity id = IdentifyRom(rom);
    std::fclose(rom);
    // The stream's identification is the one over the bytes.
    const RomIdentity inMemory = IdentifyImage(image);
    Require(id.kind == inMemory.kind && id.row == inMemory.row && id.tableOffset == inMemory.tableOffset);
    Require(std::strcmp(id.code, inMemory.code) == 0 && id.revision == inMemory.revision && id.label == inMemory.label);
    switch (id.kind) {
    case RomKnown:
        Require(id.row >= 0 && id.row < VersionCount);
        Require(std::memcmp(image.data() + GameCodeOfs, id.code, 4) == 0);
        Require(id.tableOffset == Versions[id.row].tableOffset && id.label == Versions[id.row].label);
        break;
    case RomScanned: {
        const uint32_t at = id.tableOffset;
        Require(at >= ScanStartOfs && (at - ScanStartOfs) % 4 == 0 && at + CryEntrySize <= image.size());
        const uint8_t head[4] = {0x20, 0x3C, 0x00, 0x00}, tail[4] = {0xFF, 0x00, 0xFF, 0x00};
        Require(std::memcmp(&image[at], head, 4) == 0 && image[at + 7] == 0x08);
        Require(std::memcmp(&image[at + 8], tail, 4) == 0 && id.label == UnknownTableFoundLabel);
        break;
    }
    case RomUnknown:
        Require(id.row == -1 && id.label == UnknownVersionLabel);
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first byte chooses where the scan starts, within the image.
    std::vector<uint8_t> image(data + 1, data + size);
    CheckScan(image, long(data[0] % image.size()));
    CheckIdentity(image);
    return 0;
}
