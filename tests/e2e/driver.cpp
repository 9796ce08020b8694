// brevox-driver: drives a running dialog program from outside, as a person
// would, through its controls. A Win32 console program, run under Wine next
// to the program under test.
//
//   brevox-driver SCRIPT          runs the steps of SCRIPT, one per line
//   brevox-driver record FILE ARG appends the line ARG to FILE (stands in
//                                 for the player the shell starts on Autoplay)
//   brevox-driver monkey EXE DIR SEED STEPS FILE...
//                                 starts EXE in DIR and takes STEPS random
//                                 steps (see Monkey), FILEs being paths of
//                                 existing files to type into the fields
//
// Steps, one per line; # starts a comment. Arguments are bare words, taken
// as they are (Windows paths), or "quoted texts" with the escapes \\ \" \r \n
// and \xHH (Windows-1252 bytes).
//   start EXE [DIR]          start EXE in DIR and wait for its dialog
//   set ID "text"            put text into control ID
//   text ID "text"           control ID shows exactly this text
//   checked ID 0|1           check box ID is unchecked or checked
//   toggle ID                click check box ID
//   focus ID                 control ID has the keyboard focus
//   setfocus ID              move the keyboard focus to control ID
//   click ID                 press button ID; returns when its command has
//                            ended or a box or picker is waiting for an answer
//   box "title" "text" OK|YES|NO   a message box owned by the dialog shows
//                            this title and text; press that button
//   nobox                    no box or picker is open
//   pick "path"|CANCEL       the file picker is open: type path and Open, or Cancel
//   filter "text"            the open picker's selected file type reads text
//   key ID ESCAPE|ENTER|TAB  post the key to control ID through the message loop
//   idle                     wait until everything posted so far has been
//                            handled without opening a box (by pressing
//                            "A propos" and closing its box, which must come
//                            first; the focus is then on "A propos")
//   same FILE1 FILE2         the two files are byte for byte identical
//   missing FILE             FILE does not exist
//   played FILE [PATH...]    FILE (written by "record") lists exactly these
//                            paths, one per line: the files Autoplay played
//   close                    close the window with its system menu command
//   exit CODE                the program ends with exit code CODE
//   detach                   leave the program running when the script ends
//
// Every wait has a time-out. A failing step prints its line and the reason,
// the program under test is ended, and the exit status is 1.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr DWORD WaitTimeout = 15000;    // ms, for windows and the program's answers
constexpr DWORD PollInterval = 20;      // ms between looks while waiting
constexpr int MessageBoxTextId = 0xFFFF;
constexpr int PickerFileNameId = 0x47C;  // the Explorer-style picker's file name box
constexpr int PickerFileTypeId = 0x470;  // its file type list
constexpr int AboutId = 1001;
const char DialogClass[] = "#32770";
const char MainTitle[] = "Brevox v2.0";

struct Failure {
    std::string reason;
};

[[noreturn]] void Fail(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    throw Failure{text};
}

// The state of the program under test.
PROCESS_INFORMATION Program = {};
HWND MainDialog = nullptr;
bool ClickPending = false;  // a click sent and not yet answered

void CALLBACK ClickDone(HWND, UINT, ULONG_PTR, LRESULT) {
    ClickPending = false;
}

// Lets this thread receive the answers of sent clicks, and waits one interval.
void Pump() {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, PollInterval, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

template <typename Done>
bool WaitFor(Done done) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > WaitTimeout) return false;
        Pump();
    }
    return true;
}

std::string ClassOf(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// Reads a window's text across processes.
std::string TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_BLOCK, WaitTimeout, &length))
        Fail("no answer to WM_GETTEXTLENGTH");
    std::vector<char> text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), LPARAM(text.data()), SMTO_BLOCK, WaitTimeout,
                             &copied))
        Fail("no answer to WM_GETTEXT");
    return std::string(text.data(), copied);
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_BLOCK, WaitTimeout, &result))
        Fail("no answer to message 0x%X", message);
    return LRESULT(result);
}

