// Cry-table addressing: from the ID typed in the dialog to the pointer word of
// its cry-table entry, and the two commands that work on that word directly,
// repoint and sizes.
//
// Numbers are read from the fields as a formatted scan reads them: leading
// blanks skipped, the number ends at the first character that cannot continue
// it (ID "1A" is 1, offset "12G" is 0x12). A field with no number at all, an
// ID below 1 (it would address a position in front of the table) or a value
// too large for its type is refused with a warning, before any file is opened.
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "crylib.h"
#include "frontend.h"
#include "resource.h"
#include "romid.h"
#include "stream.h"
#include "wavlib.h"

int RecalcID(int id) {
#ifdef BREVOX_SPECIES
    return SpeciesNumberIndex(id);
#else
    return CryNumberIndex(id);
#endif
}

namespace {

// Message texts, Windows-1252.
constexpr char CannotWriteRom[] = "Impossible d'\xE9" "crire dans la Rom!";
constexpr char InvalidId[] = "ID invalide!";
constexpr char EntryOutsideRom[] = "Entr\xE9" "e hors de la Rom!";

constexpr int AddressSize = 4;
constexpr int WavDataSizeSize = 4;


// Reads a hexadecimal field of at most size - 1 characters (size at most
// NumberFieldSize). A negative number is no offset: refused like a missing one.
bool ReadHexField(HWND dialog, int control, int size, uint32_t* value) {
    char text[NumberFieldSize];
    GetDlgItemTextA(dialog, control, text, size);
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 16);
    if (end == text || errno == ERANGE || v > UINT32_MAX) {
        Warn(dialog, InvalidOffsetText);
        return false;
    }
    *value = static_cast<uint32_t>(v);
    return true;
}

// Reads the ID field (at most size - 1 characters) and turns it into this
// build's cry-table index.
bool ReadIndexField(HWND dialog, int size, int* index) {
    char text[NumberFieldSize];
    GetDlgItemTextA(dialog, IDC_ID, text, size);
    char* end = nullptr;
    errno = 0;
    const long long id = std::strtoll(text, &end, 10);
    if (end == text || errno == ERANGE || id < 1 || id > INT_MAX) {
        Warn(dialog, InvalidId);
        return false;
    }
    *index = RecalcID(static_cast<int>(id));
    return true;
}

// The position of the sample-address word of entry `index`, in 64 bits so
// that a large table offset cannot wrap round to the front of the file.
uint64_t PointerPosition(uint32_t tableOffset, int index) {
    return tableOffset + uint64_t(index) * CryEntrySize + CryEntryPointerOfs;
}

// ReadFileField, or "Fichier invalide!": a field beyond the end of the file
// has no value to show.
bool ReadFieldOrWarn(HWND dialog, const char* path, uint64_t position, int size, uint32_t* value) {
    if (ReadFileField(path, position, size, value)) return true;
    Warn(dialog, InvalidFileText);
    return false;
}

enum class WriteResult { Written, Outside, Unreadable, Failed };

// Repoints the entry in the ROM open for update. Its pointer word must lie
// wholly inside the file and after its header: a repoint never lengthens
// the ROM.
WriteResult WriteRepoint(FILE* rom, uint32_t tableOffset, int index, uint32_t address) {
    std::vector<uint8_t> image;
    if (!ReadRomImage(rom, &image)) return WriteResult::Unreadable;
    const uint64_t position = PointerPosition(tableOffset, index);
    if (position < RomHeaderSize || position + AddressSize > image.size()) return WriteResult::Outside;
    const Plan plan = RepointPlan(image, tableOffset, index, uint32_t(position), address);
    return WritePlan(rom, plan, image) ? WriteResult::Written : WriteResult::Failed;
}

}  // namespace

void SetHexField(HWND dialog, int control, uint32_t value) {
    char text[NumberFieldSize];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
    SetDlgItemTextA(dialog, control, text);
}

size_t ReadFileSpan(const char* path, uint64_t position, std::span<uint8_t> bytes) {
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return 0;
    bool failed = false;
    const size_t got = SeekTo(file, position) ? ReadUpTo(file, bytes.data(), bytes.size(), &failed) : 0;
    std::fclose(file);
    return failed ? 0 : got;
}

