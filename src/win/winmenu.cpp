// The menu's window side: check marks on the real menu, the open dialog, the
// clipboard copy, the About box and the help.
#define VANTORIX_WIN32_NAMES
#include "win/winmenu.h"

#include "board/picolink.h"
#include "common/settings.h"
#include "resource.h"
#include "app/winmenu.h"
#include "app/winstate.h"
#include "win/leddlg.h"
#include "win/winmain.h"

#include <windows.h>

#include <commdlg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr DWORD clipboardMenuWaitMs = 400; // the closed menu must be gone from the screen
constexpr UINT_PTR aboutTimer = 1;
constexpr UINT aboutTimerMs = 300;
constexpr int aboutPictureTop = 12;
constexpr COLORREF connectedColour = RGB(0, 170, 0);
constexpr COLORREF notConnectedColour = RGB(222, 0, 0);
// The open-file description in its first (Windows 95) form.
constexpr DWORD openFileNameSize = 76;
constexpr char openFilter[] = "All (TXT,BMP,PNG,JPG,GIF)\0*.TXT;*.BMP;*.JPG;*.PNG;*.GIF\0"
                              "Command Textfile (*.TXT)\0*.TXT\0"
                              "Windows Bitmaps (*.BMP)\0*.BMP\0"
                              "Portable Network Graphics (*.PNG)\0*.PNG\0"
                              "Jpeg Picture (*.JPG)\0*.JPG\0"
                              "GIF Picture (*.GIF)\0*.GIF\0";
constexpr const char* htmlHelpClassKey =
    "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
constexpr const char* htmlHelpLibrary = "hhctrl.ocx";
constexpr WORD htmlHelpAnsiOrdinal = 14;
constexpr DWORD registryPathBytes = 260;

void checkItem(int command, int checked) {
    CheckMenuItem(mainMenu, UINT(command), MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}
void enableItem(int command, int enabled) {
    EnableMenuItem(mainMenu, UINT(command), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void setOutline(int cut) {
    if (cut)
        MakeRegion(TRUE);
    else
        ClearRegion(TRUE);
    InvalidateRect(hwndMain, nullptr, FALSE);
}

void setTopmost(int topmost) {
    SetWindowPos(hwndMain, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
}

void copyWindowToClipboard() {
    Sleep(clipboardMenuWaitMs);
    ClientAreaToClipboard(hwndMain);
}

void closeMainWindow() {
    PostMessageA(hwndMain, WM_CLOSE, 0, 0);
}

void showAbout() {
    DialogBoxParamA(hInst, MAKEINTRESOURCEA(IDD_ABOUT), hwndMain, AboutDlg, 0);
}

// The About box's state lives as long as the box.
struct AboutState {
    HBITMAP picture;
    HBRUSH face;
    int32_t shownPort;
    char connection[aboutLineBytes];
    char firmware[aboutLineBytes];
};
AboutState about{};

void updateAboutStatus(HWND dialog) {
    if (picoPort == about.shownPort) return;
    about.shownPort = picoPort;
    aboutStatusLines(picoPort, picoType, picoFW, connectedDeviceName(), about.connection,
                     about.firmware);
    SetDlgItemTextA(dialog, IDC_ABOUTPORT, about.connection);
    SetDlgItemTextA(dialog, IDC_ABOUTFIRMWARE, about.firmware);
}

void paintAboutPicture(HWND dialog) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(dialog, &ps);
    BITMAP info{};
    if (about.picture && GetObjectA(about.picture, sizeof info, &info)) {
        RECT client;
        GetClientRect(dialog, &client);
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, about.picture);
        BitBlt(dc, (client.right - info.bmWidth) / 2, aboutPictureTop, info.bmWidth, info.bmHeight,
               memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
    }
    EndPaint(dialog, &ps);
}

INT_PTR statusColours(HDC dc, HWND control) {
    const int id = GetDlgCtrlID(control);
    if (id != IDC_ABOUTPORT && id != IDC_ABOUTFIRMWARE) return 0;
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    SetTextColor(dc, picoPort ? connectedColour : notConnectedColour);
    return INT_PTR(about.face);
}

using HtmlHelpEntry = HWND(WINAPI*)(HWND owner, LPCSTR file, UINT command, DWORD_PTR data);
enum HelpBinding { helpNotTried, helpBound, helpMissing };
HelpBinding helpBinding = helpNotTried;
HtmlHelpEntry htmlHelp = nullptr;

// The HTML Help control as registered, else by its usual name.
HMODULE loadHtmlHelpControl() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, htmlHelpClassKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        char path[registryPathBytes] = "";
        DWORD size = sizeof path - 1, type = 0;
        const bool read =
            RegQueryValueExA(key, nullptr, nullptr, &type, LPBYTE(path), &size) == ERROR_SUCCESS;
        RegCloseKey(key);
        char expanded[registryPathBytes] = "";
        if (read && type == REG_EXPAND_SZ &&
            ExpandEnvironmentStringsA(path, expanded, sizeof expanded) - 1 < sizeof expanded)
            std::snprintf(path, sizeof path, "%s", expanded);
        if (read && path[0])
            if (HMODULE library = LoadLibraryA(path)) return library;
    }
    return LoadLibraryA(htmlHelpLibrary);
}

void callHelp(const char* fileAndTopic, int command) {
    if (helpBinding == helpNotTried) {
        HMODULE library = loadHtmlHelpControl();
        if (library)
            htmlHelp = reinterpret_cast<HtmlHelpEntry>(reinterpret_cast<void*>(
                GetProcAddress(library, MAKEINTRESOURCEA(htmlHelpAnsiOrdinal))));
        helpBinding = htmlHelp ? helpBound : helpMissing;
    }
    if (helpBinding == helpBound) htmlHelp(nullptr, fileAndTopic, UINT(command), 0);
}

// The folder part of a file name, to start the open dialog where the last file was.
void folderOf(const char* name, char* folder, size_t size) {
    std::snprintf(folder, size, "%s", name);
    char* slash = std::strrchr(folder, '\\');
    if (slash) slash[1] = 0;
}
} // namespace