HWND Control(int id) {
    HWND control = GetDlgItem(MainDialog, id);
    if (!control) Fail("no control %d", id);
    return control;
}

// Visible top-level dialogs of the program besides the main one: the message
// boxes and pickers it owns, and any box the system shows on its behalf.
std::vector<HWND> OwnedDialogs() {
    std::vector<HWND> found;
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (process == Program.dwProcessId && window != MainDialog && IsWindowVisible(window) &&
                ClassOf(window) == DialogClass)
                reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
            return TRUE;
        },
        LPARAM(&found));
    return found;
}

bool IsPicker(HWND window) {
    return GetDlgItem(window, PickerFileNameId) != nullptr;
}

// Waits until the pending click has been answered or a box or picker waits
// for the user; then the program's thread is idle or inside that box's loop.
void Settle() {
    if (!WaitFor([] { return !ClickPending || !OwnedDialogs().empty(); }))
        Fail("the program did not finish the command nor open a box");
    for (HWND box : OwnedDialogs()) Send(box, WM_NULL, 0, 0);
}

HWND WaitForOwned(bool picker) {
    HWND found = nullptr;
    WaitFor([&] {
        for (HWND window : OwnedDialogs())
            if (IsPicker(window) == picker) found = window;
        return found != nullptr;
    });
    if (!found) Fail(picker ? "no file picker opened" : "no message box opened");
    Send(found, WM_NULL, 0, 0);
    return found;
}

// Presses a button of a box or picker and waits for the box to go and the
// command to finish or open its next box.
void Answer(HWND box, int button) {
    HWND control = GetDlgItem(box, button);
    if (!control) Fail("the box has no button %d", button);
    // Posted, not sent: the box's loop then wakes up to see that it has ended.
    PostMessageA(control, BM_CLICK, 0, 0);
    if (!WaitFor([&] { return !IsWindow(box); })) Fail("the box did not close");
    Settle();
}

HWND FindMainDialog(DWORD processId) {
    struct Search {
        DWORD processId;
        HWND found;
    } search = {processId, nullptr};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            char title[64] = "";
            GetWindowTextA(window, title, sizeof title);
            if (owner == s->processId && ClassOf(window) == DialogClass && std::strcmp(title, MainTitle) == 0 &&
                IsWindowVisible(window))
                s->found = window;
            return s->found == nullptr;
        },
        LPARAM(&search));
    return search.found;
}

std::string ReadFile(const std::string& path, bool* ok) {
    std::string bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    *ok = file != nullptr;
    if (!file) return bytes;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
    std::fclose(file);
    return bytes;
}

// Shows bytes outside printable ASCII as \xHH, so a failure names the accents.
std::string Escaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        char hex[8];
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += char(c);
        } else {
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

void Expect(const std::string& what, const std::string& seen, const std::string& wanted) {
    if (seen != wanted)
        Fail("%s reads \"%s\", expected \"%s\"", what.c_str(), Escaped(seen).c_str(), Escaped(wanted).c_str());
}

int ParseInt(const std::string& word) {
    char* end = nullptr;
    long value = std::strtol(word.c_str(), &end, 0);
    if (word.empty() || *end) Fail("not a number: %s", word.c_str());
    return int(value);
}

int ButtonId(const std::string& name) {
    if (name == "OK") return IDOK;
    if (name == "YES") return IDYES;
    if (name == "NO") return IDNO;
    if (name == "CANCEL") return IDCANCEL;
    Fail("unknown button %s", name.c_str());
}

void PostKey(HWND control, WPARAM key) {
    UINT scan = MapVirtualKeyA(UINT(key), MAPVK_VK_TO_VSC);
    PostMessageA(control, WM_KEYDOWN, key, LPARAM(1 | scan << 16));
    PostMessageA(control, WM_KEYUP, key, LPARAM(1 | scan << 16 | 3u << 30));
}

void Start(const std::vector<std::string>& args) {
    if (args.size() < 2) Fail("start needs a program");
    std::string commandLine = "\"" + args[1] + "\"";
    const char* directory = args.size() > 2 ? args[2].c_str() : nullptr;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(args[1].c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, directory, &startup,
                        &Program))
        Fail("cannot start %s (error %lu)", args[1].c_str(), GetLastError());
    if (!WaitFor([] { return (MainDialog = FindMainDialog(Program.dwProcessId)) != nullptr; }))
        Fail("no window titled \"%s\" appeared", MainTitle);
    Send(MainDialog, WM_NULL, 0, 0);
}

