// Board discovery on Linux: the boards and the boot drive from the udev
// device tree, the mounted volumes from the mount table.
#include "board/discovery.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <libudev.h>
#include <sys/sysmacros.h>

namespace {
uint16_t hexAttribute(udev_device* device, const char* name) {
    const char* text = udev_device_get_sysattr_value(device, name);
    return text ? uint16_t(std::strtoul(text, nullptr, 16)) : 0;
}

void copyProperty(udev_device* device, const char* name, char* out, size_t size) {
    const char* value = udev_device_get_property_value(device, name);
    std::snprintf(out, size, "%s", value ? value : "");
}

void listSerialDevices(void (*found)(const SerialDeviceInfo&, void*), void* context) {
    udev* root = udev_new();
    if (!root) return;
    udev_enumerate* search = udev_enumerate_new(root);
    if (search && udev_enumerate_add_match_subsystem(search, "tty") >= 0 &&
        udev_enumerate_scan_devices(search) >= 0) {
        udev_list_entry* entry;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(search)) {
            udev_device* tty = udev_device_new_from_syspath(root, udev_list_entry_get_name(entry));
            if (!tty) continue;
            udev_device* usb =
                udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
            const char* node = udev_device_get_devnode(tty);
            if (usb && node) {
                SerialDeviceInfo info{node, hexAttribute(usb, "idVendor"),
                                      hexAttribute(usb, "idProduct")};
                found(info, context);
            }
            udev_device_unref(tty);
        }
    }
    if (search) udev_enumerate_unref(search);
    udev_unref(root);
}

int readBlockDevice(unsigned major, unsigned minor, BlockDeviceInfo* info) {
    udev* root = udev_new();
    if (!root) return 0;
    udev_device* block = udev_device_new_from_devnum(root, 'b', makedev(major, minor));
    int known = 0;
    if (block) {
        copyProperty(block, "ID_FS_LABEL", info->label, sizeof info->label);
        copyProperty(block, "ID_FS_TYPE", info->fsType, sizeof info->fsType);
        copyProperty(block, "ID_FS_VERSION", info->fsVersion, sizeof info->fsVersion);
        // "removable" belongs to the whole disk, the parent of a partition.
        udev_device* disk = block;
        if (!udev_device_get_sysattr_value(disk, "removable"))
            disk = udev_device_get_parent_with_subsystem_devtype(block, "block", "disk");
        const char* removable = disk ? udev_device_get_sysattr_value(disk, "removable") : nullptr;
        info->removable = removable && removable[0] == '1';
        known = 1;
        udev_device_unref(block);
    }
    udev_unref(root);
    return known;
}

const DeviceTree udevTree{listSerialDevices, readBlockDevice};
DiscoverySystem linuxSystem{nullptr, nullptr, &udevTree, "/proc/self/mountinfo"};
} // namespace

const DiscoverySystem& systemDiscovery() {
    return linuxSystem;
}
