// ROM identification as the dialog shows it.
#include "frontend.h"
#include "resource.h"
#include "romid.h"

void BaseOfs(HWND dialog, FILE* rom) {
    const RomIdentity id = IdentifyRom(rom);
    SetDlgItemTextA(dialog, IDC_VERSION, id.label);
    if (id.kind == RomUnknown) return;  // the table offset keeps its old text
    char text[NumberFieldSize];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(id.tableOffset));
    SetDlgItemTextA(dialog, IDC_TABLE_OFFSET, text);
}
