// Writes shell link (.lnk) files for tests: the 76-byte header, an optional
// target ID list and link information with a local base path.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct LnkContent {
    std::string localBasePath = "C:\\target\\file.txt";
    std::string pathSuffix;    // common path suffix, appended to the base path
    int idListSize = -1;       // bytes of the target ID list; -1: none
    bool withLinkInfo = true;  // link flags bit 1
    bool withLocalPath = true; // link information flags bit 0
    uint32_t infoHeaderSize = 28;
};

inline void lnkPut(std::vector<uint8_t>& b, size_t at, uint32_t v, int bytes) {
    if (b.size() < at + bytes) b.resize(at + bytes);
    for (int i = 0; i < bytes; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

inline void lnkPutText(std::vector<uint8_t>& b, const std::string& text) {
    b.insert(b.end(), text.begin(), text.end());
    b.push_back(0);
}

// Offsets inside the returned bytes, for tests that damage them.
struct LnkLayout {
    size_t linkInfoAt = 0;
};

inline std::vector<uint8_t> makeLnk(const LnkContent& s, LnkLayout* layout = nullptr) {
    static const uint8_t classId[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                        0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    std::vector<uint8_t> b(76, 0);
    lnkPut(b, 0, 76, 4);
    for (int i = 0; i < 16; ++i) b[4 + i] = classId[i];
    uint32_t flags = (s.idListSize >= 0 ? 1u : 0u) | (s.withLinkInfo ? 2u : 0u);
    lnkPut(b, 20, flags, 4);
    lnkPut(b, 60, 1, 4); // show normal
    if (s.idListSize >= 0) {
        lnkPut(b, b.size(), uint32_t(s.idListSize), 2);
        for (int i = 0; i < s.idListSize; ++i) b.push_back(uint8_t(0xA5 ^ i));
    }
    size_t info = b.size();
    if (layout) layout->linkInfoAt = info;
    if (s.withLinkInfo) {
        b.resize(info + s.infoHeaderSize, 0);
        const uint32_t volumeAt = s.infoHeaderSize;
        lnkPut(b, info + 4, s.infoHeaderSize, 4);
        lnkPut(b, info + 8, s.withLocalPath ? 1u : 0u, 4);
        if (s.withLocalPath) {
            lnkPut(b, info + 12, volumeAt, 4);
            // Volume ID: size, drive type (fixed), serial, label offset, empty label.
            size_t volume = b.size();
            lnkPut(b, volume, 17, 4);
            lnkPut(b, volume + 4, 3, 4);
            lnkPut(b, volume + 8, 0x1234ABCD, 4);
            lnkPut(b, volume + 12, 16, 4);
            b.push_back(0);
            lnkPut(b, info + 16, uint32_t(b.size() - info), 4);
            lnkPutText(b, s.localBasePath);
        }
        lnkPut(b, info + 24, uint32_t(b.size() - info), 4);
        lnkPutText(b, s.pathSuffix);
        lnkPut(b, info, uint32_t(b.size() - info), 4);
    }
    lnkPut(b, b.size(), 0, 4); // terminal extra-data block
    return b;
}
