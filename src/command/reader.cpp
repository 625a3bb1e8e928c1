#include "command/reader.h"

namespace {
bool isDecimalDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

int hexDigitValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isStopCharacter(unsigned char c) {
    return c == 0 || c == '\n' || c == ';' || c == '$' || c == '%' || isDecimalDigit(c) ||
           c == '"' || c == '\'';
}

bool isConversionSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The value "%x" would give for the text after a "$": leading white space,
// an optional sign and an optional 0x prefix are accepted as the firmware's
// conversion accepts them. Overlong numbers keep their low 32 bits.
uint32_t scanHexLikeStdio(const unsigned char* s) {
    while (isConversionSpace(*s)) ++s;
    bool negative = false;
    if (*s == '+' || *s == '-') negative = *s++ == '-';
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X') && hexDigitValue(s[2]) >= 0) s += 2;
    uint32_t value = 0;
    for (int digit; (digit = hexDigitValue(*s)) >= 0; ++s) value = value * 16 + uint32_t(digit);
    return negative ? 0u - value : value;
}
} // namespace

void nextline(const char** scan) {
    const char* p = *scan;
    while (*p && *p != '\n') ++p;
    if (*p == '\n') ++p;
    *scan = p;
}

void nextchar(const char** scan) {
    const char* p = *scan;
    while (!isStopCharacter(static_cast<unsigned char>(*p))) ++p;
    *scan = p;
}

int16_t getvalue(const char** scan) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(*scan);
    uint32_t value = 0;
    if (*p == '$') {
        value = scanHexLikeStdio(p + 1);
        ++p;
        while (hexDigitValue(*p) >= 0) ++p;
    } else if (*p == '%') {
        ++p;
        while (*p == '0' || *p == '1') value = value * 2 + uint32_t(*p++ - '0');
    } else if (isDecimalDigit(*p)) {
        while (isDecimalDigit(*p)) value = value * 10 + uint32_t(*p++ - '0');
    }
    *scan = reinterpret_cast<const char*>(p);
    return static_cast<int16_t>(static_cast<uint16_t>(value));
}

int16_t getnextvalue(const char** scan) {
    nextchar(scan);
    return getvalue(scan);
}

int nextTextPiece(const char** scan, TextPiece* piece) {
    const char* p = *scan;
    nextchar(&p);
    const char c = *p;
    *piece = TextPiece{p, p, 0, false, 0};
    if (c == 0 || c == '\n' || c == ';') {
        *scan = p;
        return 0;
    }
    if (c == '"' || c == '\'') {
        piece->quote = c;
        ++p;
        while (static_cast<unsigned char>(*p) >= 0x20 && *p != c) ++p;
        piece->closed = *p == c;
        if (piece->closed) ++p;
    } else {
        piece->value = getvalue(&p);
    }
    piece->end = p;
    *scan = p;
    return 1;
}

int16_t getString(const char** scan, char* out, int capacity) {
    int count = 0;
    auto store = [&](char c) {
        if (count < capacity - 1) out[count++] = c;
    };
    TextPiece piece;
    while (nextTextPiece(scan, &piece)) {
        if (!piece.quote) {
            store(static_cast<char>(piece.value & 0xFF));
            continue;
        }
        const char* textEnd = piece.closed ? piece.end - 1 : piece.end;
        for (const char* q = piece.start + 1; q < textEnd; ++q) store(*q);
    }
    if (capacity > 0) out[count] = 0;
    return static_cast<int16_t>(count);
}
