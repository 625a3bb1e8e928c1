// The board's firmware: the USB serial link to the PC, the shared link logic
// (device/) and the shared panel driver on the module's real controller.
#include "board_io.h"
#include "touch.h"

#include "common/settings.h"
#include "device/configrecord.h"
#include "device/protocol.h"
#include "module/newtft.h"
#include "panel/zr_tft.h"

#include "pico/stdio/driver.h"
#include "pico/stdio_usb.h"
#include "pico/stdlib.h"

namespace {
// An unconfigured board still needs a panel to say so on; most models have
// this controller and size.
constexpr int fallbackModel = 3;
constexpr size_t readChunk = 1024;
// The demo mode steps through the start screens this often.
constexpr int demoStepSeconds = 5;
#if PICO_RP2350
constexpr int isPico2 = 1;
#else
constexpr int isPico2 = 0;
#endif

// A reply says that everything before it has been drawn: the panel's bus
// is flushed first.
void sendToPc(const uint8_t* bytes, size_t length) {
    boardPanelBusFlush();
    stdio_usb.out_chars(reinterpret_cast<const char*>(bytes), int(length));
}

void storeConfiguration() {
    uint8_t record[configRecordBytes];
    encodeConfigRecord({int(Module), int(Touch), int(Angle)}, record);
    boardStoreConfig(record, sizeof record);
}

void loadConfiguration() {
    ModuleConfiguration config{};
    if (decodeConfigRecord(boardStoredConfig(), configRecordBytes, &config)) {
        Module = config.model;
        Touch = config.touch;
        Angle = config.angle;
    } else {
        Module = 0;
        Touch = 0;
        Angle = 0;
    }
}

void showHowToConfigure() {
    setTFTcolor(0xFFFF, 0x0000);
    setTFTfont(1, 1, 1);
    TFTtext(4, 10, "Vantorix board");
    TFTtext(4, 40, "Not configured.");
    TFTtext(4, 70, "On the PC run:");
    TFTtext(4, 100, "vantorix-cli");
    TFTtext(4, 120, " --port PORT");
    TFTtext(4, 140, " --configure-board");
    TFTtext(4, 160, " -m MODEL [-t]");
    TFTtext(4, 180, " [-a ANGLE]");
}
} // namespace

// The module floor's rebuild, for the glass: the driver takes the model and
// orientation, and the controller its access control. A new model starts
// black, as a new frame memory does on the PC.
void NewTFT(int /*resize*/) {
    int model = Module ? int(Module) : fallbackModel;
    bool newModel = model != TFTmodel;
    if (newModel) boardPanelClock(model);
    TFTinit(int16_t(model));
    setTFTangle(int16_t(Angle));
    if (newModel) TFTclear(0);
    if (demoScreen) Screen(unsigned(demoScreen));
}

int main() {
    stdio_usb_init();
    boardIoInit();
    installSpiController(boardPanelBus());
    loadConfiguration();
    NewTFT(0);
    if (!Module) showHowToConfigure();
    boardBacklight(PWM);
    touchInit();

    DeviceSetup setup;
    setup.firmwareVersion = VANTORIX_FIRMWARE_VERSION_X100;
    setup.pico2 = isPico2;
    setup.demoSeconds = demoStepSeconds;
    setup.reply = sendToPc;
    setup.pwm = boardBacklight;
    setup.configured = storeConfiguration;
    deviceStart(setup);

    bool connected = false;
    static uint8_t chunk[readChunk];
    for (;;) {
        int count = stdio_usb.in_chars(reinterpret_cast<char*>(chunk), int(sizeof chunk));
        if (count > 0) deviceFeed(chunk, size_t(count));
        bool now = stdio_usb_connected();
        if (connected && !now) deviceDropUnit();
        connected = now;
        // Milliseconds in 64 bits: the 32-bit count wraps after 49 days, which
        // would end a demo period early.
        uint64_t nowMs = to_us_since_boot(get_absolute_time()) / 1000;
        deviceTick(nowMs);
        touchPoll(unsigned(nowMs));
    }
}