bool ReadFileField(const char* path, uint64_t position, int size, uint32_t* value) {
    uint8_t bytes[4] = {};
    if (ReadFileSpan(path, position, std::span(bytes, size_t(size))) != size_t(size)) return false;
    *value = size == 2 ? GetLe16(bytes) : GetLe32(bytes);
    return true;
}

bool ReturnOfs(HWND dialog, uint32_t* offset) {
    if (!IsChecked(dialog, IDC_USE_TABLE)) return ReadHexField(dialog, IDC_SAMPLE_OFFSET, NumberFieldSize, offset);

    char romPath[PathFieldSize];
    GetDlgItemTextA(dialog, IDC_ROM_PATH, romPath, PathFieldSize);
    uint32_t tableOffset = 0;
    int index = 0;
    if (!ReadHexField(dialog, IDC_TABLE_OFFSET, NumberFieldSize, &tableOffset) ||
        !ReadIndexField(dialog, NumberFieldSize, &index))
        return false;
    uint32_t address = 0;
    if (!ReadFieldOrWarn(dialog, romPath, PointerPosition(tableOffset, index), AddressSize, &address))
        return false;
    *offset = address & RomAddressMask;
    SetHexField(dialog, IDC_SAMPLE_OFFSET, *offset);
    return true;
}

// Writes field 1015's offset, as a ROM address, into the entry of the ID,
// and into its reverse entry when that points at the same sample (the game
// plays the reverse entry's sample where it plays the cry backwards). The
// voice bytes follow the kind of the sample pointed at. Nothing else in the
// file changes, and nothing is said on success.
void RepointCommand(HWND dialog) {
    char romPath[PathFieldSize];
    GetDlgItemTextA(dialog, IDC_ROM_PATH, romPath, PathFieldSize);
    uint32_t offset = 0;
    uint32_t tableOffset = 0;
    int index = 0;
    if (!ReadHexField(dialog, IDC_SAMPLE_OFFSET, RepointFieldSize, &offset) ||
        !ReadIndexField(dialog, RepointFieldSize, &index) ||
        !ReadHexField(dialog, IDC_TABLE_OFFSET, RepointFieldSize, &tableOffset))
        return;

    FILE* rom = std::fopen(romPath, "rb+");
    if (rom == nullptr) {
        Warn(dialog, CannotOpenRomText);
        return;
    }
    WriteResult result = WriteRepoint(rom, tableOffset, index, offset | RomAddressBase);
    if (std::fclose(rom) != 0 && result == WriteResult::Written) result = WriteResult::Failed;
    if (result == WriteResult::Outside) Warn(dialog, EntryOutsideRom);
    if (result == WriteResult::Unreadable) Warn(dialog, InvalidFileText);
    if (result == WriteResult::Failed) Warn(dialog, CannotWriteRom);
}

// Shows the WAV's data size (field 1018), then the resolved sample offset
// (field 1015, in table mode), then the sample's stored length (field 1017),
// each as bare hexadecimal, stopping at the first failure.
void SizesCommand(HWND dialog) {
    char wavPath[PathFieldSize];
    GetDlgItemTextA(dialog, IDC_WAV_PATH, wavPath, PathFieldSize);
    uint32_t wavSize = 0;
    if (!ReadFieldOrWarn(dialog, wavPath, WavDataSizeOfs, WavDataSizeSize, &wavSize)) return;
    SetHexField(dialog, IDC_WAV_SIZE, wavSize);

    uint32_t offset = 0;
    const bool resolved = ReturnOfs(dialog, &offset);
    char romPath[PathFieldSize];
    GetDlgItemTextA(dialog, IDC_ROM_PATH, romPath, PathFieldSize);
    if (!resolved) {
        // No sample to measure, so nothing is read. A ROM that cannot be
        // opened is still reported by this step too, as with a resolved offset.
        if (FILE* rom = std::fopen(romPath, "rb")) std::fclose(rom);
        else Warn(dialog, InvalidFileText);
        return;
    }
    uint32_t length = 0;
    if (!ReadFieldOrWarn(dialog, romPath, uint64_t(offset) + SampleLengthOfs, SampleLengthSize, &length)) return;
    SetHexField(dialog, IDC_ROM_SIZE, length);
}
