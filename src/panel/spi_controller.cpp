// The panel controllers of the six models on the SPI bus. Initialisation
// sequences follow the controllers' datasheets (power-on defaults kept where
// they suit, 16 bits per pixel, display on). Each runs after a hardware
// reset, so the controller is asleep when it starts: the software reset then
// needs 5 ms before the next command, sleep out 120 ms (and 5 ms before the
// next command). The access control bits (MY, MX, MV) act as the datasheets'
// write direction tables say: MV exchanges the column and row counters, MX
// then mirrors the memory's columns and MY its rows.
#include "panel/spi_controller.h"

#include "panel/models.h"
#include "panel/zr_tft.h"

#include <cstring>

namespace {
// Commands common to the three controllers.
constexpr uint8_t cmdSoftwareReset = 0x01;
constexpr uint8_t cmdSleepOut = 0x11;
constexpr uint8_t cmdNormalMode = 0x13;
constexpr uint8_t cmdInversionOn = 0x21;
constexpr uint8_t cmdDisplayOn = 0x29;
constexpr uint8_t cmdColumnAddress = 0x2A;
constexpr uint8_t cmdRowAddress = 0x2B;
constexpr uint8_t cmdMemoryWrite = 0x2C;
constexpr uint8_t cmdAccessControl = 0x36;
constexpr uint8_t cmdPixelFormat = 0x3A;
constexpr uint8_t pixelFormat16Bit = 0x55;
constexpr uint8_t delayFlag = 0x80; // in a sequence: a wait in ms follows the parameters

// An initialisation sequence: command, parameter count (| delayFlag),
// parameters, [wait]; ends with a 0 command of count 0.
// clang-format off
constexpr uint8_t st7735sInit[] = {
    cmdSoftwareReset, delayFlag, 150,
    cmdSleepOut, delayFlag, 120,
    0xB1, 3, 0x01, 0x2C, 0x2D,                   // frame rate, normal mode
    0xB2, 3, 0x01, 0x2C, 0x2D,                   // frame rate, idle mode
    0xB3, 6, 0x01, 0x2C, 0x2D, 0x01, 0x2C, 0x2D, // frame rate, partial mode
    0xB4, 1, 0x07,                               // column inversion in all three modes
    0xC0, 3, 0xA2, 0x02, 0x84,                   // power control 1: AVDD, GVDD
    0xC1, 1, 0xC5,                               // power control 2: VGH, VGL
    0xC2, 2, 0x0A, 0x00,                         // power control 3
    0xC3, 2, 0x8A, 0x2A,                         // power control 4
    0xC4, 2, 0x8A, 0xEE,                         // power control 5
    0xC5, 1, 0x0E,                               // VCOM
    cmdInversionOn, 0,                           // the IPS glass shows inverted data
    cmdPixelFormat, 1, pixelFormat16Bit,         // 16 bits per pixel: 55h, as its datasheet asks
    cmdNormalMode, delayFlag, 10,
    cmdDisplayOn, delayFlag, 100,
    0, 0,
};

constexpr uint8_t st7789vInit[] = {
    cmdSoftwareReset, delayFlag, 150,
    cmdSleepOut, delayFlag, 120,
    cmdPixelFormat, 1 | delayFlag, pixelFormat16Bit, 10,
    0xB2, 5, 0x0C, 0x0C, 0x00, 0x33, 0x33,       // porch control (defaults)
    0xB7, 1, 0x35,                               // gate control
    0xBB, 1, 0x19,                               // VCOM
    0xC0, 1, 0x2C,                               // LCM control
    0xC2, 1, 0x01,                               // VDV and VRH from the commands
    0xC3, 1, 0x12,                               // VRH
    0xC4, 1, 0x20,                               // VDV
    0xC6, 1, 0x0F,                               // 60 Hz frame rate
    0xD0, 2, 0xA4, 0xA1,                         // power control 1
    cmdInversionOn, 0,                           // the IPS glass shows inverted data
    cmdNormalMode, delayFlag, 10,
    cmdDisplayOn, delayFlag, 100,
    0, 0,
};

constexpr uint8_t hx8357dInit[] = {
    cmdSoftwareReset, delayFlag, 10,
    0xB9, 3 | delayFlag, 0xFF, 0x83, 0x57, 250,  // enable the extended commands
    0xB3, 4, 0x80, 0x00, 0x06, 0x06,             // RGB interface off, SPI
    0xB6, 1, 0x25,                               // VCOM
    0xB0, 1, 0x68,                               // oscillator: 70 Hz
    0xCC, 1, 0x05,                               // panel: BGR, gate scan
    0xB1, 6, 0x00, 0x15, 0x1C, 0x1C, 0x83, 0xAA, // power control
    0xC0, 6, 0x50, 0x50, 0x01, 0x3C, 0x1E, 0x08, // source circuit (STBA)
    0xB4, 7, 0x02, 0x40, 0x00, 0x2A, 0x2A, 0x0D, 0x78, // display cycle
    cmdPixelFormat, 1, pixelFormat16Bit,
    cmdSleepOut, delayFlag, 150,
    cmdDisplayOn, delayFlag, 50,
    0, 0,
};
// clang-format on

struct Chip {
    PanelChip chip;
    const char* name; // as the model table names it
    const uint8_t* init;
    uint16_t memoryWidth, memoryHeight;
    uint8_t uprightAccess; // how the glass is mounted against the memory
};

const Chip chips[] = {
    {PanelChip::ST7735S, "ST7735S", st7735sInit, 132, 162, madctlBgr},
    {PanelChip::ST7789V, "ST7789V", st7789vInit, 240, 320, 0},
    {PanelChip::HX8357D, "HX8357D", hx8357dInit, 320, 480, madctlRowOrder | madctlColumnOrder},
};

const Chip* chipOf(int model) {
    const ModelInfo* info = modelInfo(model);
    if (!info) return nullptr;
    for (const Chip& chip : chips)
        if (std::strcmp(chip.name, info->controller) == 0) return &chip;
    return nullptr;
}

// Where the glass starts in the memory at 0 degrees; the 80 x 160 glass sits
// in the middle of the ST7735S's 132 x 162 memory.
void glassOffset(int model, uint16_t* column, uint16_t* row) {
    constexpr int narrowGlass = 1;
    *column = model == narrowGlass ? 26 : 0;
    *row = model == narrowGlass ? 1 : 0;
}

// Memory cell that the address (column, row) reaches under the access control.
void memoryCell(uint8_t access, const Chip& chip, int column, int row, int* x, int* y) {
    int across = column, down = row;
    if (access & madctlExchange) {
        across = row;
        down = column;
    }
    if (access & madctlColumnOrder) across = chip.memoryWidth - 1 - across;
    if (access & madctlRowOrder) down = chip.memoryHeight - 1 - down;
    *x = across;
    *y = down;
}

// The inverse: the address that reaches memory cell (x, y).
void addressOf(uint8_t access, const Chip& chip, int x, int y, int* column, int* row) {
    if (access & madctlColumnOrder) x = chip.memoryWidth - 1 - x;
    if (access & madctlRowOrder) y = chip.memoryHeight - 1 - y;
    *column = x;
    *row = y;
    if (access & madctlExchange) {
        *column = y;
        *row = x;
    }
}

// Access control for each quarter turn, before the glass's mounting: the
// panel turned by the angle shows the same glass pixel for (x, y) as the
// emulated panel, whose content turns with the view.
// A quarter turn clockwise shows glass pixel (0, height - 1) at (0, 0).
constexpr uint8_t turnAccess[4] = {
    0,
    madctlRowOrder | madctlExchange,
    madctlColumnOrder | madctlRowOrder,
    madctlColumnOrder | madctlExchange,
};

struct Spi {
    PanelBus bus{};
    int initialisedModel = 0;
    uint16_t columnStart = 0, rowStart = 0;
};
Spi spi;

void runSequence(const uint8_t* sequence) {
    while (sequence[0] || sequence[1]) {
        uint8_t command = sequence[0];
        uint8_t count = sequence[1] & ~delayFlag;
        bool wait = sequence[1] & delayFlag;
        spi.bus.command(command, sequence + 2, count);
        sequence += 2 + count;
        if (wait) spi.bus.delayMs(*sequence++);
    }
}

void sendRange(uint8_t command, uint16_t first, uint16_t last) {
    const uint8_t range[4] = {uint8_t(first >> 8), uint8_t(first), uint8_t(last >> 8),
                              uint8_t(last)};
    spi.bus.command(command, range, sizeof range);
}

void spiSelect(int level) {
    spi.bus.select(level);
}

void spiWindow(uint16_t x1, uint16_t y1, uint16_t x2, uint16_t y2) {
    sendRange(cmdColumnAddress, uint16_t(x1 + spi.columnStart), uint16_t(x2 + spi.columnStart));
    sendRange(cmdRowAddress, uint16_t(y1 + spi.rowStart), uint16_t(y2 + spi.rowStart));
    spi.bus.command(cmdMemoryWrite, nullptr, 0);
}

void spiWrite(const uint8_t* data, uint32_t count) {
    spi.bus.data(data, count & ~1u);
}

void spiFill(uint16_t /*colour*/, uint32_t width, uint32_t rows) {
    for (uint32_t row = 0; row < rows; ++row) spi.bus.data(lineBuf, 2 * width);
}

// A new model gets its controller's initialisation; every call sets the
// access control and the window offsets for the current angle.
void spiGeometry() {
    const Chip* chip = chipOf(TFTmodel);
    if (!chip) return;
    spi.bus.select(0);
    if (spi.initialisedModel != TFTmodel) {
        spi.bus.reset();
        runSequence(chip->init);
        spi.initialisedModel = TFTmodel;
    }
    uint8_t access = 0;
    panelAddressing(TFTmodel, TFTangle, &access, &spi.columnStart, &spi.rowStart);
    spi.bus.command(cmdAccessControl, &access, 1);
    spi.bus.select(1);
}

constexpr PanelController spiController = {spiSelect, spiWindow, spiWrite, spiFill, spiGeometry};
} // namespace

