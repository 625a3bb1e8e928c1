// Checks of the Windows groundwork that only Windows (or Wine) can run, in one
// process so that the test command starts Wine once:
//   vantorix-wintest SENDER [JPEG EXPECTED.bmp]... --tolerance MEAN PEAK
// - the resources: menu 10 with its captions, accelerators 10000, the dialogs
//   2000, 4000 and 5000 created for real, the icon and the 16-colour picture;
// - GetAppPathName and RecolveLinkFilename on real files;
// - SENDER (vantorix-send.exe) delivering a name in chunks of 1 to 8;
// - each JPEG decoded through the WIC layer against the BMP the Linux decoder
//   wrote for it: header fields exactly, pixels within the tolerance.
#include "image/dib.h"
#include "resource.h"
#include "support/lnk_writer.h"
#include "version.h"
#include "win/wm_user.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <windows.h>
#include <commctrl.h>

namespace {

int failures = 0;

void check(bool ok, const char* what, const std::string& detail = "") {
    if (ok) return;
    failures++;
    printf("FAIL %s %s\n", what, detail.c_str());
}

struct MenuEntry {
    UINT id;
    const wchar_t* caption;
};

const MenuEntry kMenuEntries[] = {
    {IDM_OPENFILE, L"&Open File\tCtrl+O"},
    {IDM_DEMO, L"TFT-&Demo\tCtrl+D"},
    {IDM_SHOWWINDOW, L"&Show Window\tCtrl+S"},
    {IDM_ZOOMWINDOW, L"&Zoom Window (2x)\tCtrl+Z"},
    {IDM_ONTOP, L"Always On &Top\tCtrl+T"},
    {IDM_CLIPBOARD, L"&BMP to Clipboard\tCtrl+C"},
    {IDM_EXIT, L"E&xit\tAlt+F4"},
    {IDM_MODEL1, L"ZR KP0&96\tALT+&1"},
    {IDM_MODEL2, L"ZR KP&150\tALT+&2"},
    {IDM_MODEL3, L"ZR KP20&0\tALT+&3"},
    {IDM_MODEL4, L"ZR KP280\tALT+&4"},
    {IDM_MODEL5, L"ZR KP350\tALT+&5"},
    {IDM_MODEL6, L"ZR KP240\tALT+&6"},
    {IDM_TOUCH, L"with &Touchpanel\tALT+T"},
    {IDM_VIEW0, L"View 0\u00B0\tCtrl+&1"},
    {IDM_VIEW90, L"View 90\u00B0\tCtrl+&2"},
    {IDM_VIEW180, L"View 180\u00B0\tCtrl+&3"},
    {IDM_VIEW270, L"View 270\u00B0\tCtrl+&4"},
    {IDM_LED, L"set &LED brightness\tALT+L"},
    {IDM_HELP, L"&Help...\tF1"},
    {IDM_ABOUT, L"&About...\tCtrl+U"},
};

// Items of each pop-up in order; 0 stands for a separator.
const UINT kFileItems[] = {IDM_OPENFILE, 0, IDM_DEMO,      0, IDM_SHOWWINDOW, IDM_ZOOMWINDOW,
                           IDM_ONTOP,    0, IDM_CLIPBOARD, 0, IDM_EXIT};
const UINT kTftItems[] = {IDM_MODEL1, IDM_MODEL2,  IDM_MODEL3,  IDM_MODEL4, IDM_MODEL5,
                          IDM_MODEL6, 0,           IDM_TOUCH,   0,          IDM_VIEW0,
                          IDM_VIEW90, IDM_VIEW180, IDM_VIEW270, 0,          IDM_LED};
const UINT kHelpItems[] = {IDM_HELP, 0, IDM_ABOUT};

void checkPopup(HMENU menu, int index, const wchar_t* title, const UINT* items, int count) {
    wchar_t text[64];
    GetMenuStringW(menu, UINT(index), text, 64, MF_BYPOSITION);
    check(wcscmp(text, title) == 0, "menu title", std::to_string(index));
    HMENU popup = GetSubMenu(menu, index);
    check(popup && GetMenuItemCount(popup) == count, "menu item count", std::to_string(index));
    for (int i = 0; popup && i < count; i++) {
        UINT id = GetMenuItemID(popup, i);
        check(items[i] ? id == items[i]
                       : (GetMenuState(popup, UINT(i), MF_BYPOSITION) & MF_SEPARATOR) != 0,
              "menu item", std::to_string(index) + "/" + std::to_string(i));
    }
}

void checkMenu(HINSTANCE instance) {
    HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_MAINMENU));
    check(menu && GetMenuItemCount(menu) == 3, "menu 10");
    if (!menu) return;
    checkPopup(menu, 0, L"&File", kFileItems, sizeof kFileItems / sizeof *kFileItems);
    checkPopup(menu, 1, L"&TFT", kTftItems, sizeof kTftItems / sizeof *kTftItems);
    checkPopup(menu, 2, L"&Help", kHelpItems, sizeof kHelpItems / sizeof *kHelpItems);
    for (const MenuEntry& entry : kMenuEntries) {
        wchar_t text[64] = L"";
        GetMenuStringW(menu, entry.id, text, 64, MF_BYCOMMAND);
        check(wcscmp(text, entry.caption) == 0, "menu caption", std::to_string(entry.id));
    }
    DestroyMenu(menu);
}

