// A stand-in for the part of the Win32 API that the dialog code uses, so that
// the code builds and runs unchanged in the Linux unit tests. It declares
// only what that code needs, with the same names and meanings; the tests set
// up and inspect its state through standin.h.
#pragma once

#include <cstdint>

using BOOL = int;
using INT = int;
using UINT = unsigned int;
using WORD = uint16_t;
using DWORD = uint32_t;
using LPSTR = char*;
using LPCSTR = const char*;
using INT_PTR = intptr_t;
using UINT_PTR = uintptr_t;
using LONG_PTR = intptr_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;

// Handles are opaque pointers to types of their own, so that one kind of
// handle cannot be passed for another.
struct StandinWindow;
struct StandinInstance;
struct StandinIcon;
using HWND = StandinWindow*;
using HINSTANCE = StandinInstance*;
using HICON = StandinIcon*;

#define TRUE 1
#define FALSE 0
#define CALLBACK
#define WINAPI

#define LOWORD(l) ((WORD)(((UINT_PTR)(l)) & 0xFFFF))
#define HIWORD(l) ((WORD)((((UINT_PTR)(l)) >> 16) & 0xFFFF))
#define MAKEINTRESOURCEA(i) ((LPSTR)((UINT_PTR)((WORD)(i))))

// Window messages
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_SETICON 0x0080
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define ICON_BIG 1

// Buttons
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BST_UNCHECKED 0
#define BST_CHECKED 1

// Message boxes and their answers
#define MB_OK 0x00000000
#define MB_YESNO 0x00000004
#define MB_ICONQUESTION 0x00000020
#define MB_ICONWARNING 0x00000030
#define MB_ICONINFORMATION 0x00000040
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

#define SW_SHOW 5

// The file-open dialog
#define OFN_HIDEREADONLY 0x00000004
#define OFN_EXPLORER 0x00080000

using LPOFNHOOKPROC = UINT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

struct OPENFILENAMEA {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCSTR lpstrFilter;
    LPSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;
    LPSTR lpstrFile;
    DWORD nMaxFile;
    LPSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCSTR lpstrInitialDir;
    LPCSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;
    WORD nFileExtension;
    LPCSTR lpstrDefExt;
    LPARAM lCustData;
    LPOFNHOOKPROC lpfnHook;
    LPCSTR lpTemplateName;
    void* pvReserved;
    DWORD dwReserved;
    DWORD FlagsEx;
};
using LPOPENFILENAMEA = OPENFILENAMEA*;

BOOL SetDlgItemTextA(HWND dialog, int control, LPCSTR text);
// Copies at most max - 1 characters and always terminates (when max > 0);
// returns the number of characters copied.
UINT GetDlgItemTextA(HWND dialog, int control, LPSTR text, int max);
HWND GetDlgItem(HWND dialog, int control);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
BOOL GetOpenFileNameA(LPOPENFILENAMEA request);
HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                        INT show);
BOOL DestroyWindow(HWND window);
void PostQuitMessage(int exitCode);
