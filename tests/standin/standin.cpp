// The stand-in's state: one dialog with its controls, the scripted answers,
// and the records the tests read back.
#include "standin.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>

// A window handle points at one of these: the dialog (control -1) or one of
// its controls.
struct StandinWindow {
    int control;
};

namespace {

struct Control {
    std::string text;
    bool checked = false;
};

struct State {
    std::map<int, Control> controls;
    std::deque<int> boxAnswers;
    std::deque<std::optional<std::string>> openFileAnswers;  // nullopt: cancel
    std::vector<standin::Box> boxes;
    std::vector<standin::OpenFileRequest> openFileRequests;
    std::vector<standin::ShellRequest> shellRequests;
    std::vector<standin::SentMessage> sent;
    std::vector<HWND> destroyed;
    std::vector<int> quitCodes;
    std::vector<std::string> log;
};

State& TheState() {
    static State state;
    return state;
}

// Handles stay valid across Reset, as a window's handle does for its life.
HWND HandleOf(int control) {
    static std::map<int, StandinWindow> windows;
    auto [it, added] = windows.try_emplace(control, StandinWindow{control});
    return &it->second;
}

std::optional<std::string> OptionalText(LPCSTR text) {
    if (text == nullptr) return std::nullopt;
    return std::string(text);
}

// A filter is a list of NUL-terminated strings ended by an empty one.
std::string FilterText(LPCSTR filter) {
    std::string all;
    if (filter == nullptr) return all;
    for (const char* s = filter; *s != '\0'; s += std::strlen(s) + 1) {
        all += s;
        all += '\0';
    }
    return all;
}

}  // namespace

namespace standin {

void Reset() { TheState() = State(); }
HWND Dialog() { return HandleOf(-1); }

void SetText(int control, std::string_view text) { TheState().controls[control].text = text; }
std::string Text(int control) { return TheState().controls[control].text; }
void SetCheck(int control, bool checked) { TheState().controls[control].checked = checked; }
bool Checked(int control) { return TheState().controls[control].checked; }

const std::vector<Box>& Boxes() { return TheState().boxes; }
void PushBoxAnswer(int answer) { TheState().boxAnswers.push_back(answer); }

const std::vector<OpenFileRequest>& OpenFileRequests() { return TheState().openFileRequests; }
void PushOpenFileAnswer(std::string path) { TheState().openFileAnswers.emplace_back(std::move(path)); }
void PushOpenFileCancel() { TheState().openFileAnswers.emplace_back(std::nullopt); }

const std::vector<ShellRequest>& ShellRequests() { return TheState().shellRequests; }
const std::vector<SentMessage>& SentMessages() { return TheState().sent; }
int ControlOf(HWND window) { return window == nullptr || window == Dialog() ? -1 : window->control; }
const std::vector<HWND>& DestroyedWindows() { return TheState().destroyed; }
const std::vector<int>& QuitCodes() { return TheState().quitCodes; }
const std::vector<std::string>& Log() { return TheState().log; }

}  // namespace standin

BOOL SetDlgItemTextA(HWND, int control, LPCSTR text) {
    State& s = TheState();
    s.controls[control].text = text;
    s.log.push_back("text " + std::to_string(control) + " " + text);
    return TRUE;
}

UINT GetDlgItemTextA(HWND, int control, LPSTR text, int max) {
    if (max <= 0) return 0;
    const std::string& held = TheState().controls[control].text;
    const size_t n = std::min(held.size(), size_t(max) - 1);
    std::memcpy(text, held.data(), n);
    text[n] = '\0';
    return UINT(n);
}

HWND GetDlgItem(HWND, int control) { return HandleOf(control); }

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    State& s = TheState();
    s.sent.push_back({window, message, wParam, lParam});
    const int control = standin::ControlOf(window);
    if (control < 0) return 0;
    if (message == BM_GETCHECK) return s.controls[control].checked ? BST_CHECKED : BST_UNCHECKED;
    if (message == BM_SETCHECK) s.controls[control].checked = wParam == BST_CHECKED;
    return 0;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    State& s = TheState();
    s.boxes.push_back({owner, text, caption, type});
    s.log.push_back(std::string("box ") + caption + ": " + text);
    if (s.boxAnswers.empty()) return (type & MB_YESNO) != 0 ? IDYES : IDOK;
    const int answer = s.boxAnswers.front();
    s.boxAnswers.pop_front();
    return answer;
}

// The handle's value is the resource name, so tests can tell icons apart.
HICON LoadIconA(HINSTANCE, LPCSTR name) { return reinterpret_cast<HICON>(const_cast<char*>(name)); }

BOOL GetOpenFileNameA(LPOPENFILENAMEA request) {
    State& s = TheState();
    s.openFileRequests.push_back({request->hwndOwner, FilterText(request->lpstrFilter),
                                  request->lpstrDefExt ? request->lpstrDefExt : "",
                                  request->lpstrFile ? request->lpstrFile : "", request->Flags,
                                  request->nMaxFile});
    if (s.openFileAnswers.empty()) return FALSE;
    const std::optional<std::string> answer = s.openFileAnswers.front();
    s.openFileAnswers.pop_front();
    if (!answer || request->lpstrFile == nullptr || answer->size() >= request->nMaxFile) return FALSE;
    std::memcpy(request->lpstrFile, answer->c_str(), answer->size() + 1);
    return TRUE;
}

HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                        INT show) {
    TheState().shellRequests.push_back(
        {owner, OptionalText(verb), file, OptionalText(parameters), OptionalText(directory), show});
    return reinterpret_cast<HINSTANCE>(UINT_PTR(33));  // above 32: success
}

BOOL DestroyWindow(HWND window) {
    TheState().destroyed.push_back(window);
    return TRUE;
}

void PostQuitMessage(int exitCode) { TheState().quitCodes.push_back(exitCode); }