void RunStep(const std::vector<std::string>& args) {
    const std::string& step = args[0];
    auto need = [&](size_t count) {
        if (args.size() != count + 1) Fail("%s takes %zu arguments", step.c_str(), count);
    };
    if (step == "start") return Start(args);
    if (!MainDialog && step != "same" && step != "missing" && step != "played") Fail("no program started");

    if (step == "set") {
        need(2);
        if (!Send(Control(ParseInt(args[1])), WM_SETTEXT, 0, LPARAM(args[2].c_str()))) Fail("WM_SETTEXT refused");
    } else if (step == "text") {
        need(2);
        Expect("control " + args[1], TextOf(Control(ParseInt(args[1]))), args[2]);
    } else if (step == "checked") {
        need(2);
        LRESULT state = Send(Control(ParseInt(args[1])), BM_GETCHECK, 0, 0);
        if ((state == BST_CHECKED) != (ParseInt(args[2]) != 0))
            Fail("check box %s is %s", args[1].c_str(), state == BST_CHECKED ? "checked" : "unchecked");
    } else if (step == "focus") {
        need(1);
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(Program.dwThreadId, &info)) Fail("no thread information");
        int focused = info.hwndFocus ? GetDlgCtrlID(info.hwndFocus) : -1;
        if (focused != ParseInt(args[1])) Fail("the focus is on control %d", focused);
    } else if (step == "setfocus") {
        need(1);
        // As the dialog manager moves it, so that the default button follows.
        Send(MainDialog, WM_NEXTDLGCTL, WPARAM(Control(ParseInt(args[1]))), TRUE);
    } else if (step == "click" || step == "toggle") {
        need(1);
        if (!OwnedDialogs().empty()) Fail("a box is open");
        ClickPending = true;
        if (!SendMessageCallbackA(Control(ParseInt(args[1])), BM_CLICK, 0, 0, ClickDone, 0))
            Fail("the click could not be sent");
        Settle();
    } else if (step == "box") {
        need(3);
        HWND box = WaitForOwned(false);
        Expect("the box's title", TextOf(box), args[1]);
        HWND text = GetDlgItem(box, MessageBoxTextId);
        if (!text) Fail("the box has no text");
        Expect("the box's text", TextOf(text), args[2]);
        Answer(box, ButtonId(args[3]));
    } else if (step == "nobox") {
        need(0);
        std::vector<HWND> open = OwnedDialogs();
        if (!open.empty()) Fail("a box is open: \"%s\"", Escaped(TextOf(open[0])).c_str());
    } else if (step == "pick") {
        need(1);
        HWND picker = WaitForOwned(true);
        if (args[1] == "CANCEL") return Answer(picker, IDCANCEL);
        if (!Send(GetDlgItem(picker, PickerFileNameId), WM_SETTEXT, 0, LPARAM(args[1].c_str())))
            Fail("the file name was refused");
        Answer(picker, IDOK);
    } else if (step == "filter") {
        need(1);
        HWND types = GetDlgItem(WaitForOwned(true), PickerFileTypeId);
        if (!types) Fail("the picker has no file type list");
        LRESULT index = Send(types, CB_GETCURSEL, 0, 0);
        LRESULT length = Send(types, CB_GETLBTEXTLEN, WPARAM(index), 0);
        if (index < 0 || length < 0) Fail("no file type selected");
        // Read as UTF-16: Wine passes only the first letter of a list item
        // to an ANSI caller in another process.
        std::vector<wchar_t> wide(size_t(length) + 1, L'\0');
        DWORD_PTR copied = 0;
        if (!SendMessageTimeoutW(types, CB_GETLBTEXT, WPARAM(index), LPARAM(wide.data()), SMTO_BLOCK, WaitTimeout,
                                 &copied))
            Fail("no answer to CB_GETLBTEXT");
        char text[512] = "";
        WideCharToMultiByte(1252, 0, wide.data(), -1, text, sizeof text, nullptr, nullptr);
        Expect("the file type", text, args[1]);
    } else if (step == "key") {
        need(2);
        WPARAM key = args[2] == "ESCAPE" ? VK_ESCAPE : args[2] == "ENTER" ? VK_RETURN : args[2] == "TAB" ? VK_TAB : 0;
        if (!key) Fail("unknown key %s", args[2].c_str());
        PostKey(Control(ParseInt(args[1])), key);
    } else if (step == "idle") {
        need(0);
        // Posted messages are handled in order, so once a click on "A propos"
        // posted now has opened its box, everything posted before has been
        // handled, and without opening a box of its own.
        PostMessageA(Control(AboutId), BM_CLICK, 0, 0);
        HWND box = WaitForOwned(false);
        Expect("the first box", TextOf(box), "A propos");
        ClickPending = false;
        Answer(box, IDOK);
    } else if (step == "same") {
        need(2);
        bool okA, okB;
        std::string a = ReadFile(args[1], &okA), b = ReadFile(args[2], &okB);
        if (!okA || !okB) Fail("cannot read %s", (okA ? args[2] : args[1]).c_str());
        if (a != b) {
            size_t at = 0;
            while (at < a.size() && at < b.size() && a[at] == b[at]) at++;
            Fail("the files differ at byte %zu (sizes %zu and %zu)", at, a.size(), b.size());
        }
    } else if (step == "missing") {
        need(1);
        if (GetFileAttributesA(args[1].c_str()) != INVALID_FILE_ATTRIBUTES) Fail("%s exists", args[1].c_str());
    } else if (step == "played") {
        if (args.size() < 2) Fail("played needs a file");
        std::string wanted;
        for (size_t i = 2; i < args.size(); i++) wanted += args[i] + "\n";
        bool ok = false;
        std::string seen;
        WaitFor([&] { return (seen = ReadFile(args[1], &ok)) == wanted; });
        Expect("the list of played files", seen, wanted);
    } else if (step == "close") {
        need(0);
        PostMessageA(MainDialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else if (step == "detach") {
        need(0);
        // Leaves the program running after the script, for a screenshot.
        CloseHandle(Program.hProcess);
        Program = {};
        MainDialog = nullptr;
    } else if (step == "exit") {
        need(1);
        if (WaitForSingleObject(Program.hProcess, WaitTimeout) != WAIT_OBJECT_0) Fail("the program is still running");
        DWORD code = 0;
        GetExitCodeProcess(Program.hProcess, &code);
        if (int(code) != ParseInt(args[1])) Fail("exit code %d", int(code));
        MainDialog = nullptr;
    } else {
        Fail("unknown step");
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Splits a script line into words and quoted texts.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            i++;
        } else if (line[i] == '#') {
            break;
        } else if (line[i] == '"') {
            std::string word;
            for (i++; i < line.size() && line[i] != '"'; i++) {
                if (line[i] != '\\' || i + 1 == line.size()) {
                    word += line[i];
                    continue;
                }
                char c = line[++i];
                if (c == 'x' && i + 2 < line.size() && HexDigit(line[i + 1]) >= 0 && HexDigit(line[i + 2]) >= 0) {
                    word += char(HexDigit(line[i + 1]) * 16 + HexDigit(line[i + 2]));
                    i += 2;
                } else {
                    word += c == 'r' ? '\r' : c == 'n' ? '\n' : c;
                }
            }
            if (i == line.size()) Fail("unterminated text");
            i++;
            words.push_back(word);
        } else {
            size_t end = line.find_first_of(" \t\r", i);
            if (end == std::string::npos) end = line.size();
            words.push_back(line.substr(i, end - i));
            i = end;
        }
    }
    return words;
}

