// Acts on norvexflash.exe as a person would, for the end-to-end scripts.
// Runs under the same Wine prefix and display as the program.
//
//   clicker [--raw] COMMAND [ARGS]
//
//   wait-window TITLE_SUBSTR [secs]   wait for the main window; print its caption
//   wait-gone [secs]                  wait until the main window is gone
//   wait-box TEXT_SUBSTR [secs]       wait for a message box; print its text
//   box-text                          print the text of the message box shown now
//   press-box Yes|No|OK               answer the message box shown now
//   caption | label | status          main window caption, label, status line
//   wait-status TEXT_SUBSTR [secs]    wait for the status line; print it
//   combo-items | combo-index         combo box items (one a line) | selected item
//   combo-select N                    choose combo item N (as a person would)
//   files | file-click N              file list items | click file N
//   file-list-visible                 prints 1 or 0
//   button                            button caption, a blank, "enabled"/"disabled"
//   press-button                      click the button without waiting for its work
//   progress                          progress bar position
//   close                             close the main window (WM_CLOSE posted)
//   send-close                        WM_CLOSE sent, as the taskbar and "End task" do
//   syscommand-close                  SC_CLOSE posted, as the title bar's button does
//   query-end-session                 send WM_QUERYENDSESSION; print the answer (0: refused)
//   visible                           prints 1 when the main window is visible, else 0
//   watch-visible SECS                poll every 10 ms until the main window has come
//                                     and gone (or SECS); print 1 if it was ever visible
//   focus                             ID of the main window's control with the focus (0: none)
//   keys KEY...                       type keys into the foreground window: tab,
//                                     shift+tab, enter, space, down, alt+f4 or a letter
//   responsive STATUS_SUBSTR SECS     send WM_NULL back to back until the status line
//                                     holds STATUS_SUBSTR or the window is gone; print the
//                                     longest answer time; exit 1 on any answer > 1 s
//
// Control IDs of the main window (class "TFlashForm"), all children of the
// panel (ID 100): label 101, combo box 102, file list 103, group box 104,
// progress bar 105, button 106. Message boxes: class "#32770", title
// "NORVEX Windows Flash utility", text in the static with ID 0xFFFF.
//
// Texts are printed with \n, \r, \t, \\ and \xHH escapes, one a line, unless
// --raw is given: then the exact bytes with no line end after the last text
// (list items are still separated by one \n). Exit code 0: done or
// found; 1: not found or timed out; 2: bad usage.
#include <windows.h>
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <cwchar>

namespace {
constexpr const char* kTitle = "NORVEX Windows Flash utility";
constexpr int kIdLabel = 101, kIdCombo = 102, kIdFileList = 103, kIdGroup = 104, kIdProgress = 105,
              kIdButton = 106, kIdBoxText = 0xFFFF;
constexpr DWORD kSendTimeoutMs = 5000;
bool raw = false;

void Print(const std::string& text) {
    if (raw) {
        fwrite(text.data(), 1, text.size(), stdout);
        return;
    }
    std::string out;
    for (unsigned char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\\')
            out += "\\\\";
        else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    out += '\n';
    fwrite(out.data(), 1, out.size(), stdout);
}

// Texts cross the process boundary as UTF-16 (Wine marshals ANSI list texts
// as wide characters), so they are asked for wide and turned back into the
// program's 8-bit text here.
std::string Narrow(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    int n =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), text.data(), n, nullptr,
                            nullptr);
    return text;
}

LRESULT SendW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &result))
        return -1;
    return LRESULT(result);
}

// Asks for a text of at most `length` characters with `message`.
std::string Fetch(HWND window, UINT message, WPARAM wParam, LRESULT length, bool sizeInWParam) {
    if (length < 0) return std::string();
    // Room to spare: a length reported in bytes can exceed the characters.
    std::wstring wide(size_t(length) * 2 + 2, L'\0');
    LRESULT got =
        SendW(window, message, sizeInWParam ? WPARAM(wide.size()) : wParam, LPARAM(wide.data()));
    if (got < 0) return std::string();
    wide.resize(wcsnlen(wide.data(), wide.size()));
    return Narrow(wide);
}

