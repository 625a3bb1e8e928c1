// The one seam through which the portable core reaches the window and the
// board. The CLI, the tests and the Windows front end each install their own
// hooks; a hook left null does nothing (a write reports failure).
#pragma once
#include <cstdint>

struct Seam {
    void (*redrawPanel)();                           // RedrawAA
    void (*checkMenuFile)();                         // CheckMenuFile
    void (*checkMenuTFT)();                          // CheckMenuTFT
    void (*newTFT)(int resize);                      // NewTFT
    void (*logLine)(const char* line);               // printMessage, already formatted
    int (*writeBlock)(const void* data, int length); // COMwrblk: bytes written, or -1
    int (*sendBuffer)(const void* data, int length); // sendbuffer: 1 when all was sent
};

void installSeam(const Seam& seam);
void resetSeam();

// COM port number of the connected board; 0 = none (no forwarding).
extern int picoPort;

void RedrawAA();
void CheckMenuFile();
void CheckMenuTFT();
void NewTFT(int resize);
void printMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
int COMwrblk(const void* data, int length);
int sendbuffer(const void* data, int length);
