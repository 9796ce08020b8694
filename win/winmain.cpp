// Entry point of the dialog programs: one modeless dialog and its message loop.
#include "frontend.h"
#include "resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    TheInstance = instance;
    HWND dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, DialogProc, 0);
    if (!dialog) {
        char text[32];
        wsprintfA(text, "Error x%x", unsigned(GetLastError()));
        MessageBoxA(nullptr, text, "CreateDialog", MB_OK | MB_ICONWARNING);
        return 1;
    }
    // The template is visible from its creation. IsDialogMessageA gives the
    // window its keyboard navigation: tab, mnemonics, Enter on a button.
    MSG message;
    for (;;) {
        BOOL result = GetMessageA(&message, nullptr, 0, 0);
        if (result == 0) return int(message.wParam);
        if (result == -1) return -1;
        if (!IsDialogMessageA(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}