void installMenu() {
    installMenuMarks({checkItem, enableItem});
    MenuWindow window{};
    window.openFileBox = FileOpenBox;
    window.setOutline = setOutline;
    window.setTopmost = setTopmost;
    window.copyToClipboard = copyWindowToClipboard;
    window.close = closeMainWindow;
    window.setTitle = SetTitle;
    window.openLED = OpenLED;
    window.closeLED = CloseLED;
    window.help = callHelp;
    window.about = showAbout;
    installMenuWindow(window);
}

void MainWndProc_OnCommand(HWND, int command, HWND, UINT) {
    runMenuCommand(command);
}

int FileOpenBox(char* buffer, const char* lastName) {
    // The tests cannot drive the dialog: they name the file that it would give.
    if (const char* chosen = std::getenv("VANTORIX_TEST_OPEN")) {
        std::snprintf(buffer, 256, "%s", chosen);
        return 1;
    }
    char folder[256];
    if (lastName && lastName[0])
        folderOf(lastName, folder, sizeof folder);
    else
        std::snprintf(folder, sizeof folder, "%s", appDir);
    OPENFILENAMEA ofn;
    std::memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = openFileNameSize;
    ofn.hwndOwner = hwndMain;
    ofn.lpstrFilter = openFilter;
    ofn.nFilterIndex = 1;
    buffer[0] = 0;
    ofn.lpstrFile = buffer;
    ofn.nMaxFile = 256;
    ofn.lpstrInitialDir = folder;
    ofn.lpstrTitle = "Choose a File";
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    return GetOpenFileNameA(&ofn);
}

void ClientAreaToClipboard(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    POINT corner{0, 0};
    ClientToScreen(window, &corner);
    const int width = client.right - client.left, height = client.bottom - client.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, corner.x, corner.y, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!OpenClipboard(nullptr)) {
        DeleteObject(bitmap);
        return;
    }
    EmptyClipboard();
    if (!SetClipboardData(CF_BITMAP, bitmap))
        DeleteObject(bitmap); // otherwise the clipboard owns it
    CloseClipboard();
}

INT_PTR CALLBACK AboutDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        about.picture = LoadBitmapA(hInst, IDB_ZR2BMP);
        about.face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
        about.shownPort = -1;
        SetFocus(GetDlgItem(dialog, IDC_ABOUTCLOSE));
        SetTimer(dialog, aboutTimer, aboutTimerMs, nullptr);
        updateAboutStatus(dialog);
        return 0;
    case WM_TIMER:
        updateAboutStatus(dialog);
        return 0;
    case WM_CTLCOLORSTATIC:
        return statusColours(HDC(wParam), HWND(lParam));
    case WM_PAINT:
        paintAboutPicture(dialog);
        return 0;
    case WM_CLOSE:
        PostMessageA(dialog, WM_COMMAND, IDC_ABOUTCLOSE, 0);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDC_ABOUTCLOSE) EndDialog(dialog, 1);
        return 0;
    case WM_DESTROY:
        KillTimer(dialog, aboutTimer);
        DeleteObject(about.face);
        DeleteObject(about.picture);
        about = AboutState{};
        return 0;
    default:
        return 0;
    }
}
