// vantorix-probe: looks at a running Vantorix.exe from outside and answers it,
// for the checks under Wine. One subcommand per question; every wait ends
// after TIMEOUT_MS with exit status 1 (what was seen last goes to stderr).
// Texts are printed on one line each, with \n, \r, \t and \\ escaped.
//   vantorix-probe msgbox TIMEOUT_MS yes|no
//       waits for the program's message box (caption "Vantorix"), prints its
//       text, presses Yes or No and waits until the box has gone.
//   vantorix-probe window CAPTION TIMEOUT_MS [TEXT]
//       waits for a visible top-level window titled CAPTION whose controls
//       hold TEXT (any text when left out) and prints each control's text.
//   vantorix-probe state
//       asks the main window for its test state report and prints it (the
//       program and the probe both take its file name from VANTORIX_TEST_STATE).
//   vantorix-probe clipboard
//       prints the size of the bitmap on the clipboard as WIDTHxHEIGHT.
//   vantorix-probe led POSITION...
//       moves the LED dialog's slider to each position in turn, as a drag would.
#include "resource.h"
#include "win/testquery.h"

#include <windows.h>

#include <commctrl.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
constexpr DWORD pollMs = 20;
// A window that does not answer WM_GETTEXT within this is read as empty.
constexpr UINT textReplyMs = 1000;
// The static control that holds a message box's text.
constexpr int messageBoxTextId = 0xFFFF;
constexpr const char* programCaption = "Vantorix";
constexpr const char* dialogClass = "#32770";

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// WM_GETTEXT is carried across processes, so controls of the program read as
// they do inside it.
std::string windowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, textReplyMs,
                             &length))
        return {};
    std::vector<char> text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, WPARAM(text.size()), LPARAM(text.data()),
                             SMTO_ABORTIFHUNG, textReplyMs, &copied))
        return {};
    return std::string(text.data(), std::min<size_t>(copied, length));
}

long parseTimeout(const char* text) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    return *end || value < 0 ? -1 : value;
}

// Polls until found() says yes or the time is up.
template <typename Found> bool waitFor(long timeoutMs, Found found) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (found()) return true;
        if (GetTickCount() - start >= DWORD(timeoutMs)) return false;
        Sleep(pollMs);
    }
}

HWND findMessageBox() {
    HWND box = nullptr;
    while ((box = FindWindowExA(nullptr, box, dialogClass, programCaption))) {
        if (IsWindowVisible(box) && GetDlgItem(box, messageBoxTextId)) return box;
    }
    return nullptr;
}

int messageBox(int argc, char** argv) {
    if (argc != 2) return 2;
    const long timeoutMs = parseTimeout(argv[0]);
    const bool yes = std::strcmp(argv[1], "yes") == 0;
    if (timeoutMs < 0 || (!yes && std::strcmp(argv[1], "no") != 0)) return 2;
    HWND box = nullptr;
    if (!waitFor(timeoutMs, [&] { return (box = findMessageBox()) != nullptr; })) {
        std::fprintf(stderr, "vantorix-probe: no message box within %ld ms\n", timeoutMs);
        return 1;
    }
    std::printf("%s\n", escaped(windowText(GetDlgItem(box, messageBoxTextId))).c_str());
    const int button = yes ? IDYES : IDNO;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), LPARAM(GetDlgItem(box, button)));
    if (!waitFor(timeoutMs, [&] { return !IsWindow(box) || !IsWindowVisible(box); })) {
        std::fprintf(stderr, "vantorix-probe: the message box stays after the answer\n");
        return 1;
    }
    return 0;
}

struct WindowSearch {
    const char* caption;
    HWND found;
};