struct AccelEntry {
    BYTE modifier; // FCONTROL, FALT or 0
    WORD key;
    WORD command;
};

const AccelEntry kAccelerators[] = {
    {FCONTROL, 'O', IDM_OPENFILE},
    {FCONTROL, 'D', IDM_DEMO},
    {FCONTROL, 'C', IDM_CLIPBOARD},
    {FCONTROL, 'S', IDM_SHOWWINDOW},
    {FCONTROL, 'Z', IDM_ZOOMWINDOW},
    {FCONTROL, 'T', IDM_ONTOP},
    {FALT, '1', IDM_MODEL1},
    {FALT, '2', IDM_MODEL2},
    {FALT, '3', IDM_MODEL3},
    {FALT, '4', IDM_MODEL4},
    {FALT, '5', IDM_MODEL5},
    {FALT, '6', IDM_MODEL6},
    {FALT, 'T', IDM_TOUCH},
    {FCONTROL, '1', IDM_VIEW0},
    {FCONTROL, '2', IDM_VIEW90},
    {FCONTROL, '3', IDM_VIEW180},
    {FCONTROL, '4', IDM_VIEW270},
    {FALT, 'L', IDM_LED},
    {0, VK_F1, IDM_HELP},
    {FCONTROL, 'U', IDM_ABOUT},
};
constexpr int kAcceleratorCount = sizeof kAccelerators / sizeof *kAccelerators;

void checkAccelerators(HINSTANCE instance) {
    HACCEL table = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    check(table != nullptr, "accelerators 10000");
    if (!table) return;
    ACCEL got[64];
    int count = CopyAcceleratorTableA(table, got, 64);
    check(count == kAcceleratorCount, "accelerator count", std::to_string(count));
    for (int i = 0; i < count && i < kAcceleratorCount; i++) {
        const AccelEntry& want = kAccelerators[i];
        check((got[i].fVirt & ~0x80) == (FVIRTKEY | want.modifier) && got[i].key == want.key &&
                  got[i].cmd == want.command,
              "accelerator", std::to_string(want.command));
    }
    DestroyAcceleratorTable(table);
}

