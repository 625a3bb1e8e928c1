// The real panel controller on the board's SPI bus, as a PanelController:
// the address window, RAM writes, and the orientation through the
// controller's memory access control. The bus itself (pins, SPI block,
// waits) is the board's; this part only knows the controllers' commands.
//
// Threads: the one thread that draws (the panel lock's owner).
#pragma once
#include <cstdint>

struct PanelBus {
    // Sends a command byte (data/command line low) and its parameters (high).
    void (*command)(uint8_t command, const uint8_t* parameters, uint32_t count);
    void (*data)(const uint8_t* bytes, uint32_t count); // pixel data, line high
    void (*select)(int level);                          // chip select
    void (*reset)();                                    // pulses the reset line
    void (*delayMs)(uint32_t ms);
};

// The controllers the six models use.
enum class PanelChip { None, ST7735S, ST7789V, HX8357D };
PanelChip panelChip(int model);

// Memory access control bits.
constexpr uint8_t madctlRowOrder = 0x80;    // MY
constexpr uint8_t madctlColumnOrder = 0x40; // MX
constexpr uint8_t madctlExchange = 0x20;    // MV
constexpr uint8_t madctlBgr = 0x08;

// How the model's glass sits in its controller's memory: the memory's size,
// where the glass starts in it and the access control that shows it upright.
struct PanelMounting {
    uint16_t memoryWidth, memoryHeight;
    uint16_t columnOffset, rowOffset;
    uint8_t uprightAccess;
};
// 0 for a number outside 1 to 6.
int panelMounting(int model, PanelMounting* mounting);
// The access control and the address of panel pixel (0, 0) for a model at an
// angle, so that pixel (x, y) of the emulated panel is pixel (x, y) of the glass.
int panelAddressing(int model, int angle, uint8_t* access, uint16_t* column, uint16_t* row);

// The panel pixel at the angle that shows glass pixel (glassX, glassY) (the
// glass counted at 0 degrees): where a touch on the glass lands on the panel.
int glassToPanel(int model, int angle, int glassX, int glassY, int* x, int* y);

// Installs the SPI controller on the bus; the controller is initialised when
// the driver first sets a model (TFTinit) and again when the model changes.
void installSpiController(const PanelBus& bus);
