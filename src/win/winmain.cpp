// The window program: start-up, the main window and its message loop, the
// timer that reads the board, painting the panel, and the send-file dialog.
#define VANTORIX_WIN32_NAMES
#include "board/discovery.h"
#include "board/firmware.h"
#include "board/picolink.h"
#include "job/sendjob.h"
#include "job/firmware_offer.h"
#include "board/seriowin.h"
#include "common/seam.h"
#include "command/sendfile.h"
#include "common/settings.h"
#include "panel/zr_tft.h"
#include "resource.h"
#include "module/modulefile.h"
#include "module/newtft.h"
#include "app/starters.h"
#include "app/title.h"
#include "module/winbitmap.h"
#include "app/winmenu.h"
#include "module/winpaint.h"
#include "app/winstate.h"
#include "win/filejob.h"
#include "win/leddlg.h"
#include "win/testquery.h"
#include "win/winmain.h"
#include "win/winmenu.h"
#include "win/wm_user.h"

#include <windows.h>

#include <commctrl.h>
#include <dbt.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

HINSTANCE hInst = nullptr;
HWND hwndMain = nullptr;
HMENU mainMenu = nullptr;
HMENU popupMenu = nullptr;
char appName[256] = "";
char iniFile[256] = "";

namespace {
constexpr UINT_PTR tickTimer = 1;
// A module rebuild on another thread asks the window to fit itself.
constexpr UINT resizeRequest = WM_APP + 2;
// A paint or a fit of the window that found the panel busy comes again after this.
constexpr UINT_PTR repaintTimer = 2;
constexpr UINT repaintDelayMs = 15;
constexpr DWORD mainStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr UINT instanceFirst = WM_USER + kInstanceControl;
constexpr UINT instanceLast = instanceFirst + kInstanceMaxChunk;
constexpr int nameBytes = 256;

char programFolder[256] = "";

// The boot drive search of start-up and of a volume's arrival: the drive
// found (or 0) and the board type its label or info file names.
void findBootDrive() {
    int32_t type = picoType;
    picoDrive = getPicoDrive(&type);
    picoType = type;
}

DWORD windowThread = 0;
// What found the panel busy and waits for the repaint timer (window thread only).
RECT missedPaint{};
bool missedResize = false;

void readProfile(const char* key, const char* defaultText, char* out, int size) {
    GetPrivateProfileStringA(iniSection, key, defaultText, out, DWORD(size), iniFile);
}
void writeProfile(const char* key, const char* text) {
    WritePrivateProfileStringA(iniSection, key, text, iniFile);
}
ScreenArea virtualScreen() {
    return {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
            GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

int zoom() {
    return ZoomWindow > 1 ? ZoomWindow : 1;
}

// Where the panel sits in the picture (inclusive).
Rect panelPlacement() {
    return panelDIB.rcPos;
}
// The picture's size: the module picture, or the panel when there is none.
SIZE pictureSize() {
    if (moduleDIB.mem) return {moduleDIB.rcPos.right + 1, moduleDIB.rcPos.bottom + 1};
    return {panelDIB.rcPos.right + 1, panelDIB.rcPos.bottom + 1};
}

int redrawPanel() {
    if (!hwndMain) return 1;
    const Rect area = redrawRectangle();
    RECT rc{area.left, area.top, area.right, area.bottom};
    // Another thread (the send-file worker, maybe holding the panel lock)
    // only asks; the window's thread paints at once.
    UINT flags = RDW_INVALIDATE;
    if (GetCurrentThreadId() == windowThread) flags |= RDW_UPDATENOW;
    RedrawWindow(hwndMain, &rc, nullptr, flags);
    return 1;
}

// Fits the window to the picture at the zoom. A menu bar that wraps onto a
// second line takes client height: grow the window by what is missing.
int resizeWindow() {
    if (!hwndMain) return 1;
    // The worker rebuilds the module with the panel lock held; moving the
    // window from there would wait for the window thread, which may be
    // waiting for that lock. The window thread does it when the rebuild is over.
    if (GetCurrentThreadId() != windowThread) {
        PostMessageA(hwndMain, resizeRequest, 0, 0);
        return 1;
    }
    // By now the worker may hold the panel again, waiting on the board.
    std::unique_lock<PanelMutex> panel(panelLock(), std::try_to_lock);
    if (!panel.owns_lock()) {
        missedResize = true;
        SetTimer(hwndMain, repaintTimer, repaintDelayMs, nullptr);
        return 1;
    }
    const SIZE picture = pictureSize();
    const int z = zoom();
    RECT rc{0, 0, picture.cx * z, picture.cy * z};
    AdjustWindowRect(&rc, mainStyle, TRUE);
    SetWindowPos(hwndMain, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(hwndMain, &client);
    const int missing = picture.cy * z - (client.bottom - client.top);
    if (missing > 0)
        SetWindowPos(hwndMain, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top + missing,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (showWindowSetting() == 0) MakeRegion(TRUE);
    InvalidateRect(hwndMain, nullptr, FALSE);
    return 1;
}

// The board came or went: the title names its port, and the LED dialog
// exists only while a board is there.
int titleFollowsConnection() {
    SetTitle();
    if (!picoPort) CloseLED();
    CheckMenuTFT();
    return 1;
}

void drawBitmap(HDC dc, const BitmapDraw& draw) {
    StretchDIBits(dc, draw.destX, draw.destY, draw.destWidth, draw.destHeight, draw.srcX,
                  draw.srcYFromBottom, draw.srcWidth, draw.srcHeight, draw.dib->bits,
                  reinterpret_cast<const BITMAPINFO*>(draw.dib->bmih), DIB_RGB_COLORS, SRCCOPY);
}

// The module picture smoothed (HALFTONE), the panel sharp on top of it.
void DrawBitmaps(HDC dc, const RECT& paint) {
    BitmapDraw draws[2];
    const int count = ::DrawBitmaps(Rect{paint.left, paint.top, paint.right, paint.bottom}, draws);
    for (int i = 0; i < count; ++i) {
        if (!draws[i].dib || !draws[i].dib->mem) continue;
        if (!draws[i].smoothing) {
            drawBitmap(dc, draws[i]);
            continue;
        }
        POINT brushOrigin;
        GetBrushOrgEx(dc, &brushOrigin);
        const int oldMode = SetStretchBltMode(dc, HALFTONE);
        drawBitmap(dc, draws[i]);
        SetStretchBltMode(dc, oldMode);
        SetBrushOrgEx(dc, brushOrigin.x, brushOrigin.y, nullptr);
    }
}

// The client area outside the picture (a wrapped menu bar leaves some) stays white.
void paintOutside(HDC dc) {
    RECT client;
    GetClientRect(hwndMain, &client);
    const SIZE picture = pictureSize();
    const int z = zoom();
    RECT right{picture.cx * z, 0, client.right, client.bottom};
    RECT below{0, picture.cy * z, client.right, client.bottom};
    FillRect(dc, &right, HBRUSH(GetStockObject(WHITE_BRUSH)));
    FillRect(dc, &below, HBRUSH(GetStockObject(WHITE_BRUSH)));
}

// The worker may be drawing, or holding the panel for seconds while it waits
// on the board: never wait for the panel here. An area left invalid would
// bring WM_PAINT back at once (it comes before any timer), so it is
// validated, kept, and painted by the repaint timer.
void onPaint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    std::unique_lock<PanelMutex> panel(panelLock(), std::try_to_lock);
    if (panel.owns_lock()) {
        DrawBitmaps(dc, ps.rcPaint);
        paintOutside(dc);
    } else {
        UnionRect(&missedPaint, &missedPaint, &ps.rcPaint);
        SetTimer(hwnd, repaintTimer, repaintDelayMs, nullptr);
    }
    EndPaint(hwnd, &ps);
}

// Holds the panel while it paints what was missed, so the paint cannot miss
// it again; a panel still busy leaves the timer running.
void onRepaintTimer(HWND hwnd) {
    std::unique_lock<PanelMutex> panel(panelLock(), std::try_to_lock);
    if (!panel.owns_lock()) return;
    KillTimer(hwnd, repaintTimer);
    if (missedResize) {
        missedResize = false;
        resizeWindow();
    }
    const RECT area = missedPaint;
    SetRectEmpty(&missedPaint);
    if (!IsRectEmpty(&area)) InvalidateRect(hwnd, &area, FALSE);
    UpdateWindow(hwnd);
}

// One job at a time: a name that comes while one runs waits for its end (the tick).
void startOrHold(char* name, int x, int y) {
    if (sendDlg)
        holdNameForLater(name, x, y);
    else
        FileOrBild2buffer(name, x, y);
}

void onDropFiles(HDROP drop) {
    POINT point{};
    DragQueryPoint(drop, &point);
    char name[nameBytes] = "";
    DragQueryFileA(drop, 0, name, sizeof name);
    DragFinish(drop);
    int x = 0, y = 0;
    dropPanelPosition(point.x, point.y, panelPlacement(), &x, &y);
    startOrHold(name, x, y);
}

void onDeviceChange(WPARAM event, LPARAM data) {
    if ((event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) || !data) return;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    int kind = deviceOther;
    const char* portName = nullptr;
    if (header->dbch_devicetype == DBT_DEVTYP_PORT) {
        kind = devicePort;
        portName = reinterpret_cast<const DEV_BROADCAST_PORT_A*>(data)->dbcp_name;
    } else if (header->dbch_devicetype == DBT_DEVTYP_VOLUME) {
        kind = deviceVolume;
    }
    switch (deviceChangeAction(event == DBT_DEVICEARRIVAL, kind, portName, picoPort)) {
    case deviceClosePort:
        closePicoCOM();
        break;
    case deviceOpenPort:
        openPicoCOM();
        break;
    case deviceFindBootDrive:
        findBootDrive();
        break;
    default:
        break;
    }
}

void onMove(HWND hwnd) {
    // A move while the window is being made is its place from the ini file.
    RECT rc;
    if (!hwndMain || hwnd != hwndMain || !GetWindowRect(hwnd, &rc)) return;
    ledX += rc.left - wndPosX;
    ledY += rc.top - wndPosY;
    wndPosX = rc.left;
    wndPosY = rc.top;
    if (!hwndLed) return;
    RECT led;
    GetWindowRect(hwndLed, &led);
    MoveWindow(hwndLed, ledX, ledY, led.right - led.left, led.bottom - led.top, TRUE);
}

void onKeyDown(WPARAM key) {
    if (key != VK_UP && key != VK_DOWN) return;
    brightnessKey(key == VK_UP);
    if (brightnessChanged) SetLEDSlider();
}

int askFirmware(const char* text, int systemModal) {
    const UINT modality = systemModal ? MB_SYSTEMMODAL : MB_TASKMODAL;
    return MessageBoxA(hwndMain, text, "Vantorix",
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | modality) == IDYES;
}

void postTestDrop();
bool testDropDone = false;

void onTick() {
    if (!testDropDone && !sendDlg) {
        testDropDone = true;
        postTestDrop();
    }
    const int decisionDue = windowTick();
    if (sendDlg) return;
    char name[nameBytes];
    int x = 0, y = 0;
    if (takeHeldName(name, sizeof name, &x, &y)) {
        FileOrBild2buffer(name, x, y);
        return;
    }
    if (decisionDue && firmwareDecision(askFirmware) == fwDecisionModuleFile) ShowNewTFTfile();
}

void onInstanceMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!InstanceMessage(message - WM_USER, uint32_t(wParam), uint32_t(lParam))) return;
    char name[nameBytes];
    std::snprintf(name, sizeof name, "%s", instBuf);
    startOrHold(name, 0, 0);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        MainWndProc_OnCommand(hwnd, LOWORD(wParam), HWND(lParam), HIWORD(wParam));
        return 1;
    case WM_TIMER:
        if (wParam == repaintTimer) {
            onRepaintTimer(hwnd);
        } else if (wParam == tickTimer) {
            onTick();
        }
        return 0;
    case resizeRequest:
        resizeWindow();
        return 0;
    case testStateQuery:
        writeTestState();
        return 0;
    case WM_PAINT:
        onPaint(hwnd);
        return 0;
    case WM_ERASEBKGND:
        return 0;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 1;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 1;
    case WM_MOVE:
        onMove(hwnd);
        return 0;
    case WM_KEYDOWN:
        onKeyDown(wParam);
        return 0;
    case WM_CHAR:
        runCharShortcut(int(wParam));
        return 0;
    case WM_LBUTTONDOWN:
        SendMessageA(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
        return 0;
    case WM_RBUTTONDOWN: {
        POINT point{short(LOWORD(lParam)), short(HIWORD(lParam))};
        ClientToScreen(hwnd, &point);
        TrackPopupMenu(popupMenu, TPM_RIGHTBUTTON, point.x, point.y, 0, hwnd, nullptr);
        return 0;
    }
    case WM_DROPFILES:
        onDropFiles(HDROP(wParam));
        return 0;
    case WM_DEVICECHANGE:
        onDeviceChange(wParam, lParam);
        return 1;
    default:
        if (message >= instanceFirst && message <= instanceLast) {
            onInstanceMessage(message, wParam, lParam);
            return 0;
        }
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

void resetStartState() {
    resetSendJob();
    resetFirmwareState();
    resetWindowBitmaps();
    picoCount = picoPort = picoType = picoDrive = picoFW = 0;
    demoScreen = tickCount = secondCount = 0;
    resetPanelState();
    resetMenuState();
}

void installWindowSide() {
    WindowSeam seam{};
    seam.redrawPanel = redrawPanel;
    seam.resizeTFT = resizeWindow;
    seam.logLine = sendLogLine;
    seam.checkMenuFile = markFileMenu;
    seam.checkMenuTFT = markTFTMenu;
    seam.transferStart = sendTransferStart;
    seam.transferProgress = sendTransferProgress;
    seam.connectionChanged = titleFollowsConnection;
    installWindowSeam(seam);
    installSerialBackend(systemSerialBackend());
    installDiscoverySystem(systemDiscovery());
    installProfileAccess({readProfile, writeProfile});
    installScreenArea(virtualScreen);
    installSendFileDialog();
    installMenu();
}

bool registerWindowClass() {
    WNDCLASSA wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = hInst;
    wc.hIcon = LoadIconA(hInst, IDI_VANTORIX);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = HBRUSH(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);
    wc.lpszClassName = appName;
    return RegisterClassA(&wc) != 0;
}

HWND createMainWindow() {
    const SIZE picture = pictureSize();
    RECT rc{wndPosX, wndPosY, wndPosX + picture.cx * zoom() - 1, wndPosY + picture.cy * zoom() - 1};
    AdjustWindowRect(&rc, mainStyle, TRUE);
    return CreateWindowExA(0, appName, "Vantorix", mainStyle, wndPosX, wndPosY,
                           rc.right - rc.left + 1, rc.bottom - rc.top + 1, nullptr, nullptr, hInst,
                           nullptr);
}

// The right button shows File, TFT and Help as cascading entries of one pop-up.
void buildPopupMenu() {
    popupMenu = CreatePopupMenu();
    const int entries = GetMenuItemCount(mainMenu);
    for (int i = 0; i < entries; ++i) {
        char text[nameBytes] = "";
        GetMenuStringA(mainMenu, UINT(i), text, sizeof text - 1, MF_BYPOSITION);
        AppendMenuA(popupMenu, MF_POPUP | MF_STRING, UINT_PTR(GetSubMenu(mainMenu, i)), text);
    }
}

void startFirstFile(const char* commandLine) {
    if (commandLine && *commandLine) {
        shownFileTime = moduleFileTime; // the module file does not run on top of it
        char name[nameBytes];
        std::snprintf(name, sizeof name, "%s", commandLine);
        FileOrBild2buffer(name, 0, 0);
        return;
    }
    if (picoPort) return;
    if (Demo == 1) {
        demoScreen = 1;
        Screen(1);
        RedrawAA();
    } else if (picoFW >= fwVer2040 || picoFW >= fwVer2350) {
        // A firmware file is missing: no offer can come first, run the module file now.
        char name[nameBytes];
        std::snprintf(name, sizeof name, "%s", moduleFile);
        FileOrBild2buffer(name, 0, 0);
    }
}

// Drop handles do not cross processes under Wine, so the tests cannot drop a
// file from outside. With VANTORIX_TEST_DROP="X,Y,NAME" set, the window
// drops NAME on itself at client point (X, Y) through its own handler.
void postTestDrop() {
    const char* request = std::getenv("VANTORIX_TEST_DROP");
    if (!request) return;
    int x = 0, y = 0, used = 0;
    if (std::sscanf(request, "%6d,%6d,%n", &x, &y, &used) < 2 || used == 0) return;
    const char* name = request + used;
    const size_t length = std::strlen(name);
    HGLOBAL drop = GlobalAlloc(GHND, sizeof(DROPFILES) + length + 2);
    if (!drop) return;
    auto* files = static_cast<DROPFILES*>(GlobalLock(drop));
    files->pFiles = sizeof(DROPFILES);
    files->pt = POINT{x, y};
    std::memcpy(reinterpret_cast<char*>(files) + sizeof(DROPFILES), name,
                length); // two NULs follow
    GlobalUnlock(drop);
    if (!PostMessageA(hwndMain, WM_DROPFILES, WPARAM(drop), 0)) GlobalFree(drop);
}

int messageLoop(HACCEL accelerators) {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorA(hwndMain, accelerators, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return int(msg.wParam);
}
} // namespace

void SetTitle() {
    char title[windowTitleBytes];
    makeWindowTitle(title, sizeof title, nullptr);
    if (hwndMain) SetWindowTextA(hwndMain, title);
}

static void removeRun(const Rect& removed, void* context) {
    HRGN run = CreateRectRgn(removed.left, removed.top, removed.right, removed.bottom);
    CombineRgn(HRGN(context), HRGN(context), run, RGN_DIFF);
    DeleteObject(run);
}

// Cuts the window to the module's outline.
void MakeRegion(BOOL redraw) {
    if (!moduleDIB.mem) return;
    setBackgroundForShape(1);
    RECT window;
    GetWindowRect(hwndMain, &window);
    POINT origin{0, 0};
    ClientToScreen(hwndMain, &origin);
    const int ox = origin.x - window.left, oy = origin.y - window.top;
    const SIZE picture = pictureSize();
    HRGN region = CreateRectRgn(ox, oy, ox + picture.cx * zoom(), oy + picture.cy * zoom());
    Rect whole{};
    MakeRegionRuns(ox, oy, &whole, removeRun, region);
    if (!SetWindowRgn(hwndMain, region, redraw)) DeleteObject(region);
}

void ClearRegion(BOOL redraw) {
    setBackgroundForShape(0);
    SetWindowRgn(hwndMain, nullptr, redraw);
}

int ShowNewTFTfile() {
    char name[nameBytes];
    if (!moduleFileChanged(name)) return 0;
    FileOrBild2buffer(name, 0, 0);
    return 1;
}

// At the first start in a folder (no ini file yet) the starter module files
// that ship in "starter\" are copied beside the program where none exist.
static void copyStartersAtFirstStart() {
    if (GetFileAttributesA(iniFile) != INVALID_FILE_ATTRIBUTES) return;
    char starters[nameBytes];
    std::snprintf(starters, sizeof starters, "%s%s\\", programFolder, starterFolderName);
    copyStarterFiles(starters, programFolder);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand) {
    hInst = instance;
    windowThread = GetCurrentThreadId();
    resetStartState();
    installWindowSide();
    GetAppPathName(programFolder, appName, sizeof appName);
    lastFile[0] = 0;
    std::snprintf(iniFile, sizeof iniFile, "%s%s.ini", programFolder, appName);
    std::snprintf(helpFile, sizeof helpFile, "%sVantorix.chm", programFolder);
    std::snprintf(appDir, sizeof appDir, "%s", programFolder);
    std::snprintf(moduleDir, sizeof moduleDir, "%s", programFolder);
    shownFileTime = 0;
    copyStartersAtFirstStart();
    GetPrivateProfile();
    NewTFT(0);
    if (!previous && !registerWindowClass()) return 1;
    hwndMain = createMainWindow();
    if (!hwndMain) return 1;
    if (showWindowSetting() == 0) MakeRegion(FALSE);
    SetTimer(hwndMain, tickTimer, tickPeriodMs, nullptr);
    DragAcceptFiles(hwndMain, TRUE);
    INITCOMMONCONTROLSEX controls{sizeof controls, 0xFFFFFFFF};
    InitCommonControlsEx(&controls);
    HACCEL accelerators = LoadAcceleratorsA(hInst, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    mainMenu = GetMenu(hwndMain);
    CheckMenuFile();
    CheckMenuTFT();
    const bool haveHelp = GetFileAttributesA(helpFile) != INVALID_FILE_ATTRIBUTES;
    EnableMenuItem(mainMenu, IDM_HELP, MF_BYCOMMAND | (haveHelp ? MF_ENABLED : MF_GRAYED));
    buildPopupMenu();
    if (onTop == 1) SetWindowPos(hwndMain, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetTitle();
    ::ShowWindow(hwndMain, showCommand);
    UpdateWindow(hwndMain);
    ResizeTFT();
    getFWfile(1);
    getFWfile(2);
    openPicoCOM();
    if (!picoPort) findBootDrive();
    brightness = 100;
    if (ledOpen == 1) {
        if (picoPort)
            OpenLED();
        else
            ledOpen = 0;
    }
    GetAktModuleFileTime();
    startFirstFile(commandLine);
    const int result = messageLoop(accelerators);
    WritePrivateProfile();
    closePicoCOM();
    DestroyMenu(popupMenu);
    resetWindowBitmaps();
    return result;
}
