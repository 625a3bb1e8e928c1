#include "board/picolink.h"

#include "board/discovery.h"
#include "board/seriowin.h"
#include "common/seam.h"
#include "common/settings.h"
#include "file/fsys.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

std::atomic<int32_t> picoPort{0};
std::atomic<int32_t> picoFW{0};
std::atomic<int32_t> picoType{0};
std::atomic<int32_t> picoDrive{0};
char picoDriveRoot[256] = "";
PicoEntry picoList[picoListSize];
int32_t picoCount = 0;
int32_t picoIndex = 0;
const char* const usbserEnumKey = "SYSTEM\\CurrentControlSet\\Services\\usbser\\Enum";

namespace {
constexpr int progressScale = 1000;
constexpr int registryValueSize = 200;
// A damaged list could claim billions of devices; no machine has this many ports.
constexpr uint32_t maxListedDevices = 4096;
constexpr int settleMs = 50;
constexpr int pollMs = 50;
constexpr int firstPortPolls = 8;
constexpr int statusBlockSize = 4;
constexpr int volumeTextSize = 128;
constexpr int driveListSize = 128;
constexpr const char* deviceKeyFormat = "SYSTEM\\CurrentControlSet\\Enum\\%s";
constexpr const char* bootInfoFile = "INFO_UF2.TXT";

std::atomic<int> linkLost{0};
DiscoverySystem noDiscovery{};
DiscoverySystem discovery{};
std::string bootFolder;
bool lastOpenFailed = false;

// Copies text cut to what fits, always NUL-terminated.
void copyText(char* out, size_t size, const char* text) {
    size_t length = strnlen(text, size - 1);
    std::memcpy(out, text, length);
    out[length] = 0;
}

// ---- the registry list ----
void parseHex(const char* text, const char* tag, uint16_t* field) {
    const char* at = std::strstr(text, tag);
    unsigned value = 0;
    if (at && std::sscanf(at + std::strlen(tag), "%x", &value) == 1) *field = uint16_t(value);
}

bool isAcceptedBoard(const PicoEntry& entry) {
    return entry.vid == picoVendorId && entry.pid == picoProductId && entry.port > 0;
}

// Fills the entry at picoCount from one device key.
void readDeviceKey(const RegistryAccess& registry, intptr_t device, PicoEntry& entry) {
    char text[registryValueSize];
    if (registry.readText(device, "FriendlyName", text, sizeof text)) {
        const char* com = std::strstr(text, "(COM");
        int port = 0;
        if (com && std::sscanf(com, "(COM%d)", &port) == 1) {
            entry.port = port;
            copyText(entry.name, sizeof entry.name, text);
        }
    }
    if (registry.readText(device, "HardwareID", text, sizeof text)) {
        parseHex(text, "VID_", &entry.vid);
        parseHex(text, "PID_", &entry.pid);
    }
}

// ---- the device tree ----
void addSerialDevice(const SerialDeviceInfo& device, void*) {
    if (picoCount >= picoListSize) return;
    if (device.vid != picoVendorId || device.pid != picoProductId) return;
    int port = COMregisterDevice(device.devicePath);
    if (!port) return;
    PicoEntry& entry = picoList[picoCount];
    entry = PicoEntry{};
    entry.port = port;
    entry.vid = device.vid;
    entry.pid = device.pid;
    std::snprintf(entry.name, sizeof entry.name, "Pico (%s)", device.devicePath);
    ++picoCount;
}

// ---- connecting ----
int sendQuery() {
    static const char query[] = {0x1B, '?', '\n'};
    return COMwrblk(query, sizeof query);
}

int sendPwm() {
    char message[32];
    int length = std::snprintf(message, sizeof message, "\x1bP%d\n", int(PWM));
    return COMwrblk(message, length);
}

// Polls are shared by all ports of one search: the first port that opens
// gets up to eight, every later one a single poll.
bool answersQuery(int& polls) {
    if (!sendQuery()) return false;
    int waiting;
    do {
        COMpause(pollMs);
        waiting = COMinbufferanz();
    } while (waiting < statusBlockSize && ++polls < firstPortPolls);
    return waiting >= statusBlockSize;
}

bool tryEntry(int& polls) {
    const PicoEntry& entry = picoList[picoIndex];
    lastOpenFailed = !COMopen(entry.port, boardBaud);
    if (lastOpenFailed) return false;
    if (answersQuery(polls)) {
        picoPort = entry.port;
        // A board that takes the query but not this is still connected; the
        // next write that fails lets it go.
        sendPwm();
        connectionChanged();
        return true;
    }
    COMclose();
    return false;
}

void startAttempt() {
    picoIndex = 0;
    picoPort = 0;
    picoFW = 0;
    linkLost = 0;
    COMpause(settleMs);
}

// ---- boot drives ----
// A boot drive holds plain files only: anything else by the info file's name
// (a pipe would keep the runner waiting) does not make a folder one.

int32_t bootLabelType(const char* label) {
    if (std::strcmp(label, "RPI-RP2") == 0) return 1;
    if (std::strcmp(label, "RP2350") == 0) return 2;
    return 0;
}

int letterDrive(const VolumeAccess& volumes, int32_t& type) {
    char roots[driveListSize + 2] = {};
    int length = volumes.driveRoots(roots, driveListSize);
    if (length <= 0 || length > driveListSize) return 0;
    for (const char* root = roots; *root && root < roots + length; root += std::strlen(root) + 1) {
        char label[volumeTextSize], fileSystem[volumeTextSize];
        if (!volumes.volumeInfo(root, label, sizeof label, fileSystem, sizeof fileSystem)) continue;
        if (int32_t seen = bootLabelType(label)) type = seen;
        if (!type) continue;
        char info[64];
        std::snprintf(info, sizeof info, "%c:\\%s", root[0], bootInfoFile);
        if (std::strcmp(fileSystem, "FAT") == 0 && volumes.isRemovable(root) &&
            volumes.fileExists(info)) {
            copyText(picoDriveRoot, sizeof picoDriveRoot, root);
            return root[0];
        }
    }
    return 0;
}

// Mount points in the mountinfo format escape blanks and backslashes as octal.
std::string unescapeMountPoint(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (p[0] == '\\' && p[1] >= '0' && p[1] <= '7' && p[2] >= '0' && p[2] <= '7' &&
            p[3] >= '0' && p[3] <= '7') {
            out += char(((p[1] - '0') << 6) | ((p[2] - '0') << 3) | (p[3] - '0'));
            p += 3;
        } else {
            out += *p;
        }
    }
    return out;
}

