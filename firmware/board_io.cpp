#include "board_io.h"

#include "board_pins.h"

#include "hardware/dma.h"
#include "hardware/flash.h"
#include "hardware/gpio.h"
#include "hardware/pwm.h"
#include "hardware/spi.h"
#include "hardware/sync.h"
#include "pico/stdlib.h"

#include <cstring>

namespace {
spi_inst_t* const panelSpi = panelSpiBus();
// Write clocks the controllers take (their serial write cycle).
constexpr unsigned slowPanelClockHz = 15'000'000; // ST7735S: 66 ns cycle
constexpr unsigned fastPanelClockHz = 40'000'000; // ST7789V, HX8357D
constexpr uint16_t backlightWrap = 999;           // 1000 steps: 0.1 % each
constexpr uint32_t configOffset = PICO_FLASH_SIZE_BYTES - FLASH_SECTOR_SIZE;
constexpr uint32_t resetPulseMs = 10, afterResetMs = 120;

// Pixel data goes out by DMA from one of two buffers while the processor
// fills the other, so that converting the next part of a picture (and taking
// the USB data behind it) overlaps with sending this one. Commands go out
// directly, once the bus is quiet: the data/command line must not change
// under a byte still being shifted out.
constexpr uint32_t dmaBufferBytes = 960; // a row of the widest panel
struct PanelDma {
    int channel = -1;
    dma_channel_config_t config{};
    uint8_t buffers[2][dmaBufferBytes];
    int next = 0; // the buffer not being sent
};
PanelDma panelDma;

void waitBusIdle() {
    if (panelDma.channel >= 0) dma_channel_wait_for_finish_blocking(uint(panelDma.channel));
    while (spi_is_busy(panelSpi)) tight_loop_contents();
    // The DMA only writes: drop the bytes that came back and the overrun they caused.
    while (spi_is_readable(panelSpi)) (void)spi_get_hw(panelSpi)->dr;
    spi_get_hw(panelSpi)->icr = SPI_SSPICR_RORIC_BITS;
}

void busCommand(uint8_t command, const uint8_t* parameters, uint32_t count) {
    waitBusIdle();
    gpio_put(pinDataCommand, 0);
    spi_write_blocking(panelSpi, &command, 1);
    gpio_put(pinDataCommand, 1);
    if (count) spi_write_blocking(panelSpi, parameters, count);
}

void busData(const uint8_t* bytes, uint32_t count) {
    gpio_put(pinDataCommand, 1); // already high unless nothing was sent yet
    while (count) {
        uint32_t part = count < dmaBufferBytes ? count : dmaBufferBytes;
        uint8_t* buffer = panelDma.buffers[panelDma.next];
        std::memcpy(buffer, bytes, part);
        dma_channel_wait_for_finish_blocking(uint(panelDma.channel));
        dma_channel_configure(uint(panelDma.channel), &panelDma.config, &spi_get_hw(panelSpi)->dr,
                              buffer, part, true);
        panelDma.next ^= 1;
        bytes += part;
        count -= part;
    }
}

// The panel is the only device on the bus most of the time: its chip select
// stays low between transfers (the controllers take a new command from the
// data/command line alone) and is raised when the touch controller needs the
// bus. Raising it after each transfer would mean waiting for each one.
void busSelect(int level) {
    if (level == 0) gpio_put(pinPanelSelect, 0);
}

void busReset() {
    waitBusIdle();
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

void startPanelDma() {
    panelDma.channel = dma_claim_unused_channel(true);
    panelDma.config = dma_channel_get_default_config(uint(panelDma.channel));
    channel_config_set_transfer_data_size(&panelDma.config, DMA_SIZE_8);
    channel_config_set_read_increment(&panelDma.config, true);
    channel_config_set_write_increment(&panelDma.config, false);
    channel_config_set_dreq(&panelDma.config, spi_get_dreq(panelSpi, true));
}
} // namespace

void boardIoInit() {
    spi_init(panelSpi, fastPanelClockHz);
    startPanelDma();
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

void boardPanelBusFlush() {
    waitBusIdle();
}

void boardPanelBusRelease() {
    waitBusIdle();
    gpio_put(pinPanelSelect, 1);
}

unsigned boardPanelClock(int model) {
    waitBusIdle();
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
