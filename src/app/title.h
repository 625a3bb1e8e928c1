// The window title: the model's title text, "TC" or "NN" for the touch
// option, and the board's port when one is connected.
#pragma once
#include <cstddef>

// Holds the title as SetTitle shows it; the window's buffer is this long.
constexpr size_t windowTitleBytes = 32;
// device names the connected port where ports are not numbered (Linux); null
// gives " (COM%d)" with picoPort. Longer titles are cut to size - 1 bytes.
void makeWindowTitle(char* out, size_t size, const char* device);
