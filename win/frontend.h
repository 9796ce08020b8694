// The dialog's commands, shared by the window procedure and the tests that
// drive it. Everything here reads and writes the dialog's fields by control
// number; the fields are the program's only state.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "plan.h"

// Read limits of the dialog's fields, terminator included.
constexpr int PathFieldSize = 260;
constexpr int NumberFieldSize = 20;   // 19 characters
constexpr int RepointFieldSize = 9;   // 8 characters

// The instance the icon is loaded from; WinMain sets it before the dialog exists.
extern HINSTANCE TheInstance;

// Texts shared by the commands, Windows-1252.
extern const char ErrorTitle[];         // "Erreur!"
extern const char InvalidFileText[];    // "Fichier invalide!"
extern const char CannotOpenRomText[];  // "Impossible d'ouvrir la Rom!"
extern const char InvalidOffsetText[];  // "Offset invalide!"

// A warning box titled "Erreur!", owned by the dialog.
void Warn(HWND dialog, const char* text);

// Whether a check box is checked: any non-zero BM_GETCHECK answer counts.
bool IsChecked(HWND dialog, int control);

// Shows `value` in a field as bare upper-case hexadecimal ("%X").
void SetHexField(HWND dialog, int control, uint32_t value);

// Reads up to bytes.size() bytes at `position` of the file at `path`;
// returns how many arrived (0 when the file cannot be opened).
size_t ReadFileSpan(const char* path, uint64_t position, std::span<uint8_t> bytes);

// Reads the little-endian field of `size` bytes (2 or 4) at `position` of the
// file at `path`. False when the file cannot be opened or ends before it.
bool ReadFileField(const char* path, uint64_t position, int size, uint32_t* value);

// The rule this build uses to turn an ID into a cry-table index: cry numbers
// in brevox, species numbers in brevox-species (BREVOX_SPECIES).
int RecalcID(int id);

// Identifies the ROM open in `rom` and shows the result in the version label
// and the table-offset field. The caller keeps and closes the stream.
void BaseOfs(HWND dialog, FILE* rom);

// Resolves the sample offset the dump, encode and sizes commands work on:
// field 1015 as typed, or with "Table" checked the entry's pointer, which is
// then shown in field 1015. On a failure it has already shown its message box
// and returns false.
bool ReturnOfs(HWND dialog, uint32_t* offset);

// Edits through the image model (edits.cpp).
//
// Reads the whole ROM open in `rom`. False when it cannot be read, or is
// larger than any GBA image (MaxImageSize).
bool ReadRomImage(FILE* rom, std::vector<uint8_t>* image);
// Applies `plan` to `image`, then writes the spans it declares (its samples,
// pointer words and voice bytes) from `image` into `rom` at the same offsets
// and flushes. False when the plan does not apply or a write fails.
bool WritePlan(FILE* rom, const Plan& plan, std::span<uint8_t> image);
// The encode of `sample` (compressed, as the encoder writes it) at `offset`
// of the image, as the dialog makes it. Inside the image: written whatever
// the bytes there hold, the dialog's own question being asked first, but
// never over the header or either cry table nor at an offset that is not a
// multiple of 4; and every entry of either table that points at `offset`
// declares a compressed sample. Reaching past the end of the image (empty
// for a ROM not yet created): written as it comes, `image` first grown with
// zeros to hold it as the file grows, but never past the 64 MiB of a GBA
// image. The plan's problems say why it is refused.
Plan EncodePlan(std::vector<uint8_t>& image, uint32_t offset, std::vector<uint8_t> sample);
// The repoint of entry `index` of the table at `tableOffset`, whose pointer
// word lies at `position` inside the image, to the ROM address `address`:
// the model's plan, which repoints the reverse entry too when it is in step
// and gives the entry the voice byte of the sample's kind, when the model
// takes the table, the entry and the target; otherwise the address word
// alone, as the dialog has always written it.
Plan RepointPlan(ImageBytes image, uint32_t tableOffset, int index, uint32_t position, uint32_t address);

// Button commands.
void RepointCommand(HWND dialog);
void SizesCommand(HWND dialog);

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
