#include "touch.h"

#include "board_io.h"
#include "board_pins.h"

#include "common/settings.h"
#include "device/protocol.h"
#include "panel/models.h"
#include "panel/spi_controller.h"

#include "hardware/gpio.h"
#include "hardware/i2c.h"
#include "hardware/spi.h"

#include <algorithm>

namespace {
constexpr unsigned pollEveryMs = 10;
constexpr uint8_t eventDown = 1, eventMove = 2, eventUp = 4;

// XPT2046: 12-bit conversions of the two axes; the calibration spans the
// raw values a typical glass gives at its edges.
constexpr uint8_t xptReadX = 0xD0, xptReadY = 0x90;
constexpr int rawLow = 200, rawHigh = 3900;
constexpr unsigned xptClockHz = 2'000'000;

// FT6x36: touch count and the first point's registers from 0x02 on.
constexpr uint8_t ftAddress = 0x38;
constexpr uint8_t ftTouchStatus = 0x02;
constexpr unsigned i2cClockHz = 400'000;

struct TouchState {
    bool down = false;
    int x = 0, y = 0; // glass coordinates of the last report
    unsigned lastPollMs = 0;
};
TouchState touch;

TouchKind fittedTouch() {
    const ModelInfo* info = modelInfo(Module);
    return info && Touch ? info->touchKind : TouchKind::None;
}

uint16_t xptRead(uint8_t command) {
    boardPanelBusRelease();
    uint8_t out[3] = {command, 0, 0}, in[3] = {0, 0, 0};
    spi_inst_t* const bus = panelSpiBus(); // the resistive controller shares the panel's bus
    unsigned panelClock = spi_get_baudrate(bus);
    spi_set_baudrate(bus, xptClockHz);
    gpio_put(pinTouchSelect, 0);
    spi_write_read_blocking(bus, out, in, sizeof out);
    gpio_put(pinTouchSelect, 1);
    spi_set_baudrate(bus, panelClock);
    return uint16_t(((in[1] << 8) | in[2]) >> 3);
}

int scaled(uint16_t raw, int size) {
    int value = (int(raw) - rawLow) * (size - 1) / (rawHigh - rawLow);
    return value < 0 ? 0 : value >= size ? size - 1 : value;
}

// The resistive panel pulls its IRQ line low while pressed.
bool readResistive(int* x, int* y) {
    if (gpio_get(pinTouchIrq)) return false;
    const ModelInfo* info = modelInfo(Module);
    *x = scaled(xptRead(xptReadX), info->width);
    *y = scaled(xptRead(xptReadY), info->height);
    return true;
}

bool readCapacitive(int* x, int* y) {
    uint8_t reg = ftTouchStatus, data[5];
    if (i2c_write_blocking(touchI2cBus(), ftAddress, &reg, 1, true) != 1) return false;
    if (i2c_read_blocking(touchI2cBus(), ftAddress, data, sizeof data, false) != int(sizeof data))
        return false;
    if ((data[0] & 0x0F) == 0) return false;
    // A controller tuned for a larger glass may report beyond this one's edge.
    const ModelInfo* info = modelInfo(Module);
    *x = std::min(((data[1] & 0x0F) << 8) | data[2], info->width - 1);
    *y = std::min(((data[3] & 0x0F) << 8) | data[4], info->height - 1);
    return true;
}

void report(uint8_t event) {
    int x = 0, y = 0;
    if (glassToPanel(Module, Angle, touch.x, touch.y, &x, &y))
        deviceTouch(event, uint16_t(x), uint16_t(y));
}
} // namespace

void touchInit() {
    gpio_init(pinTouchIrq);
    gpio_set_dir(pinTouchIrq, GPIO_IN);
    gpio_pull_up(pinTouchIrq);
    i2c_init(touchI2cBus(), i2cClockHz);
    gpio_set_function(pinI2cData, GPIO_FUNC_I2C);
    gpio_set_function(pinI2cClock, GPIO_FUNC_I2C);
    gpio_pull_up(pinI2cData);
    gpio_pull_up(pinI2cClock);
    gpio_init(pinTouchReset);
    gpio_set_dir(pinTouchReset, GPIO_OUT);
    gpio_put(pinTouchReset, 1);
}

void touchPoll(unsigned nowMs) {
    if (nowMs - touch.lastPollMs < pollEveryMs) return;
    touch.lastPollMs = nowMs;
    TouchKind kind = fittedTouch();
    if (kind == TouchKind::None) return;
    int x = 0, y = 0;
    bool pressed = kind == TouchKind::Resistive ? readResistive(&x, &y) : readCapacitive(&x, &y);
    if (pressed && (!touch.down || x != touch.x || y != touch.y)) {
        bool moved = touch.down;
        touch.down = true;
        touch.x = x;
        touch.y = y;
        report(moved ? eventMove : eventDown);
    } else if (!pressed && touch.down) {
        touch.down = false;
        report(eventUp);
    }
}