int RunScript(const char* path) {
    FILE* script = std::fopen(path, "r");
    if (!script) {
        std::printf("FAIL %s: cannot open the script\n", path);
        return 1;
    }
    char line[2048];
    int number = 0;
    int status = 0;
    while (status == 0 && std::fgets(line, sizeof line, script)) {
        number++;
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        try {
            std::vector<std::string> words = Words(text);
            if (words.empty()) continue;
            DWORD start = GetTickCount();
            RunStep(words);
            std::printf("ok   %d: %s (%lu ms)\n", number, text.c_str(), GetTickCount() - start);
        } catch (const Failure& failure) {
            std::printf("FAIL %s:%d: %s\n  %s\n", path, number, text.c_str(), failure.reason.c_str());
            status = 1;
        }
    }
    std::fclose(script);
    if (Program.hProcess && WaitForSingleObject(Program.hProcess, 0) == WAIT_TIMEOUT) {
        if (status == 0) std::printf("FAIL %s: the program is still running at the end\n", path);
        TerminateProcess(Program.hProcess, 99);
        status = 1;
    }
    return status;
}

// The monkey test: random texts in the fields (paths of existing files,
// garbage, nothing, long texts, numbers in and out of range), check boxes
// toggled and every button pressed; each box that appears is answered with
// one of its buttons at random, each picker cancelled. After every step the
// program must still run and its window answer. The seed and every step are
// printed, so that a failure can be replayed.
constexpr int MonkeyFields[] = {1002, 1003, 1005, 1009, 1015};
constexpr int MonkeyChecks[] = {1008, 1012, 1013};
constexpr int MonkeyButtons[] = {1000, 1001, 1004, 1006, 1007, 1010, 1014, 1016};
constexpr int MaxAnswersPerStep = 10;
const char* const MonkeyNumbers[] = {"0",  "1",  "2",   "C0",       "BF",       "388",      "411",
                                     "412", "-1", "-5", "7FFFFFFF", "80000000", "FFFFFFFF", "100000000",
                                     "0x1000", "2147483648", "99999999999999999999"};