std::string joinPath(const std::string& folder, const char* name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// The boot loader's drive is a FAT12/16 volume: "FAT" to Windows, not FAT32.
bool isPlainFat(const BlockDeviceInfo& info) {
    return std::strcmp(info.fsType, "vfat") == 0 && std::strcmp(info.fsVersion, "FAT32") != 0;
}

int mountedDrive(const DeviceTree& devices, const char* mountTable, int32_t& type) {
    FILE* table = std::fopen(mountTable, "r");
    if (!table) return 0;
    char line[4096];
    int found = 0;
    while (!found && std::fgets(line, sizeof line, table)) {
        unsigned major = 0, minor = 0;
        char mountPoint[4096];
        if (std::sscanf(line, "%*s %*s %u:%u %*s %4095s", &major, &minor, mountPoint) != 3)
            continue;
        BlockDeviceInfo info{};
        if (!devices.blockDevice || !devices.blockDevice(major, minor, &info)) continue;
        info.label[sizeof info.label - 1] = 0;
        if (int32_t seen = bootLabelType(info.label)) type = seen;
        if (!type || !isPlainFat(info) || !info.removable) continue;
        std::string folder = unescapeMountPoint(mountPoint);
        if (!isPlainFile(joinPath(folder, bootInfoFile).c_str())) continue;
        std::snprintf(picoDriveRoot, sizeof picoDriveRoot, "%s", folder.c_str());
        found = bootFolderDrive;
    }
    std::fclose(table);
    return found;
}

// INFO_UF2.TXT names the boot loader's board ("Board-ID: RPI-RP2").
int32_t folderBoardType(const std::string& infoPath) {
    FILE* file = std::fopen(infoPath.c_str(), "r");
    if (!file) return 0;
    char line[256];
    int32_t type = 0;
    while (!type && std::fgets(line, sizeof line, file)) {
        if (std::strncmp(line, "Board-ID:", 9) != 0) continue;
        if (std::strstr(line, "RPI-RP2")) type = 1;
        if (std::strstr(line, "RP2350")) type = 2;
    }
    std::fclose(file);
    return type;
}
} // namespace

void installDiscoverySystem(const DiscoverySystem& system) {
    discovery = system;
}
void resetDiscoverySystem() {
    discovery = noDiscovery;
}
const DiscoverySystem& discoverySystem() {
    return discovery;
}

