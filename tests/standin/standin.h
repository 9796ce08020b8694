// The tests' side of the Win32 stand-in: set the dialog's fields and check
// boxes, script the answers of message boxes and file pickers, and read back
// everything the code under test did.
//
// There is one dialog, Dialog(). Its controls are known by number; a control
// that was never set reads as empty text and unchecked.
//
// Answers: each message box takes the next queued answer; with none queued it
// gets its first button (IDOK, or IDYES for a MB_YESNO box). Each file picker
// takes the next queued answer; with none queued it is cancelled, and a path
// that does not fit the caller's buffer fails as the real picker does.
// LoadIconA's handle has the resource name as its value.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

namespace standin {

// Forgets every text, check state, record and queued answer.
void Reset();

HWND Dialog();

void SetText(int control, std::string_view text);
std::string Text(int control);
void SetCheck(int control, bool checked);
bool Checked(int control);

struct Box {
    HWND owner;
    std::string text;
    std::string title;
    UINT flags;
};
const std::vector<Box>& Boxes();
void PushBoxAnswer(int answer);

struct OpenFileRequest {
    HWND owner;
    std::string filter;  // the pairs, each string followed by '\0'
    std::string defaultExtension;
    std::string initialFile;  // what the buffer held when the picker opened
    DWORD flags;
    DWORD bufferSize;
};
const std::vector<OpenFileRequest>& OpenFileRequests();
void PushOpenFileAnswer(std::string path);
void PushOpenFileCancel();

struct ShellRequest {
    HWND owner;
    std::optional<std::string> verb;  // nullopt: the default verb
    std::string file;
    std::optional<std::string> parameters;
    std::optional<std::string> directory;
    int show;
};
const std::vector<ShellRequest>& ShellRequests();

struct SentMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
const std::vector<SentMessage>& SentMessages();
int ControlOf(HWND window);  // the control number behind a GetDlgItem handle, or -1

const std::vector<HWND>& DestroyedWindows();
const std::vector<int>& QuitCodes();

// Field writes and message boxes in the order they happened, as
// "text <control> <text>" and "box <title>: <text>".
const std::vector<std::string>& Log();

}  // namespace standin
