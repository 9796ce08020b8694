// The addressing tests' fixture: a ROM whose 412 entries each point at an
// address that names the entry, the dialog's fields set over it, and the
// commands that read them.
#pragma once

#include <gtest/gtest.h>

#include "crylib.h"
#include "frontend.h"
#include "resource.h"
#include "romid.h"
#include "support.h"
#include "testdata.h"

inline constexpr uint32_t TableAt = 0x1000;
constexpr int Entries = 412;
constexpr uint32_t SampleAt = 0x3000;  // entry 5's sample
constexpr uint32_t RomSize = 0x4000;

// The ROM address that entry i holds: its own index, shifted, so that a read
// shows which entry was addressed. Entry 5 points at a real sample header.
inline uint32_t AddressOfEntry(int i) { return i == 5 ? RomAddressBase | SampleAt : RomAddressBase | uint32_t(i) << 8; }

inline void PutWord(Bytes& b, size_t at, uint32_t w) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(w >> (8 * i));
}

inline Bytes MakeTestRom() {
    Bytes rom(RomSize, 0xFF);
    for (int i = 0; i < Entries; ++i) {
        PutWord(rom, TableAt + CryEntrySize * i, 0x00003C20);
        PutWord(rom, TableAt + CryEntrySize * i + 4, AddressOfEntry(i));
        PutWord(rom, TableAt + CryEntrySize * i + 8, 0x00FF00FF);
    }
    rom[SampleAt + SampleLengthOfs] = 0x34;  // stored length 0x1234
    rom[SampleAt + SampleLengthOfs + 1] = 0x12;
    return rom;
}

class Addressing : public FolderTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(FolderTest::SetUp());
        rom = MakeTestRom();
        ASSERT_TRUE(WriteFileBytes(romPath, rom));
        ASSERT_TRUE(WriteFileBytes(wavPath, MakeWav(Bytes(0x2C, 0x80))));
        Fields("1000", "1", "0");
    }

    // A fresh dialog: both paths, the three numbers, and "Table" as given.
    void Fields(const char* table, const char* id, const char* sample, bool useTable = true) {
        standin::Reset();
        standin::SetText(IDC_ROM_PATH, romPath);
        standin::SetText(IDC_WAV_PATH, wavPath);
        standin::SetText(IDC_TABLE_OFFSET, table);
        standin::SetText(IDC_ID, id);
        standin::SetText(IDC_SAMPLE_OFFSET, sample);
        standin::SetCheck(IDC_USE_TABLE, useTable);
    }

    // ReturnOfs's result, or -1 when it refused.
    long long Resolve() {
        uint32_t offset = 0xDEADBEEF;
        return ReturnOfs(standin::Dialog(), &offset) ? (long long)offset : -1;
    }
    void Repoint() { RepointCommand(standin::Dialog()); }
    void Sizes() { SizesCommand(standin::Dialog()); }

    // The ROM is as it was made, but for `changes` (position, word).
    void ExpectRom(std::initializer_list<std::pair<uint32_t, uint32_t>> changes = {}) {
        Bytes expected = rom;
        for (auto [at, word] : changes) PutWord(expected, at, word);
        EXPECT_EQ(ReadFileBytes(romPath), expected);
    }

    Bytes rom;
};

inline const std::string BadId = "box Erreur!: ID invalide!";
inline const std::string BadOffset = "box Erreur!: Offset invalide!";

