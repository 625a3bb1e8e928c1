#include "board_io.h"

#include "board_pins.h"

#include "hardware/flash.h"
#include "hardware/gpio.h"
#include "hardware/pwm.h"
#include "hardware/spi.h"
#include "hardware/sync.h"
#include "pico/stdlib.h"

#include <cstring>

namespace {
spi_inst_t* const panelSpi = spi0;
// Write clocks the controllers take (their serial write cycle).
constexpr unsigned slowPanelClockHz = 15'000'000; // ST7735S: 66 ns cycle
constexpr unsigned fastPanelClockHz = 40'000'000; // ST7789V, HX8357D
constexpr uint16_t backlightWrap = 999;           // 1000 steps: 0.1 % each
constexpr uint32_t configOffset = PICO_FLASH_SIZE_BYTES - FLASH_SECTOR_SIZE;
constexpr uint32_t resetPulseMs = 10, afterResetMs = 120;

void busCommand(uint8_t command, const uint8_t* parameters, uint32_t count) {
    gpio_put(pinDataCommand, 0);
    spi_write_blocking(panelSpi, &command, 1);
    gpio_put(pinDataCommand, 1);
    if (count) spi_write_blocking(panelSpi, parameters, count);
}

void busData(const uint8_t* bytes, uint32_t count) {
    gpio_put(pinDataCommand, 1);
    spi_write_blocking(panelSpi, bytes, count);
}

void busSelect(int level) {
    gpio_put(pinPanelSelect, level != 0);
}

void busReset() {
    gpio_put(pinPanelReset, 0);
    sleep_ms(resetPulseMs);
    gpio_put(pinPanelReset, 1);
    sleep_ms(afterResetMs);
}

void busDelay(uint32_t ms) {
    sleep_ms(ms);
}

constexpr PanelBus panelBus = {busCommand, busData, busSelect, busReset, busDelay};

void outputPin(unsigned pin, bool level) {
    gpio_init(pin);
    gpio_set_dir(pin, GPIO_OUT);
    gpio_put(pin, level);
}
} // namespace

void boardIoInit() {
    spi_init(panelSpi, fastPanelClockHz);
    gpio_set_function(pinSpiClock, GPIO_FUNC_SPI);
    gpio_set_function(pinSpiOut, GPIO_FUNC_SPI);
    gpio_set_function(pinSpiIn, GPIO_FUNC_SPI);
    outputPin(pinPanelSelect, true);
    outputPin(pinDataCommand, true);
    outputPin(pinPanelReset, true);
    outputPin(pinTouchSelect, true);
    gpio_set_function(pinBacklight, GPIO_FUNC_PWM);
    unsigned slice = pwm_gpio_to_slice_num(pinBacklight);
    pwm_set_wrap(slice, backlightWrap);
    pwm_set_gpio_level(pinBacklight, 0);
    pwm_set_enabled(slice, true);
}

const PanelBus& boardPanelBus() {
    return panelBus;
}

unsigned boardPanelClock(int model) {
    unsigned wanted = panelChip(model) == PanelChip::ST7735S ? slowPanelClockHz : fastPanelClockHz;
    return spi_set_baudrate(panelSpi, wanted);
}

void boardBacklight(int percent) {
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    pwm_set_gpio_level(pinBacklight, uint16_t(percent * (backlightWrap + 1) / 100));
}

const uint8_t* boardStoredConfig() {
    return reinterpret_cast<const uint8_t*>(XIP_BASE + configOffset);
}

void boardStoreConfig(const uint8_t* record, size_t length) {
    static uint8_t page[FLASH_PAGE_SIZE];
    std::memset(page, 0xFF, sizeof page);
    std::memcpy(page, record, length < sizeof page ? length : sizeof page);
    uint32_t interrupts = save_and_disable_interrupts();
    flash_range_erase(configOffset, FLASH_SECTOR_SIZE);
    flash_range_program(configOffset, page, FLASH_PAGE_SIZE);
    restore_interrupts(interrupts);
}