BOOL CALLBACK matchCaption(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    char caption[256] = "";
    if (!IsWindowVisible(window) || !GetWindowTextA(window, caption, sizeof caption) ||
        std::strcmp(caption, search->caption) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK collectText(HWND child, LPARAM parameter) {
    std::string text = windowText(child);
    if (!text.empty()) reinterpret_cast<std::vector<std::string>*>(parameter)->push_back(text);
    return TRUE;
}

int window(int argc, char** argv) {
    if (argc != 2 && argc != 3) return 2;
    const long timeoutMs = parseTimeout(argv[1]);
    if (timeoutMs < 0) return 2;
    const char* wanted = argc == 3 ? argv[2] : "";
    std::vector<std::string> texts;
    const bool found = waitFor(timeoutMs, [&] {
        WindowSearch search{argv[0], nullptr};
        EnumWindows(matchCaption, LPARAM(&search));
        if (!search.found) return false;
        texts.clear();
        EnumChildWindows(search.found, collectText, LPARAM(&texts));
        for (const std::string& text : texts)
            if (text.find(wanted) != std::string::npos) return true;
        return !*wanted;
    });
    FILE* out = found ? stdout : stderr;
    if (!found)
        std::fprintf(stderr, "vantorix-probe: no visible window '%s' showing '%s' within %ld ms\n",
                     argv[0], wanted, timeoutMs);
    for (const std::string& text : texts) std::fprintf(out, "%s\n", escaped(text).c_str());
    return found ? 0 : 1;
}

// The window program's class name is its file's base name.
constexpr const char* mainWindowClass = "Vantorix";
constexpr UINT stateReplyMs = 5000;

int state(int argc, char**) {
    if (argc != 0) return 2;
    const char* path = std::getenv("VANTORIX_TEST_STATE");
    HWND main = FindWindowA(mainWindowClass, nullptr);
    DWORD_PTR ignored = 0;
    if (!path || !main ||
        !SendMessageTimeoutA(main, testStateQuery, 0, 0, SMTO_ABORTIFHUNG, stateReplyMs, &ignored))
        return 1;
    FILE* report = std::fopen(path, "rb");
    if (!report) return 1;
    char buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, report)) > 0)
        std::fwrite(buffer, 1, count, stdout);
    std::fclose(report);
    return 0;
}

int clipboard(int argc, char**) {
    if (argc != 0 || !OpenClipboard(nullptr)) return argc != 0 ? 2 : 1;
    BITMAP info{};
    HANDLE bitmap = GetClipboardData(CF_BITMAP);
    const bool found = bitmap && GetObjectA(bitmap, sizeof info, &info);
    CloseClipboard();
    if (!found) return 1;
    std::printf("%ldx%ld\n", info.bmWidth, info.bmHeight);
    return 0;
}

int led(int argc, char** argv) {
    if (argc < 1) return 2;
    HWND dialog = FindWindowA(dialogClass, "LED");
    HWND slider = dialog ? GetDlgItem(dialog, IDC_LEDSLIDER) : nullptr;
    if (!slider) return 1;
    for (int i = 0; i < argc; ++i) {
        const int position = std::atoi(argv[i]);
        SendMessageA(slider, TBM_SETPOS, TRUE, position);
        SendMessageA(dialog, WM_VSCROLL, MAKEWPARAM(TB_THUMBTRACK, position), LPARAM(slider));
    }
    return 0;
}

struct Subcommand {
    const char* name;
    const char* arguments;
    int (*run)(int argc, char** argv); // 0 done, 1 timed out, 2 bad arguments
};

constexpr Subcommand subcommands[] = {
    {"msgbox", "TIMEOUT_MS yes|no", messageBox},
    {"window", "CAPTION TIMEOUT_MS [TEXT]", window},
    {"state", "", state},
    {"clipboard", "", clipboard},
    {"led", "POSITION...", led},
};

int usage() {
    for (const Subcommand& command : subcommands)
        std::fprintf(stderr, "usage: vantorix-probe %s %s\n", command.name, command.arguments);
    return 2;
}
} // namespace

int main(int argc, char** argv) {
    // Line ends as the scripts that read them expect.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    if (argc < 2) return usage();
    for (const Subcommand& command : subcommands) {
        if (std::strcmp(argv[1], command.name) != 0) continue;
        const int status = command.run(argc - 2, argv + 2);
        return status == 2 ? usage() : status;
    }
    return usage();
}
