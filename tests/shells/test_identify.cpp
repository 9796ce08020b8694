// IdentifyRom over an open file gives what IdentifyImage gives over the same
// bytes: every release code at every revision that matters, codes it does not
// know with and without a table to scan for, and files cut short anywhere in
// the header.
#include <gtest/gtest.h>

#include <cstring>

#include "fileshells.h"
#include "support.h"

namespace {

RomIdentity IdentifyFile(const Bytes& rom) {
    FILE* f = OpenCopy(rom);
    if (f == nullptr) return {RomUnknown, -2, "", -1, 0, ""};
    const RomIdentity id = IdentifyRom(f);
    std::fclose(f);
    return id;
}

void ExpectSameIdentity(const Bytes& rom, const std::string& name) {
    const RomIdentity file = IdentifyFile(rom), memory = IdentifyImage(rom);
    EXPECT_EQ(file.kind, memory.kind) << name;
    EXPECT_EQ(file.row, memory.row) << name;
    EXPECT_STREQ(file.code, memory.code) << name;
    EXPECT_EQ(file.revision, memory.revision) << name;
    EXPECT_EQ(file.tableOffset, memory.tableOffset) << name;
    EXPECT_STREQ(file.label, memory.label) << name;
}

Bytes Header(const char* code, int revision, size_t size = 0x400) {
    Bytes rom(size, 0x00);
    for (size_t i = 0; i < 4 && GameCodeOfs + i < size; ++i) rom[GameCodeOfs + i] = uint8_t(code[i]);
    if (RevisionOfs < size) rom[RevisionOfs] = uint8_t(revision);
    return rom;
}

TEST(IdentifyRom, GivesWhatTheImageGives) {
    for (const VersionRow& row : Versions)
        for (int revision : {0, 1, 2, 0xFF}) ExpectSameIdentity(Header(row.code, revision), row.code);
    const uint8_t entry[] = {0x20, 0x3C, 0x00, 0x00, 0x90, 0x25, 0x45, 0x08, 0xFF, 0x00, 0xFF, 0x00};
    for (const char* code : {"axve", "ZZZZ"}) {
        Bytes rom = Header(code, 0);
        ExpectSameIdentity(rom, std::string(code) + " without a table");
        std::memcpy(rom.data() + 0x102, entry, sizeof entry);  // off the word grid
        std::memcpy(rom.data() + 0x3F0, entry, sizeof entry);
        ExpectSameIdentity(rom, std::string(code) + " with a table");
    }
    for (size_t size : {size_t{0}, size_t{GameCodeOfs + 3}, size_t{GameCodeOfs + 4}, size_t{RevisionOfs},
                        size_t{RevisionOfs + 1}})
        for (const char* code : {"AXVE", "QQQQ"})
            ExpectSameIdentity(Header(code, 2, size), std::string(code) + " cut at " + std::to_string(size));
}

}  // namespace