INT_PTR CALLBACK quietDialog(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

std::string className(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

void checkDialogs(HINSTANCE instance) {
    HWND send =
        CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_SENDFILE), nullptr, quietDialog, 0);
    check(send != nullptr, "dialog 2000");
    if (send) {
        char caption[32] = "";
        GetWindowTextA(send, caption, sizeof caption);
        check(strcmp(caption, "Message Bar") == 0, "dialog 2000 caption", caption);
        HWND log = GetDlgItem(send, IDC_SENDLOG);
        check(log && (GetWindowLongA(log, GWL_STYLE) & (ES_MULTILINE | ES_READONLY)) ==
                         (ES_MULTILINE | ES_READONLY),
              "dialog 2000 log box");
        HWND bar = GetDlgItem(send, IDC_SENDPROGRESS);
        check(bar && _stricmp(className(bar).c_str(), PROGRESS_CLASSA) == 0, "dialog 2000 bar",
              className(bar));
        check(!(GetWindowLongA(send, GWL_STYLE) & WS_SYSMENU), "dialog 2000 has no system menu");
        DestroyWindow(send);
    }
    HWND led = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_LED), nullptr, quietDialog, 0);
    check(led != nullptr, "dialog 4000");
    if (led) {
        check((GetWindowLongA(led, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0,
              "dialog 4000 tool window");
        HWND slider = GetDlgItem(led, IDC_LEDSLIDER);
        check(slider && _stricmp(className(slider).c_str(), TRACKBAR_CLASSA) == 0,
              "dialog 4000 trackbar", className(slider));
        check(slider && (GetWindowLongA(slider, GWL_STYLE) & TBS_VERT), "dialog 4000 vertical");
        char text[16] = "";
        GetDlgItemTextA(led, IDC_LEDTEXT, text, sizeof text);
        check(strcmp(text, "100%") == 0, "dialog 4000 text", text);
        DestroyWindow(led);
    }
    HWND about = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_ABOUT), nullptr, quietDialog, 0);
    check(about != nullptr, "dialog 5000");
    if (about) {
        char text[64] = "";
        GetDlgItemTextA(about, IDC_ABOUTVERSION, text, sizeof text);
        check(strcmp(text, "Version 1.3, January 2025") == 0, "dialog 5000 version", text);
        GetDlgItemTextA(about, IDC_ABOUTNAME, text, sizeof text);
        check(strcmp(text, "Vantorix " VANTORIX_VERSION_TEXT) == 0, "dialog 5000 name", text);
        GetDlgItemTextA(about, IDC_ABOUTCLOSE, text, sizeof text);
        check(strcmp(text, "Close") == 0, "dialog 5000 button", text);
        for (int id :
             {IDC_ABOUTNAME, IDC_ABOUTPURPOSE, IDC_ABOUTBOARD, IDC_ABOUTPORT, IDC_ABOUTFIRMWARE})
            check(GetDlgItem(about, id) != nullptr, "dialog 5000 control", std::to_string(id));
        DestroyWindow(about);
    }
}

void checkPictures(HINSTANCE instance) {
    check(LoadIconA(instance, IDI_VANTORIX) != nullptr, "icon VANTORIXICON");
    HRSRC found = FindResourceA(instance, IDB_ZR2BMP, MAKEINTRESOURCEA(2) /* RT_BITMAP */);
    const BITMAPINFOHEADER* header =
        found ? static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(instance, found)))
              : nullptr;
    check(header && header->biWidth == 124 && header->biHeight == 51 && header->biBitCount == 4,
          "picture ZR2BMP 124 x 51, 16 colours");
    HBITMAP bitmap = LoadBitmapA(instance, IDB_ZR2BMP);
    check(bitmap != nullptr, "LoadBitmap ZR2BMP");
    if (bitmap) DeleteObject(bitmap);
}

void checkPathAndLink() {
    char folder[256], name[256], module[MAX_PATH];
    GetAppPathName(folder, name, 255);
    GetModuleFileNameA(nullptr, module, sizeof module);
    check(strcmp(name, "vantorix-wintest") == 0, "GetAppPathName name", name);
    check(_strnicmp(folder, module, strlen(folder)) == 0 && folder[strlen(folder) - 1] == '\\',
          "GetAppPathName folder", std::string(folder) + " of " + module);

    LnkContent shortcut;
    shortcut.idListSize = 40;
    shortcut.localBasePath = "C:\\windows\\win.ini";
    std::vector<uint8_t> bytes = makeLnk(shortcut);
    std::string path = std::string(folder) + "wintest target.lnk";
    FILE* f = fopen(path.c_str(), "wb");
    check(f != nullptr, "write .lnk");
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    char link[256];
    snprintf(link, sizeof link, "\"%s\"", path.c_str());
    RecolveLinkFilename(link);
    check(strcmp(link, shortcut.localBasePath.c_str()) == 0, "RecolveLinkFilename", link);
    DeleteFileA(path.c_str());
}

// The receiving side of the instance messages, as the main window has it.
std::string received;

