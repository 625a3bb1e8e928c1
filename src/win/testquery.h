// A look inside the running window for the Wine tests: other programs cannot
// read this process's menu under Wine, nor most of its state. Sent
// testStateQuery, the window writes a report to the file that
// VANTORIX_TEST_STATE names; without that variable the message does nothing.
#pragma once
#include <windows.h>

constexpr UINT testStateQuery = WM_APP + 20;

void writeTestState();