std::string Text(HWND window) {
    return Fetch(window, WM_GETTEXT, 0, SendW(window, WM_GETTEXTLENGTH, 0, 0), true);
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &result);
    return LRESULT(result);
}

HWND MainWindow() {
    return FindWindowA("TFlashForm", nullptr);
}

HWND Control(int id) {
    HWND main = MainWindow();
    if (!main) return nullptr;
    HWND panel = GetDlgItem(main, 100);
    return panel ? GetDlgItem(panel, id) : nullptr;
}

struct BoxSearch {
    HWND found = nullptr;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (strcmp(name, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    if (Text(window) != kTitle) return TRUE;
    reinterpret_cast<BoxSearch*>(param)->found = window;
    return FALSE;
}

HWND MessageBoxWindow() {
    BoxSearch search;
    EnumWindows(FindBox, LPARAM(&search));
    return search.found;
}

std::string BoxText(HWND box) {
    HWND text = GetDlgItem(box, kIdBoxText);
    return text ? Text(text) : std::string();
}

// Polls `found` every 100 ms for up to `seconds`.
template <typename F>
bool WaitFor(double seconds, F found) {
    DWORD end = GetTickCount() + DWORD(seconds * 1000);
    for (;;) {
        if (found()) return true;
        if (int(GetTickCount() - end) >= 0) return false;
        Sleep(100);
    }
}

double Seconds(int argc, char** argv, int index, double fallback) {
    return argc > index ? atof(argv[index]) : fallback;
}

std::string Item(HWND control, UINT lengthMessage, UINT textMessage, int index) {
    return Fetch(control, textMessage, WPARAM(index),
                 SendW(control, lengthMessage, WPARAM(index), 0), false);
}

int PrintList(int id, UINT countMessage, UINT lengthMessage, UINT textMessage) {
    HWND control = Control(id);
    if (!control) return 1;
    LRESULT count = Send(control, countMessage, 0, 0);
    for (int i = 0; i < int(count); ++i) {
        if (raw && i > 0) fputc('\n', stdout);
        Print(Item(control, lengthMessage, textMessage, i));
    }
    return 0;
}

// Selects item N and tells the window, as the control does after a click.
int Choose(int id, UINT selectMessage, WORD notification, int index) {
    HWND control = Control(id);
    if (!control) return 1;
    if (Send(control, selectMessage, WPARAM(index), 0) < 0) return 1;
    Send(GetParent(control), WM_COMMAND, MAKEWPARAM(id, notification), LPARAM(control));
    return 0;
}

int PrintControlText(int id) {
    HWND control = Control(id);
    if (!control) return 1;
    Print(Text(control));
    return 0;
}

// The main window's control that has the keyboard focus (an edit field
// inside the combo box counts as the combo box).
int FocusedId() {
    HWND main = MainWindow();
    if (!main) return 0;
    // Sharing the program's input state makes GetFocus answer for it.
    DWORD theirs = GetWindowThreadProcessId(main, nullptr), ours = GetCurrentThreadId();
    if (!AttachThreadInput(ours, theirs, TRUE)) return 0;
    HWND focus = GetFocus();
    AttachThreadInput(ours, theirs, FALSE);
    for (HWND w = focus; w && w != main; w = GetParent(w)) {
        int id = GetDlgCtrlID(w);
        if (id > 100 && id <= 106) return id;
    }
    return 0;
}

void Key(BYTE vk, bool up) {
    keybd_event(vk, BYTE(MapVirtualKeyA(vk, 0)), up ? KEYEVENTF_KEYUP : 0, 0);
}

// One key, with its modifier held around it.
bool TypeKey(const std::string& spec) {
    BYTE modifier = 0;
    std::string key = spec;
    if (key.rfind("shift+", 0) == 0) {
        modifier = VK_SHIFT;
        key = key.substr(6);
    } else if (key.rfind("alt+", 0) == 0) {
        modifier = VK_MENU;
        key = key.substr(4);
    }
    BYTE vk = 0;
    if (key == "tab")
        vk = VK_TAB;
    else if (key == "enter")
        vk = VK_RETURN;
    else if (key == "space")
        vk = VK_SPACE;
    else if (key == "f4")
        vk = VK_F4;
    else if (key == "down")
        vk = VK_DOWN;
    else if (key.size() == 1 && isalpha(static_cast<unsigned char>(key[0])))
        vk = BYTE(toupper(static_cast<unsigned char>(key[0])));
    else
        return false;
    if (modifier) Key(modifier, false);
    Key(vk, false);
    Key(vk, true);
    if (modifier) Key(modifier, true);
    Sleep(200);  // the program takes each key before the next
    return true;
}

double Now() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return double(count.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

// Sends WM_NULL back to back: an answer takes as long as the window's thread
// goes without looking at its messages, so the longest answer is the longest
// such stretch (to within one round trip).
int Responsive(const std::string& want, double seconds) {
    HWND main = MainWindow();
    if (!main) return 1;
    const double start = Now(), end = start + seconds * 1000;
    double longest = 0, longestAt = 0, lastStatus = 0;
    long samples = 0, late = 0;
    bool reached = false;
    while (Now() < end && IsWindow(main)) {
        double sent = Now();
        DWORD_PTR result = 0;
        BOOL answered = SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
        double took = Now() - sent;
        if (!IsWindow(main)) break;
        ++samples;
        if (!answered || took > 1000) ++late;
        if (took > longest) {
            longest = took;
            longestAt = sent - start;
        }
        if (Now() - lastStatus > 200) {
            lastStatus = Now();
            HWND group = Control(kIdGroup);
            if (group && Text(group).find(want) != std::string::npos) {
                reached = true;
                break;
            }
        }
    }
    printf("longest %.1f ms at %.1f s; %ld answers, %ld late; %s\n", longest, longestAt / 1000,
           samples, late, reached ? "status reached" : "status not reached");
    return reached && late == 0 ? 0 : 1;
}

int Usage() {
    fprintf(stderr, "usage: clicker [--raw] COMMAND [ARGS] (see the source for commands)\n");
    return 2;
}
}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    int first = 1;
    if (argc > 1 && strcmp(argv[1], "--raw") == 0) {
        raw = true;
        ++first;
    }
    if (argc <= first) return Usage();
    std::string command = argv[first];
    argv += first;
    argc -= first;  // argv[0] is now the command

    if (command == "wait-window") {
        if (argc < 2) return Usage();
        std::string want = argv[1];
        std::string caption;
        bool ok = WaitFor(Seconds(argc, argv, 2, 30), [&] {
            HWND main = MainWindow();
            if (!main || !IsWindowVisible(main)) return false;
            caption = Text(main);
            return caption.find(want) != std::string::npos;
        });
        if (ok) Print(caption);
        return ok ? 0 : 1;
    }
    if (command == "wait-gone") {
        return WaitFor(Seconds(argc, argv, 1, 30), [] { return MainWindow() == nullptr; }) ? 0 : 1;
    }
    if (command == "wait-box") {
        if (argc < 2) return Usage();
        std::string want = argv[1];
        std::string text;
        bool ok = WaitFor(Seconds(argc, argv, 2, 30), [&] {
            HWND box = MessageBoxWindow();
            if (!box) return false;
            text = BoxText(box);
            return text.find(want) != std::string::npos;
        });
        if (ok) Print(text);
        return ok ? 0 : 1;
    }
    if (command == "box-text") {
        HWND box = MessageBoxWindow();
        if (!box) return 1;
        Print(BoxText(box));
        return 0;
    }
    if (command == "press-box") {
        if (argc < 2) return Usage();
        std::string answer = argv[1];
        int id = answer == "Yes" ? IDYES : answer == "No" ? IDNO : answer == "OK" ? IDOK : 0;
        if (!id) return Usage();
        HWND box = MessageBoxWindow();
        HWND button = box ? GetDlgItem(box, id) : nullptr;
        if (!button) return 1;
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(button));
        // Done when this box is gone (another may follow at once).
        return WaitFor(30, [&] { return !IsWindow(box) || !IsWindowVisible(box); }) ? 0 : 1;
    }
    if (command == "caption") {
        HWND main = MainWindow();
        if (!main) return 1;
        Print(Text(main));
        return 0;
    }
    if (command == "label") return PrintControlText(kIdLabel);
    if (command == "status") return PrintControlText(kIdGroup);
    if (command == "wait-status") {
        if (argc < 2) return Usage();
        std::string want = argv[1];
        std::string status;
        bool ok = WaitFor(Seconds(argc, argv, 2, 30), [&] {
            HWND group = Control(kIdGroup);
            if (!group) return false;
            status = Text(group);
            return status.find(want) != std::string::npos;
        });
        if (ok) Print(status);
        return ok ? 0 : 1;
    }
    if (command == "combo-items")
        return PrintList(kIdCombo, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
    if (command == "combo-index") {
        HWND combo = Control(kIdCombo);
        if (!combo) return 1;
        printf("%d\n", int(Send(combo, CB_GETCURSEL, 0, 0)));
        return 0;
    }
    if (command == "combo-select") {
        if (argc < 2) return Usage();
        return Choose(kIdCombo, CB_SETCURSEL, CBN_SELCHANGE, atoi(argv[1]));
    }
    if (command == "files") return PrintList(kIdFileList, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT);
    if (command == "file-click") {
        if (argc < 2) return Usage();
        return Choose(kIdFileList, LB_SETCURSEL, LBN_SELCHANGE, atoi(argv[1]));
    }
    if (command == "file-list-visible") {
        HWND list = Control(kIdFileList);
        if (!list) return 1;
        printf("%d\n", IsWindowVisible(list) ? 1 : 0);
        return 0;
    }
    if (command == "button") {
        HWND button = Control(kIdButton);
        if (!button) return 1;
        Print(Text(button) + (IsWindowEnabled(button) ? " enabled" : " disabled"));
        return 0;
    }
    if (command == "press-button") {
        HWND button = Control(kIdButton);
        if (!button || !IsWindowEnabled(button)) return 1;
        // Posted, so the long work behind the button does not hold us up.
        PostMessageA(GetParent(button), WM_COMMAND, MAKEWPARAM(kIdButton, BN_CLICKED),
                     LPARAM(button));
        return 0;
    }
    if (command == "progress") {
        HWND progress = Control(kIdProgress);
        if (!progress) return 1;
        printf("%d\n", int(Send(progress, PBM_GETPOS, 0, 0)));
        return 0;
    }
    if (command == "close" || command == "syscommand-close") {
        HWND main = MainWindow();
        if (!main) return 1;
        if (command == "close")
            PostMessageA(main, WM_CLOSE, 0, 0);
        else
            PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    if (command == "send-close") {
        HWND main = MainWindow();
        DWORD_PTR result = 0;
        if (!main || !SendMessageTimeoutA(main, WM_CLOSE, 0, 0, SMTO_NORMAL, 2000, &result))
            return 1;
        return 0;
    }
    if (command == "query-end-session") {
        HWND main = MainWindow();
        DWORD_PTR result = 0;
        if (!main ||
            !SendMessageTimeoutA(main, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 2000, &result))
            return 1;
        printf("%d\n", int(result));
        return 0;
    }
    if (command == "visible") {
        HWND main = MainWindow();
        printf("%d\n", main && IsWindowVisible(main) ? 1 : 0);
        return 0;
    }
    if (command == "watch-visible") {
        bool existed = false, seen = false;
        const DWORD end = GetTickCount() + DWORD(Seconds(argc, argv, 1, 30) * 1000);
        while (int(GetTickCount() - end) < 0) {
            HWND main = MainWindow();
            if (main) existed = true;
            if (main && IsWindowVisible(main)) seen = true;
            if (existed && !main) break;
            Sleep(10);
        }
        printf("%d\n", seen ? 1 : 0);
        return 0;
    }
    if (command == "focus") {
        printf("%d\n", FocusedId());
        return 0;
    }
    if (command == "keys") {
        HWND target = MessageBoxWindow();
        if (!target) target = MainWindow();
        if (target) SetForegroundWindow(target);
        Sleep(100);
        for (int i = 1; i < argc; ++i)
            if (!TypeKey(argv[i])) return Usage();
        return 0;
    }
    if (command == "responsive") {
        if (argc < 3) return Usage();
        return Responsive(argv[1], atof(argv[2]));
    }
    return Usage();
}
