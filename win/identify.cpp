// ROM identification as the dialog shows it.
#include "frontend.h"
#include "resource.h"
#include "fileshells.h"

void BaseOfs(HWND dialog, FILE* rom) {
    const RomIdentity id = IdentifyRom(rom);
    SetDlgItemTextA(dialog, IDC_VERSION, id.label);
    if (id.kind == RomUnknown) return;  // the table offset keeps its old text
    SetHexField(dialog, IDC_TABLE_OFFSET, id.tableOffset);
}
