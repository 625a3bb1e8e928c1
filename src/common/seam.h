// The window side of the portable floors: what the interpreter, the module
// rebuild and the board link ask of whatever shows the module (the Windows
// front end, the headless runner, the tests). The board itself is reached
// through the serial layer in board/, not through here.
//
// Result convention, the same for every hook: 1 when done, 0 when it failed.
// A hook left null counts as done and does nothing.
//
// Threads and the panel lock (panelLock() in panel/zr_tft.h):
// - redrawPanel: any thread; often called with the panel lock held, so it
//   must only request a repaint, never paint or wait for another thread.
// - checkMenuFile, checkMenuTFT: any thread (the send-file worker through
//   the interpreter, the window thread on its tick); the panel lock may be
//   held. They only renew check marks.
// - resizeTFT: the window's part of NewTFT (fit the window to the module,
//   reshape it). Called from NewTFT with the panel lock held, on the thread
//   that changed the model or orientation.
// - logLine: any thread, panel lock not held by the log itself (printMessage
//   may be reached from inside a command, where it is held). One line,
//   already formatted, with its own line end.
// - transferStart, transferProgress: the thread that sends a bitmap stream
//   (sendbuffer), panel lock not held. transferStart(bytes) comes once
//   before the first chunk (the window shows its hidden send dialog for long
//   transfers); transferProgress(position) whenever the position 0..1000
//   changes.
// - connectionChanged: the thread that owns the port, after a board was
//   connected or let go (title, module menu, LED dialog follow picoPort).
//   Panel lock not held.
// - reportWarning: like reportError, for what goes on but differs from what
//   was asked (a board that reports another model than the one chosen).
// - reportError: any thread, panel lock may be held. A job step failed in a
//   way the user should hear about (a picture that cannot be read, a board
//   that stopped taking data). One line without a line end.
#pragma once
#include <cstdint>

struct WindowSeam {
    int (*redrawPanel)();                    // RedrawAA
    int (*checkMenuFile)();                  // CheckMenuFile
    int (*checkMenuTFT)();                   // CheckMenuTFT
    int (*resizeTFT)();                      // the window's part of NewTFT(resize)
    int (*logLine)(const char* line);        // printMessage
    int (*transferStart)(uint32_t bytes);    // sendbuffer, before the first chunk
    int (*transferProgress)(int position);   // sendbuffer, 0..1000
    int (*reportError)(const char* message); // failed job steps
    int (*connectionChanged)();              // SetTitle and the module menu
    int (*reportWarning)(const char* message);
};

void installWindowSeam(const WindowSeam& seam);
// The hooks installed now, for a host that adds its own to another's.
WindowSeam installedWindowSeam();
// Forgets every hook (each then counts as done and does nothing).
void resetWindowSeam();

int RedrawAA();
int CheckMenuFile();
int CheckMenuTFT();
int ResizeTFT();
int connectionChanged();
int transferStart(uint32_t bytes);
int transferProgress(int position);
// Formats at most 255 characters (longer text is cut) and hands the line to
// the log; dropped when nothing shows a log.
void printMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Same cut at 255 characters, for the error and warning outputs.
void reportError(const char* format, ...) __attribute__((format(printf, 1, 2)));
void reportWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));