using Random = std::mt19937;

size_t Below(Random& random, size_t n) { return random() % n; }

// Letters, digits and punctuation, but no path separators: a garbage path
// stays in the program's folder.
std::string Garbage(Random& random, size_t length) {
    const char alphabet[] = "abcXYZ0189 -_#!%&()+,;=@[]{}~\xe9\xe0";
    std::string text;
    for (size_t i = 0; i < length; i++) text += alphabet[Below(random, sizeof alphabet - 1)];
    return text;
}

// A text the field could hold: a ROM or WAV path, or a number of its kind.
std::string FittingText(Random& random, int field, const std::vector<std::string>& files) {
    char text[32];
    if (field == 1002 || field == 1003) {
        const char* extension = field == 1002 ? ".gba" : ".wav";
        std::vector<std::string> fitting;
        for (const std::string& file : files)
            if (file.size() > 4 && file.compare(file.size() - 4, 4, extension) == 0) fitting.push_back(file);
        if (fitting.empty() || Below(random, 4) == 0) {
            std::snprintf(text, sizeof text, "new-%u%s", unsigned(Below(random, 8)), extension);
            return text;
        }
        return fitting[Below(random, fitting.size())];
    }
    if (field == 1009) std::snprintf(text, sizeof text, "%u", unsigned(1 + Below(random, 420)));
    else if (field == 1005) std::snprintf(text, sizeof text, "%s", Below(random, 2) ? "1000" : "3A8C0");
    else std::snprintf(text, sizeof text, "%X", unsigned(Below(random, 0x40000)));
    return text;
}

std::string MonkeyText(Random& random, int field, const std::vector<std::string>& files) {
    char number[16];
    switch (Below(random, 12)) {
    case 0: return files[Below(random, files.size())];
    case 1: return "";
    case 2: return Garbage(random, 1 + Below(random, 20));
    case 3: return std::string(200 + Below(random, 2000), char('A' + Below(random, 26)));
    case 4: std::snprintf(number, sizeof number, "%X", unsigned(Below(random, 0x40000))); return number;
    case 5: return MonkeyNumbers[Below(random, std::size(MonkeyNumbers))];
    default: return FittingText(random, field, files);
    }
}

