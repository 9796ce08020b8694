// The main dialog's procedure: the field defaults, the two file pickers and
// the browse, verify, dump, encode and about commands. Repoint and sizes live
// with the cry-table addressing, identification with BaseOfs.
//
// Texts are Windows-1252 byte strings. Hex escapes are closed by splitting the
// literal where a hex digit follows an accented letter ("\xe9" "crasera").
#include "frontend.h"
#include "resource.h"

#include <cerrno>
#include <optional>

#include "fileshells.h"
#include "romid.h"
#include "samplekind.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

HINSTANCE TheInstance;

const char ErrorTitle[] = "Erreur!";
const char InvalidFileText[] = "Fichier invalide!";
const char CannotOpenRomText[] = "Impossible d'ouvrir la Rom!";
const char InvalidOffsetText[] = "Offset invalide!";

void Warn(HWND dialog, const char* text) { MessageBoxA(dialog, text, ErrorTitle, MB_OK | MB_ICONWARNING); }

bool IsChecked(HWND dialog, int control) {
    return SendMessageA(GetDlgItem(dialog, control), BM_GETCHECK, 0, 0) != 0;
}

namespace {

const char QuestionTitle[] = "Question";
const char OverwriteWavText[] = "Le fichier WAV existe d\xe9ja. Voulez-vous le remplacer?";
const char LongerSampleText[] =
    "Le nouveau son est plus long que l'ancien et \xe9"
    "crasera les donn\xe9"
    "es qui le suivent. Continuer?";
const char AboutTitle[] = "A propos";
const char AboutText[] = "Brevox GUIVersion2\r\nPar l'\xe9quipe Brevox, logiciel libre.";

// File-picker filters: pairs of label and pattern, the list ended by an empty label.
const char RomFilter[] = "Roms GBA (*.gba)\0*.gba\0Tous les fichiers (*.*)\0*.*\0";
const char WavFilter[] = "Sons WAV encod\xe9s en 8Bit et 11kHz (*.wav)\0*.wav\0Tous les fichiers (*.*)\0*.*\0";

using Path = char[PathFieldSize];

// True unless the user answers No.
bool Confirm(HWND dialog, const char* text) {
    return MessageBoxA(dialog, text, QuestionTitle, MB_YESNO | MB_ICONQUESTION) != IDNO;
}

void ReadPath(HWND dialog, int id, Path path) {
    GetDlgItemTextA(dialog, id, path, PathFieldSize);
}

bool FileExists(const char* path) {
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    std::fclose(file);
    return true;
}

// What names a file whatever path reaches it: on Windows the volume and the
// file index, elsewhere (the stand-in build) the device and the inode.
#ifdef _WIN32
struct FileIdentity {
    DWORD volume, indexHigh, indexLow;
    bool operator==(const FileIdentity&) const = default;
};

bool IdentifyFile(const char* path, FileIdentity* identity) {
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (known) *identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return known;
}
#else
struct FileIdentity {
    dev_t device;
    ino_t inode;
    bool operator==(const FileIdentity&) const = default;
};

bool IdentifyFile(const char* path, FileIdentity* identity) {
    struct stat info;
    if (stat(path, &info) != 0) return false;
    *identity = {info.st_dev, info.st_ino};
    return true;
}
#endif

// Whether two paths, however written, name one existing file.
bool SameFile(const char* a, const char* b) {
    FileIdentity first, second;
    return IdentifyFile(a, &first) && IdentifyFile(b, &second) && first == second;
}

// Shows why Dump or Compress failed. Only the ROM written by the encoder has
// a message of its own; everything else is a file the user named that could
// not be used.
void ShowCryError(HWND dialog, CryError error, bool writesRom) {
    bool romFault = writesRom && (error == CryOutfileNotFound || error == CryWriteFailed);
    Warn(dialog, romFault ? CannotOpenRomText : InvalidFileText);
}

// The system's open dialog. The chosen file need not exist, so a new WAV name
// can be typed for a dump. False when the user cancels.
bool PickFile(HWND dialog, const char* filter, const char* extension, Path path) {
    path[0] = '\0';
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = dialog;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = PathFieldSize;
    ofn.lpstrDefExt = extension;
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY;
    return GetOpenFileNameA(&ofn) != 0;
}

// Identifies the ROM at path; false when it cannot be opened.
bool Identify(HWND dialog, const char* path) {
    FILE* rom = std::fopen(path, "rb");
    if (!rom) return false;
    BaseOfs(dialog, rom);
    std::fclose(rom);
    return true;
}

void InitDialog(HWND dialog) {
    HICON icon = LoadIconA(TheInstance, MAKEINTRESOURCEA(IDI_APP));
    SendMessageA(dialog, WM_SETICON, ICON_BIG, LPARAM(icon));
    SetDlgItemTextA(dialog, IDC_ROM_PATH, "Chargez votre Rom");
    SetDlgItemTextA(dialog, IDC_WAV_PATH, "Chargez un son WAV");
    SetDlgItemTextA(dialog, IDC_TABLE_OFFSET, "0");
    SetDlgItemTextA(dialog, IDC_SAMPLE_OFFSET, "0");
    SetDlgItemTextA(dialog, IDC_ID, "1");
    for (int id : {IDC_USE_TABLE, IDC_AUTOPLAY, IDC_CONFIRM})
        SendMessageA(GetDlgItem(dialog, id), BM_SETCHECK, BST_CHECKED, 0);
}

// A file that cannot be opened is passed over silently: the user sees its
// path in the field and can verify it.
void BrowseRomCommand(HWND dialog) {
    Path path;
    if (!PickFile(dialog, RomFilter, "gba", path)) return;
    SetDlgItemTextA(dialog, IDC_ROM_PATH, path);
    Identify(dialog, path);
}

void BrowseWavCommand(HWND dialog) {
    Path path;
    if (PickFile(dialog, WavFilter, "wav", path)) SetDlgItemTextA(dialog, IDC_WAV_PATH, path);
}

void VerifyCommand(HWND dialog) {
    Path path;
    ReadPath(dialog, IDC_ROM_PATH, path);
    if (!Identify(dialog, path)) Warn(dialog, InvalidFileText);
}

void DumpCommand(HWND dialog) {
    Path romPath, wavPath;
    ReadPath(dialog, IDC_ROM_PATH, romPath);
    ReadPath(dialog, IDC_WAV_PATH, wavPath);
    // Dump creates the WAV before it reads a block: over the ROM it would empty it.
    if (SameFile(romPath, wavPath)) {
        Warn(dialog, InvalidFileText);
        return;
    }
    if (IsChecked(dialog, IDC_CONFIRM) && FileExists(wavPath) && !Confirm(dialog, OverwriteWavText))
        return;
    uint32_t offset;
    if (!ReturnOfs(dialog, &offset)) return;
    CryError error = CryOk;
    Dump(romPath, offset, wavPath, &error);
    if (error != CryOk) {
        ShowCryError(dialog, error, false);
        return;
    }
    if (IsChecked(dialog, IDC_AUTOPLAY)) ShellExecuteA(nullptr, nullptr, wavPath, nullptr, nullptr, SW_SHOW);
}

// The bytes the sample at `offset` of the image takes, as its header's kind
// lays them out; a header of no known kind is measured as the compressed
// kind the encoder writes. None when not even its stored length lies in the
// image.
std::optional<uint64_t> OldSampleBytes(ImageBytes image, uint32_t offset) {
    const Result<SampleHeader> header = ReadSampleHeader(image, offset);
    const SampleHeader& h = header.value;
    if (header.Ok() && h.format && h.length <= h.format->maxValues) return h.format->bytes(h.length);
    const Result<uint16_t> n = ReadSampleLength(image, offset);
    if (!n.Ok()) return std::nullopt;
    return SampleExtent(n.value);
}

// What became of an encode.
enum class Encoded {
    Written,
    Cancelled,   // the user answered No
    Refused,     // the plan's problems: an offset no sample may take
    Unreadable,  // the ROM cannot be read whole, or is larger than any GBA image
    NotOpened,   // the ROM exists but cannot be opened for writing, or cannot be created
    WriteFailed,
};

// A longer sample than the one at offset runs over whatever the ROM keeps
// after it: with confirmations on the user decides first. Where no length
// lies there (a ROM to be created, a sample past its end) nothing is asked.
Encoded PlanEncode(HWND dialog, std::vector<uint8_t>& image, uint32_t offset, std::vector<uint8_t> sample,
                   Plan* plan) {
    const std::optional<uint64_t> oldBytes = OldSampleBytes(image, offset);
    if (IsChecked(dialog, IDC_CONFIRM) && oldBytes && sample.size() > *oldBytes && !Confirm(dialog, LongerSampleText))
        return Encoded::Cancelled;
    *plan = EncodePlan(image, offset, std::move(sample));
    return plan->Ok() ? Encoded::Written : Encoded::Refused;
}

// Reads the ROM whole, plans the encode through the image model and writes
// the spans the plan declares, through the stream the image was read from.
// A ROM where no file exists is read as empty, and created only once there
// is something to write: a refusal or a No leaves no file behind.
Encoded EncodeIntoRom(HWND dialog, const char* romPath, uint32_t offset, std::vector<uint8_t> sample) {
    errno = 0;
    FILE* rom = std::fopen(romPath, "rb+");
    // "wb" on an existing file that merely refused "rb+" (read-only, locked,
    // a folder) would truncate the user's ROM.
    if (!rom && errno != ENOENT) return Encoded::NotOpened;
    std::vector<uint8_t> image;
    Plan plan;
    Encoded result = rom && !ReadRomImage(rom, &image) ? Encoded::Unreadable
                                                       : PlanEncode(dialog, image, offset, std::move(sample), &plan);
    if (result == Encoded::Written && !rom && !(rom = std::fopen(romPath, "wb"))) result = Encoded::NotOpened;
    if (result == Encoded::Written && !WritePlan(rom, plan, image)) result = Encoded::WriteFailed;
    if (rom && std::fclose(rom) != 0 && result == Encoded::Written) result = Encoded::WriteFailed;
    return result;
}

// The sample is made from the WAV as Compress makes it, then written through
// the image model: in place, over a sample or anywhere inside the image, or
// past its end, where the ROM grows, or into a new ROM at a path where none
// exists. A failure gives the line Compress prints and its box.
void EncodeCommand(HWND dialog) {
    Path romPath, wavPath;
    ReadPath(dialog, IDC_ROM_PATH, romPath);
    ReadPath(dialog, IDC_WAV_PATH, wavPath);
    uint32_t offset;
    if (!ReturnOfs(dialog, &offset)) return;
    // An image's header holds its entry point, logo and game code, never a
    // sample. A missing ROM is created with the sample at the offset asked.
    if (offset < RomHeaderSize && FileExists(romPath)) {
        Warn(dialog, InvalidOffsetText);
        return;
    }
    std::vector<uint8_t> sample;
    CryError error = ReadWavSample(wavPath, &sample);
    if (error == CryOk) {
        switch (EncodeIntoRom(dialog, romPath, offset, std::move(sample))) {
        case Encoded::Written:
        case Encoded::Cancelled: return;
        case Encoded::Refused: Warn(dialog, InvalidOffsetText); return;
        case Encoded::Unreadable: Warn(dialog, InvalidFileText); return;
        case Encoded::NotOpened: error = CryOutfileNotFound; break;
        case Encoded::WriteFailed: error = CryWriteFailed; break;
        }
    }
    PrintCompressError(error);
    ShowCryError(dialog, error, true);
}

void AboutCommand(HWND dialog) {
    MessageBoxA(dialog, AboutText, AboutTitle, MB_OK | MB_ICONINFORMATION);
}

void RunCommand(HWND dialog, int id) {
    switch (id) {
    case IDC_BROWSE_ROM: BrowseRomCommand(dialog); break;
    case IDC_BROWSE_WAV: BrowseWavCommand(dialog); break;
    case IDC_VERIFY: VerifyCommand(dialog); break;
    case IDC_DUMP: DumpCommand(dialog); break;
    case IDC_ENCODE: EncodeCommand(dialog); break;
    case IDC_REPOINT: RepointCommand(dialog); break;
    case IDC_SIZES: SizesCommand(dialog); break;
    case IDC_ABOUT: AboutCommand(dialog); break;
    default: break;  // Escape and Enter outside a button send IDCANCEL and IDOK: nothing to do
    }
}

}  // namespace

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        InitDialog(dialog);
        return TRUE;  // focus goes to the first tab stop, "&Vérifier"
    case WM_CLOSE:
        DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return TRUE;
    case WM_COMMAND:
        // Code 0 (BN_CLICKED) is a click, by mouse, keyboard or mnemonic. The
        // edit fields' notifications (EN_CHANGE and the like) carry no command.
        if (HIWORD(wParam) == 0) RunCommand(dialog, LOWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}