PanelChip panelChip(int model) {
    const Chip* chip = chipOf(model);
    return chip ? chip->chip : PanelChip::None;
}

int panelMounting(int model, PanelMounting* mounting) {
    const Chip* chip = chipOf(model);
    if (!chip) return 0;
    mounting->memoryWidth = chip->memoryWidth;
    mounting->memoryHeight = chip->memoryHeight;
    glassOffset(model, &mounting->columnOffset, &mounting->rowOffset);
    mounting->uprightAccess = chip->uprightAccess;
    return 1;
}

int panelAddressing(int model, int angle, uint8_t* access, uint16_t* column, uint16_t* row) {
    const Chip* chip = chipOf(model);
    const ModelInfo* info = modelInfo(model);
    if (!chip || !info || angle % 90 != 0 || angle < 0 || angle > 270) return 0;
    const int turn = angle / 90;
    // The bits of the turn flip the mounting's, so the turn is taken from
    // the upright glass; BGR order stays.
    *access = uint8_t(chip->uprightAccess ^ turnAccess[turn]);
    // Glass pixel that panel pixel (0, 0) shows at this angle.
    const int w = info->width, h = info->height;
    const int glassX[4] = {0, 0, w - 1, w - 1};
    const int glassY[4] = {0, h - 1, h - 1, 0};
    uint16_t offsetX, offsetY;
    glassOffset(model, &offsetX, &offsetY);
    int cellX, cellY;
    memoryCell(chip->uprightAccess, *chip, glassX[turn] + offsetX, glassY[turn] + offsetY, &cellX,
               &cellY);
    int c, r;
    addressOf(*access, *chip, cellX, cellY, &c, &r);
    *column = uint16_t(c);
    *row = uint16_t(r);
    return 1;
}

int glassToPanel(int model, int angle, int glassX, int glassY, int* x, int* y) {
    const ModelInfo* info = modelInfo(model);
    if (!info) return 0;
    const int w = info->width, h = info->height;
    switch (angle) {
    case 0:
        *x = glassX, *y = glassY;
        return 1;
    case 90:
        *x = h - 1 - glassY, *y = glassX;
        return 1;
    case 180:
        *x = w - 1 - glassX, *y = h - 1 - glassY;
        return 1;
    case 270:
        *x = glassY, *y = w - 1 - glassX;
        return 1;
    }
    return 0;
}

void installSpiController(const PanelBus& bus) {
    spi = Spi{};
    spi.bus = bus;
    installPanelController(&spiController);
}
