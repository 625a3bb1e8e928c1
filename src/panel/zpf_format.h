// The ZPF bitmap font format, shared by the text renderer (which reads it)
// and tools/fontgen (which writes it), so that the two cannot drift apart.
// All numbers are little-endian.
//
// A file is the magic "ZR", two bytes 0x01 0x01, the body length and the body.
// The body is a header, glyph records sorted by code, then the glyph bitmaps
// (rows bottom-up, bit 0 = leftmost pixel), each at the offset its record gives.
#pragma once
#include <cstdint>

// File header.
constexpr uint32_t ZPF_FILE_MAGIC = 0;       // "ZR"
constexpr uint32_t ZPF_FILE_VERSION = 2;     // the bytes 0x01 0x01, not read
constexpr uint32_t ZPF_FILE_BODY_LENGTH = 4; // LE32
constexpr uint32_t ZPF_FILE_HEADER_SIZE = 8; // the body follows

// Body header (offsets from the start of the body).
constexpr uint32_t ZPF_BODY_TAG = 0;          // 0x0101, not read
constexpr uint32_t ZPF_BODY_COUNT = 2;        // number of glyph records
constexpr uint32_t ZPF_BODY_FIRST_CODE = 4;   // smallest character code
constexpr uint32_t ZPF_BODY_LAST_CODE = 6;    // largest character code
constexpr uint32_t ZPF_BODY_ZERO = 8;         // 0, not read
constexpr uint32_t ZPF_BODY_CELL_HEIGHT = 10; // the same for every glyph
constexpr uint32_t ZPF_BODY_DESCENT = 12;     // rows below the baseline, not read
constexpr uint32_t ZPF_BODY_WIDEST = 14;      // widest glyph, not read
constexpr uint32_t ZPF_BODY_FIXED = 16;       // 1 when every glyph has the same width, not read
constexpr uint32_t ZPF_BODY_WIDEST_INK = 18;  // largest ink right edge of the records, not read
constexpr uint32_t ZPF_BODY_RESERVED = 20;    // not read
constexpr uint32_t ZPF_BODY_MINUS_DESCENT = 22;
constexpr uint32_t ZPF_BODY_HEADER_SIZE = 24; // the records follow

// Glyph record (offsets from the start of the record).
constexpr uint32_t ZPF_RECORD_CODE = 0;
constexpr uint32_t ZPF_RECORD_DATA_SIZE = 2;   // bytes per row x cell height
constexpr uint32_t ZPF_RECORD_DATA_OFFSET = 4; // LE32, from the start of the body
constexpr uint32_t ZPF_RECORD_ZERO = 8;        // 0, not read
constexpr uint32_t ZPF_RECORD_WIDTH = 10;      // pixels; bytes per row = (width + 7) / 8
constexpr uint32_t ZPF_RECORD_INK_LEFT = 12;   // left bearing, capped at 8, not read
constexpr uint32_t ZPF_RECORD_INK_RIGHT = 14;  // x of the rightmost ink column, not read
constexpr uint32_t ZPF_RECORD_INK_TOP = 16;    // signed, ink top above the baseline, not read
constexpr uint32_t ZPF_RECORD_INK_BOTTOM = 18; // signed, ink bottom above the baseline, not read
constexpr uint32_t ZPF_RECORD_SIZE = 20;

constexpr uint8_t zpfMagic[2] = {'Z', 'R'};
constexpr uint16_t zpfBodyTag = 0x0101;
