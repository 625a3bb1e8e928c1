#include "incbake_core.h"

#include <cstdio>
#include <cstring>

namespace {

bool isSep(char c) {
    return c == '/' || c == '\\';
}

// Start of the last path component.
size_t lastComponent(const char* s) {
    size_t start = 0;
    for (size_t i = 0; s[i]; ++i)
        if (isSep(s[i])) start = i + 1;
    return start;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool sameNoCase(const char* a, size_t alen, const char* b) {
    size_t blen = strlen(b);
    if (alen != blen) return false;
    for (size_t i = 0; i < alen; ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

void trim(const char*& b, const char*& e) {
    while (b < e && isBlank(*b)) ++b;
    while (e > b && (isBlank(e[-1]) || e[-1] == '\r')) --e;
}

// "%3d" of every byte value, so the hot loop copies instead of formatting.
struct NumTable {
    char text[256][3];
    NumTable() {
        for (int v = 0; v < 256; ++v) {
            char tmp[8];
            snprintf(tmp, sizeof tmp, "%3d", v);
            memcpy(text[v], tmp, 3);
        }
    }
};
const NumTable numTable;

} // namespace

int makeOutName(const char* src, std::string& out) {
    // Only a dot in the file's own name counts: "a.b/c" must not turn into "a.h"
    // beside the folder, which could clobber an unrelated file.
    size_t start = lastComponent(src);
    const char* dot = strrchr(src + start, '.');
    size_t keep = dot ? size_t(dot - src) : strlen(src);
    if (keep + 2 > INCBAKE_NAME_MAX) return 0;
    out.assign(src, keep);
    out += ".h";
    return 1;
}

int makeVarName(const char* outName, std::string& var) {
    const char* base = outName + lastComponent(outName);
    const char* dot = strrchr(base, '.');
    size_t len = dot ? size_t(dot - base) : strlen(base);
    if (len > INCBAKE_NAME_MAX) return 0;
    var.assign(base, len);
    for (char& c : var)
        if (c == ' ') c = '_';
    return 1;
}

int iniGetString(const char* text, size_t len, const char* section, const char* key,
                 const char* def, std::string& value) {
    const char* p = text;
    const char* end = text + len;
    if (len >= 3 && memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
    bool inSection = false;
    while (p < end) {
        const char* eol = static_cast<const char*>(memchr(p, '\n', size_t(end - p)));
        const char* lineEnd = eol ? eol : end;
        const char* b = p;
        const char* e = lineEnd;
        p = eol ? eol + 1 : end;
        trim(b, e);
        if (b == e) continue;
        if (*b == '[') {
            const char* nb = b + 1;
            const char* ne = static_cast<const char*>(memchr(nb, ']', size_t(e - nb)));
            if (!ne) ne = e;
            trim(nb, ne);
            inSection = sameNoCase(nb, size_t(ne - nb), section);
            continue;
        }
        if (!inSection) continue;
        const char* eq = static_cast<const char*>(memchr(b, '=', size_t(e - b)));
        if (!eq) continue;
        const char* kb = b;
        const char* ke = eq;
        trim(kb, ke);
        if (!sameNoCase(kb, size_t(ke - kb), key)) continue;
        const char* vb = eq + 1;
        const char* ve = e;
        trim(vb, ve);
        if (ve - vb >= 2 && (*vb == '"' || *vb == '\'') && ve[-1] == *vb) {
            ++vb;
            --ve;
        }
        value.assign(vb, size_t(ve - vb));
        return 1;
    }
    value = def;
    return 0;
}

int appFolderFromCommandLine(const char* cmdLine, const char* curDir, std::string& folder) {
    const char* p = cmdLine;
    while (isBlank(*p)) ++p;
    std::string token;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') token += *p++;
    } else {
        while (*p && !isBlank(*p)) token += *p++;
    }
    if (token.size() > INCBAKE_NAME_MAX) return 0;
    // Windows accepts "/" as well; one separator keeps the rule below simple.
    for (char& c : token)
        if (c == '/') c = '\\';

    std::string full;
    if (token.find(':') != std::string::npos || token.rfind("\\\\", 0) == 0) {
        full = token;
    } else {
        std::string cur = curDir;
        if (cur.size() > INCBAKE_NAME_MAX + 1) return 0;
        for (char& c : cur)
            if (c == '/') c = '\\';
        if (!cur.empty() && cur.back() == '\\') cur.pop_back();
        if (token[0] == '\\') {
            size_t bs = cur.find('\\');
            full = cur.substr(0, bs) + token;
        } else {
            const char* t = token.c_str();
            if (strncmp(t, "..\\", 3) == 0) {
                while (strncmp(t, "..\\", 3) == 0) {
                    size_t bs = cur.rfind('\\');
                    if (bs != std::string::npos) cur.resize(bs);
                    t += 3;
                }
            } else {
                while (strncmp(t, ".\\", 2) == 0) t += 2;
            }
            full = cur + "\\" + t;
        }
    }
    size_t bs = full.rfind('\\');
    folder = bs == std::string::npos ? std::string() : full.substr(0, bs + 1);
    return folder.size() <= INCBAKE_NAME_MAX;
}

std::string formatHead(const char* srcName, const char* varName, const char* varType,
                       long long size, const char* nl) {
    std::string s;
    s += "/* Datei ";
    s += srcName;
    s += " als Include */";
    s += nl;
    s += nl;
    s += "#define ";
    s += varName;
    s += "_LEN  ";
    s += std::to_string(size);
    s += nl;
    s += nl;
    s += varType;
    s += ' ';
    s += varName;
    s += '[';
    s += varName;
    s += "_LEN] =";
    s += nl;
    s += '{';
    return s;
}

std::string formatTail(const char* nl) {
    std::string s = nl;
    s += "};";
    s += nl;
    return s;
}

size_t formatBytes(const unsigned char* data, size_t n, unsigned long long index, const char* nl,
                   char* dst) {
    size_t nlLen = strlen(nl);
    char* o = dst;
    unsigned col = unsigned(index % 20);
    for (size_t i = 0; i < n; ++i) {
        if (col == 0) {
            if (index != 0 || i != 0) *o++ = ',';
            memcpy(o, nl, nlLen);
            o += nlLen;
        } else {
            *o++ = ',';
        }
        memcpy(o, numTable.text[data[i]], 3);
        o += 3;
        if (++col == 20) col = 0;
    }
    return size_t(o - dst);
}
