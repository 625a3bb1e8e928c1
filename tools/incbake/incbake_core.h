// incbake's portable logic: names, the ini lookup, the program folder rule and
// the text layout of the include file. No I/O happens here, so the rules can be
// checked without running the program.
#pragma once
#include <cstddef>
#include <string>

// Every name and text the tool handles fits 254 characters; longer ones are
// refused instead of cut, because a cut name would silently address another file.
enum { INCBAKE_NAME_MAX = 254 };

// Output name: the source name with the extension of its last path component
// replaced by ".h" ("/" and "\" both end a folder); without such an extension
// ".h" is appended. Returns 0 when the result exceeds INCBAKE_NAME_MAX.
int makeOutName(const char* src, std::string& out);

// Variable name: the output name after its last "/" or "\", cut at its last
// ".", blanks turned into "_". Returns 0 when the result exceeds INCBAKE_NAME_MAX.
int makeVarName(const char* outName, std::string& var);

// Value of key in section of an ini text, with the semantics of the profile API:
// section and key compare case-insensitively, the value is trimmed and loses
// one pair of enclosing quotes, the first match wins. Returns 1 when the key
// was found, 0 when value was set to def.
int iniGetString(const char* text, size_t len, const char* section, const char* key,
                 const char* def, std::string& value);

// Program folder from a Windows command line: its first token resolved against
// the current folder (drive-rooted, "..\" and ".\" forms), cut after the last
// backslash. The folder keeps its final backslash; it is empty when the token
// names no folder at all. Returns 0 when the token or the result is too long.
int appFolderFromCommandLine(const char* cmdLine, const char* curDir, std::string& folder);

// Text before the bytes: comment, length macro, declaration and opening brace.
// nl is the line end of the target platform ("\n" or "\r\n").
std::string formatHead(const char* srcName, const char* varName, const char* varType,
                       long long size, const char* nl);
// Text after the bytes: the closing brace line.
std::string formatTail(const char* nl);

// Largest number of characters formatBytes writes for n bytes.
inline size_t formatBytesBound(size_t n, size_t nlLen) {
    return n * (4 + nlLen);
}

// Formats n bytes as "%3d" numbers, 20 to a line, comma-separated, into dst,
// which must hold formatBytesBound(n, strlen(nl)) characters. index is the
// position of data[0] within the whole file and decides the separators.
// Returns the number of characters written.
size_t formatBytes(const unsigned char* data, size_t n, unsigned long long index, const char* nl,
                   char* dst);