void SearchRegKey(const char* key, int kind) {
    const RegistryAccess* registry = discovery.registry;
    if (!registry) return;
    intptr_t list = registry->openKey(key);
    if (!list) return;
    uint32_t count = 0;
    if (!registry->readNumber(list, "Count", &count)) {
        registry->closeKey(list);
        return;
    }
    if (count > maxListedDevices) count = maxListedDevices;
    for (uint32_t i = 0; i < count && picoCount < picoListSize; ++i) {
        char name[16], instance[registryValueSize];
        std::snprintf(name, sizeof name, "%u", unsigned(i));
        if (!registry->readText(list, name, instance, sizeof instance)) continue;
        char path[registryValueSize + 64];
        std::snprintf(path, sizeof path, deviceKeyFormat, instance);
        intptr_t device = registry->openKey(path);
        if (!device) continue;
        // Each device starts from an empty entry, so nothing of a rejected
        // one is taken over by the next.
        PicoEntry& entry = picoList[picoCount];
        entry = PicoEntry{};
        if (kind == usbSerialList) readDeviceKey(*registry, device, entry);
        if (isAcceptedBoard(entry)) ++picoCount;
        registry->closeKey(device);
    }
    if (picoCount < picoListSize) picoList[picoCount] = PicoEntry{};
    registry->closeKey(list);
}

int GetCOMnames() {
    std::memset(picoList, 0, sizeof picoList);
    picoCount = 0;
    if (discovery.registry) SearchRegKey(usbserEnumKey, usbSerialList);
    if (discovery.devices && discovery.devices->serialDevices)
        discovery.devices->serialDevices(addSerialDevice, nullptr);
    return picoCount;
}

void openPicoCOM() {
    startAttempt();
    if (!GetCOMnames()) return;
    int polls = 0;
    for (picoIndex = 0; picoIndex < picoCount; ++picoIndex)
        if (tryEntry(polls)) return;
}

int openPicoPort(int port) {
    startAttempt();
    std::memset(picoList, 0, sizeof picoList);
    picoCount = 1;
    picoList[0].port = port;
    char name[sizeof picoList[0].name];
    COMportName(port, name, sizeof name);
    copyText(picoList[0].name, sizeof picoList[0].name, name);
    int polls = 0;
    if (tryEntry(polls)) return 1;
    picoCount = 0;
    return lastOpenFailed ? -1 : 0;
}

void closePicoCOM() {
    COMclose();
    picoCount = 0;
    picoPort = 0;
    linkLost = 0; // a lost link is dealt with once it is let go
    connectionChanged();
}

void setBootFolder(const char* folder) {
    bootFolder = folder ? folder : "";
}

int getPicoDrive(int32_t* type) {
    int32_t seen = 0;
    int drive = 0;
    if (!bootFolder.empty()) {
        std::string info = joinPath(bootFolder, bootInfoFile);
        if (isPlainFile(info.c_str())) {
            seen = folderBoardType(info);
            std::snprintf(picoDriveRoot, sizeof picoDriveRoot, "%s", bootFolder.c_str());
            drive = bootFolderDrive;
        }
    }
    if (!drive && discovery.volumes) drive = letterDrive(*discovery.volumes, seen);
    if (!drive && discovery.devices && discovery.mountTable)
        drive = mountedDrive(*discovery.devices, discovery.mountTable, seen);
    if (type) *type = seen;
    return drive;
}

int boardLinkFailed() {
    int port = picoPort;
    picoPort = 0;
    if (linkLost.exchange(1) == 0) {
        char name[256];
        COMportName(port, name, sizeof name);
        reportError("the board on %s stopped taking data; the rest runs on the panel alone", name);
    }
    return 0;
}

int boardLinkLost() {
    return linkLost.load();
}

uint32_t sendbuffer(const void* buffer, uint32_t count) {
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    transferStart(count);
    uint32_t sent = 0;
    int lastPosition = 0;
    while (sent < count) {
        uint32_t chunk = count - sent < uint32_t(COMblksize) ? count - sent : uint32_t(COMblksize);
        if (!COMwrblk(bytes + sent, int(chunk))) {
            boardLinkFailed();
            return sent;
        }
        sent += chunk;
        int position = int(float(progressScale) * float(sent) / float(count));
        if (position != lastPosition) {
            lastPosition = position;
            transferProgress(position);
        }
    }
    return count;
}

void resetPicoLink() {
    picoPort = picoFW = picoType = picoDrive = 0;
    picoDriveRoot[0] = 0;
    std::memset(picoList, 0, sizeof picoList);
    picoCount = picoIndex = 0;
    linkLost = 0;
    bootFolder.clear();
}