// Answers every box and picker the step opens until its command has ended.
void AnswerAtRandom(Random& random) {
    Settle();
    std::vector<HWND> open;
    for (int answered = 0; !(open = OwnedDialogs()).empty(); answered++) {
        if (answered == MaxAnswersPerStep) Fail("box after box: \"%s\"", Escaped(TextOf(open[0])).c_str());
        HWND box = open[0];
        std::vector<int> buttons;
        for (int button : {IDOK, IDYES, IDNO})
            if (GetDlgItem(box, button)) buttons.push_back(button);
        if (IsPicker(box) || buttons.empty()) buttons = {IDCANCEL};
        int button = buttons[Below(random, buttons.size())];
        HWND text = GetDlgItem(box, MessageBoxTextId);
        std::printf("      answer %s \"%s\" with %d\n", Escaped(TextOf(box)).c_str(),
                    text ? Escaped(TextOf(text)).c_str() : "", button);
        Answer(box, button);
    }
}

void MonkeyStep(Random& random, const std::vector<std::string>& files) {
    const size_t kind = Below(random, 20);
    if (kind < 8) {
        int field = MonkeyFields[Below(random, std::size(MonkeyFields))];
        std::string text = MonkeyText(random, field, files);
        std::printf("set %d \"%s\"%s\n", field, Escaped(text.substr(0, 60)).c_str(), text.size() > 60 ? "..." : "");
        Send(Control(field), WM_SETTEXT, 0, LPARAM(text.c_str()));
        return;
    }
    int control = kind < 11 ? MonkeyChecks[Below(random, std::size(MonkeyChecks))]
                            : MonkeyButtons[Below(random, std::size(MonkeyButtons))];
    std::printf("click %d\n", control);
    ClickPending = true;
    if (!SendMessageCallbackA(Control(control), BM_CLICK, 0, 0, ClickDone, 0)) Fail("the click could not be sent");
    AnswerAtRandom(random);
}

int Monkey(int argc, char** argv) {
    const unsigned seed = unsigned(std::strtoul(argv[4], nullptr, 0));
    const int steps = std::atoi(argv[5]);
    std::vector<std::string> files(argv + 6, argv + argc);
    if (files.empty()) files.push_back(argv[3]);
    std::printf("monkey seed %u, %d steps\n", seed, steps);
    Random random(seed);
    const DWORD started = GetTickCount();
    int status = 0;
    int step = 0;
    try {
        Start({"start", argv[2], argv[3]});
        for (; step < steps; step++) {
            std::printf("%4d: ", step + 1);
            MonkeyStep(random, files);
            if (WaitForSingleObject(Program.hProcess, 0) != WAIT_TIMEOUT) Fail("the program has ended");
            Send(MainDialog, WM_NULL, 0, 0);
        }
        RunStep({"close"});
        RunStep({"exit", "0"});
        std::printf("monkey: %d steps, seed %u, %lu s: the program ran and answered throughout\n", steps, seed,
                    (GetTickCount() - started) / 1000);
    } catch (const Failure& failure) {
        std::printf("FAIL monkey seed %u at step %d: %s\n", seed, step + 1, failure.reason.c_str());
        status = 1;
    }
    if (Program.hProcess && WaitForSingleObject(Program.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(Program.hProcess, 99);
    return status;
}

// Appends the name of one played file to `path`.
int Record(const char* path, const char* played) {
    FILE* out = std::fopen(path, "ab");
    if (!out) return 1;
    std::fprintf(out, "%s\n", played);
    return std::fclose(out) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 4 && std::strcmp(argv[1], "record") == 0) return Record(argv[2], argv[3]);
    if (argc >= 6 && std::strcmp(argv[1], "monkey") == 0) return Monkey(argc, argv);
    if (argc == 2) return RunScript(argv[1]);
    std::fprintf(stderr,
                 "usage: brevox-driver SCRIPT | brevox-driver record FILE ARG\n"
                 "       brevox-driver monkey EXE DIR SEED STEPS FILE...\n");
    return 2;
}
