// What board discovery asks of the system: on Windows the registry (the list
// of the usbser driver) and the volumes; elsewhere the device tree (udev) and
// the mount table. Each system file fills the parts it has; tests install fakes.
#pragma once
#include <cstdint>

// Read-only access to keys under HKEY_LOCAL_MACHINE.
struct RegistryAccess {
    intptr_t (*openKey)(const char* path); // 0 when the key cannot be opened
    void (*closeKey)(intptr_t key);
    // A number value (REG_DWORD): 1 and the value, or 0 when missing.
    int (*readNumber)(intptr_t key, const char* name, uint32_t* value);
    // A text value, NUL-terminated in size bytes: 1, or 0 when missing or too long.
    int (*readText)(intptr_t key, const char* name, char* buffer, int size);
};

// Drive letters and what their volumes say about themselves.
struct VolumeAccess {
    // The drive roots as "C:\\\0D:\\\0\0" in size bytes; the length, 0 on failure.
    int (*driveRoots)(char* buffer, int size);
    // Volume label and file system name of a root: 1, or 0 on failure.
    int (*volumeInfo)(const char* root, char* label, int labelSize, char* fileSystem,
                      int fileSystemSize);
    int (*isRemovable)(const char* root);
    int (*fileExists)(const char* path);
};

// One serial device with a USB parent, as the device tree shows it.
struct SerialDeviceInfo {
    const char* devicePath; // "/dev/ttyACM0"
    uint16_t vid, pid;
};

// A block device's file-system properties (udev's ID_FS_LABEL, ID_FS_TYPE,
// ID_FS_VERSION) and whether its disk is removable.
struct BlockDeviceInfo {
    char label[128];
    char fsType[32];
    char fsVersion[32];
    int removable;
};

struct DeviceTree {
    // Calls found once for every tty device that has a USB parent.
    void (*serialDevices)(void (*found)(const SerialDeviceInfo& device, void* context),
                          void* context);
    // Properties of the block device major:minor: 1, or 0 when unknown.
    int (*blockDevice)(unsigned major, unsigned minor, BlockDeviceInfo* info);
};

struct DiscoverySystem {
    const RegistryAccess* registry = nullptr; // where boards are listed in the registry
    const VolumeAccess* volumes = nullptr;    // where boot drives have letters
    const DeviceTree* devices = nullptr;      // where boards and drives come from a device tree
    const char* mountTable = nullptr;         // with devices: a file in the mountinfo format
};

void installDiscoverySystem(const DiscoverySystem& system);
// Back to no system: no boards, no drives.
void resetDiscoverySystem();
const DiscoverySystem& discoverySystem();
// The system the program was built for (board/posix, board/win32).
const DiscoverySystem& systemDiscovery();
