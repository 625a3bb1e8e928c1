// How the module is wired to the Pico: one SPI bus for the panel (and the
// resistive touch controller), an I2C bus for the capacitive one. The README
// has the same table for the person with the soldering iron.
#pragma once
#include "hardware/i2c.h"
#include "hardware/spi.h"

constexpr unsigned pinSpiClock = 2;    // SPI0 SCK  -> module SCL/SCK
constexpr unsigned pinSpiOut = 3;      // SPI0 TX   -> module SDA/MOSI
constexpr unsigned pinSpiIn = 4;       // SPI0 RX   <- touch controller DOUT
constexpr unsigned pinPanelSelect = 5; //           -> module CS (the driver's chip select)
constexpr unsigned pinDataCommand = 6; //           -> module DC/RS
constexpr unsigned pinPanelReset = 7;  //           -> module RES/RST
constexpr unsigned pinBacklight = 8;   // PWM4 A    -> module BLK/LED
constexpr unsigned pinTouchSelect = 9; //           -> resistive touch T_CS
constexpr unsigned pinTouchIrq = 10;   //           <- resistive touch T_IRQ / capacitive INT
constexpr unsigned pinI2cData = 12;    // I2C0 SDA  <> capacitive touch SDA
constexpr unsigned pinI2cClock = 13;   // I2C0 SCL  -> capacitive touch SCL
constexpr unsigned pinTouchReset = 14; //           -> capacitive touch RST

// The blocks those pins belong to.
inline spi_inst_t* panelSpiBus() {
    return spi0;
}
inline i2c_inst_t* touchI2cBus() {
    return i2c0;
}