LRESULT CALLBACK receiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_USER + kInstanceControl &&
        message <= WM_USER + kInstanceControl + kInstanceMaxChunk) {
        if (InstanceMessage(message - WM_USER, uint32_t(wParam), uint32_t(lParam)))
            received = instBuf;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void checkSender(const char* sender) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = receiverProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VantorixWintestReceiver";
    RegisterClassA(&wc);
    HWND window = CreateWindowA(wc.lpszClassName, "receiver", WS_POPUP, 0, 0, 10, 10, nullptr,
                                nullptr, wc.hInstance, nullptr);
    check(window != nullptr, "receiver window");
    if (!window) return;
    const std::string name = "C:\\pictures of the module\\test image number 1.png";
    for (int chunk = 1; chunk <= 8; chunk++) {
        received.clear();
        std::string commandLine = std::string("\"") + sender + "\" --chunk " +
                                  std::to_string(chunk) + " --class " + wc.lpszClassName + " " +
                                  name;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        std::string mutableLine = commandLine;
        if (!CreateProcessA(nullptr, &mutableLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process)) {
            check(false, "start vantorix-send", commandLine);
            continue;
        }
        DWORD exitCode = 1;
        // Pump our messages while the sender posts; stop when the name is complete.
        for (DWORD start = GetTickCount(); received.empty() && GetTickCount() - start < 20000;) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
        WaitForSingleObject(process.hProcess, 20000);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        check(exitCode == 0 && received == name, "vantorix-send chunk",
              std::to_string(chunk) + ": " + received);
    }
    DestroyWindow(window);
}

struct Diff {
    double mean = 0;
    int peak = 0;
};

bool compareJpeg(const char* jpeg, const char* expected, double maxMean, int maxPeak, Diff* diff) {
    MultiDIB* a = static_cast<MultiDIB*>(calloc(1, sizeof(MultiDIB)));
    MultiDIB* b = static_cast<MultiDIB*>(calloc(1, sizeof(MultiDIB)));
    bool ok = LoadDIB(a, jpeg) && LoadDIB(b, expected);
    check(ok, "load", std::string(jpeg) + " / " + expected);
    if (ok) {
        DIB da, db;
        memcpy(&da, &a->slot[a->first], sizeof da);
        memcpy(&db, &b->slot[b->first], sizeof db);
        for (int field : {BI_WIDTH, BI_HEIGHT, BI_XPELS, BI_YPELS, BI_SIZEIMAGE})
            check(rdLE32(da.bmih + field) == rdLE32(db.bmih + field), "JPEG header field",
                  std::string(jpeg) + " at " + std::to_string(field));
        check(rdLE16(da.bmih + BI_BITCOUNT) == 24 && rdLE16(db.bmih + BI_BITCOUNT) == 24,
              "JPEG 24 bits", jpeg);
        const uint32_t width = rdLE32(da.bmih + BI_WIDTH), height = rdLE32(da.bmih + BI_HEIGHT);
        if (rdLE32(db.bmih + BI_WIDTH) == width && rdLE32(db.bmih + BI_HEIGHT) == height) {
            uint64_t sum = 0;
            for (uint32_t y = 0; y < height; y++)
                for (uint32_t x = 0; x < width * 3; x++) {
                    int d = std::abs(int(da.bits[y * da.lineBytes + x]) -
                                     int(db.bits[y * db.lineBytes + x]));
                    sum += uint64_t(d);
                    if (d > diff->peak) diff->peak = d;
                }
            diff->mean = double(sum) / (double(width) * height * 3);
            check(diff->mean <= maxMean && diff->peak <= maxPeak, "JPEG pixels", jpeg);
        }
    }
    MultiDibFree(a);
    MultiDibFree(b);
    free(a);
    free(b);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5 || strcmp(argv[argc - 3], "--tolerance") != 0) {
        fprintf(stderr,
                "usage: vantorix-wintest SENDER [JPEG EXPECTED.bmp]... --tolerance MEAN PEAK\n");
        return 2;
    }
    const double maxMean = atof(argv[argc - 2]);
    const int maxPeak = atoi(argv[argc - 1]);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    checkMenu(instance);
    checkAccelerators(instance);
    checkDialogs(instance);
    checkPictures(instance);
    checkPathAndLink();
    checkSender(argv[1]);
    Diff worst;
    int jpegs = 0;
    for (int i = 2; i + 1 < argc - 3; i += 2, jpegs++) {
        Diff diff;
        if (compareJpeg(argv[i], argv[i + 1], maxMean, maxPeak, &diff))
            printf("jpeg %-28s mean %.3f peak %d\n",
                   strrchr(argv[i], '\\') ? strrchr(argv[i], '\\') + 1 : argv[i], diff.mean,
                   diff.peak);
        worst.mean = diff.mean > worst.mean ? diff.mean : worst.mean;
        worst.peak = diff.peak > worst.peak ? diff.peak : worst.peak;
    }
    printf("%d JPEG files: largest mean difference %.3f, largest single difference %d\n", jpegs,
           worst.mean, worst.peak);
    if (failures) printf("%d checks failed\n", failures);
    return failures ? 1 : 0;
}
