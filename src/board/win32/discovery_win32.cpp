// Board discovery on Windows: the usbser driver's device list in the
// registry, and the drive letters with their volume information.
#include "board/discovery.h"

#include <windows.h>

namespace {
intptr_t openKey(const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    return reinterpret_cast<intptr_t>(key);
}

void closeKey(intptr_t key) {
    RegCloseKey(reinterpret_cast<HKEY>(key));
}

int readNumber(intptr_t key, const char* name, uint32_t* value) {
    DWORD type = 0, number = 0, size = sizeof number;
    if (RegQueryValueExA(reinterpret_cast<HKEY>(key), name, nullptr, &type,
                         reinterpret_cast<BYTE*>(&number), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return 0;
    *value = number;
    return 1;
}

int readText(intptr_t key, const char* name, char* buffer, int size) {
    if (size <= 0) return 0;
    DWORD type = 0, length = DWORD(size - 1);
    if (RegQueryValueExA(reinterpret_cast<HKEY>(key), name, nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer), &length) != ERROR_SUCCESS)
        return 0;
    if (type != REG_SZ && type != REG_MULTI_SZ && type != REG_EXPAND_SZ) return 0;
    buffer[length < DWORD(size) ? length : DWORD(size - 1)] = 0; // stored texts need not end in NUL
    return 1;
}

int driveRoots(char* buffer, int size) {
    DWORD length = GetLogicalDriveStringsA(DWORD(size), buffer);
    return length > DWORD(size) ? 0 : int(length);
}

int volumeInfo(const char* root, char* label, int labelSize, char* fileSystem, int fileSystemSize) {
    return GetVolumeInformationA(root, label, DWORD(labelSize), nullptr, nullptr, nullptr,
                                 fileSystem, DWORD(fileSystemSize))
               ? 1
               : 0;
}

int isRemovable(const char* root) {
    return GetDriveTypeA(root) == DRIVE_REMOVABLE;
}

int fileExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

const RegistryAccess windowsRegistry{openKey, closeKey, readNumber, readText};
const VolumeAccess windowsVolumes{driveRoots, volumeInfo, isRemovable, fileExists};
DiscoverySystem windowsSystem{&windowsRegistry, &windowsVolumes, nullptr, nullptr};
} // namespace

const DiscoverySystem& systemDiscovery() {
    return windowsSystem;
}
