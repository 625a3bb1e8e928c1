// The board in the RP2040 emulator: boots a UF2 with the boot ROM, plays the
// PC's end of the USB serial link at full speed, and models the panel
// controller on SPI0 (data/command from its pin, address window, RAM writes,
// memory access control) so that the glass can be read back. Both buses take
// the time their real counterparts take, so the emulated clock measures the
// link.
import { readFileSync } from 'node:fs';
import { Simulator, USBCDC, LogLevel, ConsoleLogger, createSetupPacket, I2CMode } from 'rp2040js';

export const FLASH_BASE = 0x10000000;
const UF2_MAGIC = [0x0a324655, 0x9e5d5157];
const UF2_BLOCK = 512;
const PIN_SELECT = 5;
const PIN_DATA_COMMAND = 6;
const PIN_BACKLIGHT = 8;
const PIN_TOUCH_SELECT = 9;
const PIN_TOUCH_IRQ = 10;
// The resistive touch controller's raw values at the glass's edges.
const RAW_LOW = 200, RAW_HIGH = 3900;
// The capacitive one (FT6x36) on I2C0: its address, and its registers from
// the touch count on (count, then the first point's X and Y, high bits first).
const FT_ADDRESS = 0x38;
const FT_TOUCH_COUNT = 0x02;
const PICO_FLASH_BYTES = 2 * 1024 * 1024; // the Pico's flash, whose last sector holds the configuration
const CYCLE_NANOS = 1e9 / 125e6;
const WATCHDOG_BASE = 0x40058;
// A full-speed host fits at most 19 bulk packets of 64 bytes in a 1 ms frame
// and NAKs while it has nothing to send; a packet is in the device's buffer
// no sooner than its time on the wire (token, data, CRC and handshake, with
// bit stuffing, at 12 Mbit/s) after the device made the buffer available. The
// emulator's own host would hand over a packet 10 us after every request,
// empty or not.
const PACKET_BYTES = 64;
const PACKET_NANOS = 1e6 / 19;
const PACKET_WIRE_NANOS = 48e3;
// With clock phase 0 the SSP raises its frame signal between words, which
// costs about one and a half clock periods a word.
const SOFTWARE_RESET = 0x01, SLEEP_OUT = 0x11, COMMAND_WAIT_NANOS = 5e6;
const FORMAT_16_BIT = 5; // the pixel format's control interface bits
const SPI_CLOCK_PHASE = 0x80;
const SPI_WORD_GAP_CLOCKS = 1.5;

// Controllers as the glass is mounted on them: memory size, where the glass
// starts in it, and the access control that shows it upright.
export const MODELS = {
  1: { name: 'KP096', width: 80, height: 160, memory: [132, 162], offset: [26, 1], upright: 0x08 },
  2: { name: 'KP150', width: 240, height: 240, memory: [240, 320], offset: [0, 0], upright: 0x00 },
  3: { name: 'KP200', width: 240, height: 320, memory: [240, 320], offset: [0, 0], upright: 0x00 },
  4: { name: 'KP280', width: 240, height: 320, memory: [240, 320], offset: [0, 0], upright: 0x00 },
  5: { name: 'KP350', width: 320, height: 480, memory: [320, 480], offset: [0, 0], upright: 0xc0 },
  6: { name: 'KP240', width: 240, height: 320, memory: [240, 320], offset: [0, 0], upright: 0x00 },
};

// The memory cell that address (column, row) reaches under the access control.
function memoryCell(access, memory, column, row) {
  let across = column, down = row;
  if (access & 0x20) [across, down] = [row, column];
  if (access & 0x40) across = memory[0] - 1 - across;
  if (access & 0x80) down = memory[1] - 1 - down;
  return [across, down];
}

export function loadUf2(rp2040, path) {
  const uf2 = readFileSync(path);
  for (let at = 0; at + UF2_BLOCK <= uf2.length; at += UF2_BLOCK) {
    const word = (i) => uf2.readUInt32LE(at + 4 * i);
    if (word(0) !== UF2_MAGIC[0] || word(1) !== UF2_MAGIC[1]) throw new Error(`${path}: not a UF2 file`);
    const target = word(3), size = word(4);
    rp2040.flash.set(uf2.subarray(at + 32, at + 32 + size), target - FLASH_BASE);
  }
}

// The configuration record the firmware keeps in its last flash sector.
export function configRecord(model, touch, angle) {
  const record = new Uint8Array(16);
  record.set([0x56, 0x54, 0x58, 0x43, 1, model, touch ? 1 : 0, angle / 90]);
  let sum = 0x5a;
  for (let i = 0; i < 15; i++) sum = (((sum << 1) | (sum >> 7)) & 0xff) ^ record[i];
  record[15] = sum;
  return record;
}

export class Board {
  constructor({ uf2, bootrom, model = 0, touch = 0, angle = 0 }) {
    const simulator = new Simulator(); // only for its clock and chip; the loop is ours
    this.clock = simulator.clock;
    this.rp2040 = simulator.rp2040;
    this.rp2040.logger = new ConsoleLogger(LogLevel.Error);
    const rom = readFileSync(bootrom);
    this.rp2040.loadBootrom(new Uint32Array(rom.buffer, rom.byteOffset, rom.length / 4));
    loadUf2(this.rp2040, uf2);
    if (model) {
      const sector = PICO_FLASH_BYTES - 4096;
      this.rp2040.flash.fill(0xff, sector, sector + 4096);
      this.rp2040.flash.set(configRecord(model, touch, angle), sector);
    }
    this.received = [];
    this.connected = false;
    this.pending = [];
    this.pendingAt = 0;
    this.outRequests = 0; // OUT buffers the device has armed and the host has not filled
    this.nextPacketNanos = 0;
    this.cdc = new USBCDC(this.rp2040.usbCtrl);
    this.cdc.onDeviceConnected = () => { this.connected = true; };
    this.cdc.onSerialData = (bytes) => { this.received.push(...bytes); };
    const cdcRead = this.rp2040.usbCtrl.onEndpointRead;
    this.rp2040.usbCtrl.onEndpointRead = (endpoint, size) => {
      if (endpoint !== this.cdc.outEndpoint) return cdcRead(endpoint, size);
      this.outRequests++;
      this.sendPacket();
    };
    this.watchdogResets = [];
    const watchdog = this.rp2040.peripherals[WATCHDOG_BASE];
    this.watchdogScratch = watchdog.scratchData;
    watchdog.onWatchdogTrigger = () => {
      this.watchdogResets.push(Array.from(watchdog.scratchData));
      this.stopped = true;
    };
    this.modelController();
    this.modelCapacitiveTouch();
    this.rp2040.core.PC = FLASH_BASE;
    this.stopped = false;
  }

  // ---- the panel controller on SPI0 ----
  modelController() {
    this.memory = null;
    this.chip = { command: 0, parameters: [], access: 0, columns: [0, 0], rows: [0, 0], column: 0, row: 0, lowByte: null,
      format: 0, quietUntil: 0 };
    this.controllerFaults = [];
    const spi = this.rp2040.spi[0];
    this.touchPoint = null; // glass coordinates while pressed
    this.rp2040.gpio[PIN_TOUCH_IRQ].setInputValue(true);
    let conversion = [];
    // What the wires carry when the word's last bit is clocked: chip selects
    // and data/command are read then, as the controllers latch them.
    const wordDone = (value) => {
      if (!this.rp2040.gpio[PIN_TOUCH_SELECT].outputValue) {
        // XPT2046: a command byte, then its 12-bit result in the next two.
        if (value & 0x80) conversion = this.touchConversion(value);
        return conversion.shift() ?? 0;
      }
      if (!this.rp2040.gpio[PIN_SELECT].outputValue) {
        if (this.rp2040.gpio[PIN_DATA_COMMAND].outputValue) this.panelData(value);
        else this.panelCommand(value);
      }
      return 0;
    };
    let word = 0;
    const shifted = this.clock.createAlarm(() => spi.completeTransmit(wordDone(word)));
    spi.onTransmit = (value) => {
      word = value;
      shifted.schedule(this.spiWordNanos(spi.dataBits));
    };
  }

  // The time one word of `bits` takes on SPI0 as it is set now.
  spiWordNanos(bits = 8) {
    const spi = this.rp2040.spi[0];
    const gap = spi.control0 & SPI_CLOCK_PHASE ? 0 : SPI_WORD_GAP_CLOCKS;
    return ((bits + gap) * 1e9) / spi.clockFrequency;
  }

  touchConversion(command) {
    if (!this.touchPoint) return [0, 0, 0];
    const m = this.glassModel;
    const [size, at] = (command & 0x70) === 0x50 ? [m.width, this.touchPoint[0]] : [m.height, this.touchPoint[1]];
    const raw = RAW_LOW + Math.ceil((at * (RAW_HIGH - RAW_LOW)) / (size - 1));
    return [0, (raw << 3) >> 8, (raw << 3) & 0xff]; // nothing while the command goes in
  }

  // The FT6x36: a write sets the register pointer, reads go on from it.
  modelCapacitiveTouch() {
    const i2c = this.rp2040.i2c[0];
    let pointer = 0, firstWrite = false;
    i2c.onStart = () => i2c.completeStart();
    i2c.onStop = () => i2c.completeStop();
    i2c.onConnect = (address, mode) => {
      firstWrite = mode === I2CMode.Write;
      i2c.completeConnect(address === FT_ADDRESS);
    };
    i2c.onWriteByte = (value) => {
      if (firstWrite) pointer = value;
      firstWrite = false;
      i2c.completeWrite(true);
    };
    i2c.onReadByte = () => i2c.completeRead(this.capacitiveRegister(pointer++));
  }

  capacitiveRegister(register) {
    const [x, y] = this.touchPoint ?? [0, 0];
    const values = { [FT_TOUCH_COUNT]: this.touchPoint ? 1 : 0, 3: x >> 8, 4: x & 0xff, 5: y >> 8, 6: y & 0xff };
    return values[register] ?? 0;
  }

  // A finger on the glass at (x, y) counted at 0 degrees; null lifts it.
  press(point) {
    this.touchPoint = point;
    this.rp2040.gpio[PIN_TOUCH_IRQ].setInputValue(!point);
  }

  attachGlass(model) {
    const m = MODELS[model];
    this.glassModel = m;
    this.memory = new Uint16Array(m.memory[0] * m.memory[1]);
  }

  panelCommand(value) {
    const c = this.chip;
    // The datasheets' rules the three controllers share: after a software
    // reset or sleep out the next command waits 5 ms, and pixels are written
    // only in the 16-bit format.
    const now = this.clock.nanos;
    if (now < c.quietUntil) this.controllerFaults.push(`command ${value.toString(16)} too early after ${c.command.toString(16)}`);
    if (value === SOFTWARE_RESET || value === SLEEP_OUT) c.quietUntil = now + COMMAND_WAIT_NANOS;
    if (value === 0x2c && (c.format & 7) !== FORMAT_16_BIT) this.controllerFaults.push(`pixels in format ${c.format.toString(16)}`);
    c.command = value;
    c.parameters = [];
    c.pixelHigh = null;
    if (value === 0x2c) {
      c.column = c.columns[0];
      c.row = c.rows[0];
    }
  }

  panelData(value) {
    const c = this.chip;
    if (c.command === 0x2c) {
      if (c.pixelHigh === null) { c.pixelHigh = value; return; }
      this.writePixel((c.pixelHigh << 8) | value);
      c.pixelHigh = null;
      return;
    }
    c.parameters.push(value);
    const p = c.parameters;
    if (c.command === 0x2a && p.length === 4) c.columns = [(p[0] << 8) | p[1], (p[2] << 8) | p[3]];
    if (c.command === 0x2b && p.length === 4) c.rows = [(p[0] << 8) | p[1], (p[2] << 8) | p[3]];
    if (c.command === 0x36 && p.length === 1) c.access = p[0];
    if (c.command === 0x3a && p.length === 1) c.format = p[0];
  }

  writePixel(colour) {
    const c = this.chip;
    if (this.memory) {
      const size = this.glassModel.memory;
      const [x, y] = memoryCell(c.access, size, c.column, c.row);
      if (x >= 0 && y >= 0 && x < size[0] && y < size[1]) this.memory[y * size[0] + x] = colour;
    }
    if (++c.column > c.columns[1]) {
      c.column = c.columns[0];
      if (++c.row > c.rows[1]) c.row = c.rows[0];
    }
    this.pixelsWritten = (this.pixelsWritten || 0) + 1;
    this.lastPixelNanos = this.clock.nanos;
  }

  // The glass as the viewer sees it at the angle, top row first (RGB565).
  glass(angle) {
    const m = this.glassModel;
    const turned = angle === 90 || angle === 270;
    const width = turned ? m.height : m.width, height = turned ? m.width : m.height;
    const out = new Uint16Array(width * height);
    for (let y = 0; y < height; y++) {
      for (let x = 0; x < width; x++) {
        let gx = x, gy = y;
        if (angle === 90) [gx, gy] = [y, m.height - 1 - x];
        if (angle === 180) [gx, gy] = [m.width - 1 - x, m.height - 1 - y];
        if (angle === 270) [gx, gy] = [m.width - 1 - y, x];
        const [cx, cy] = memoryCell(m.upright, m.memory, gx + m.offset[0], gy + m.offset[1]);
        out[y * width + x] = this.memory[cy * m.memory[0] + cx];
      }
    }
    return { width, height, pixels: out };
  }

  // The backlight's duty cycle in percent, from its PWM slice.
  backlight() {
    const channel = this.rp2040.pwm.channels[(PIN_BACKLIGHT >> 1) & 7];
    const level = PIN_BACKLIGHT & 1 ? channel.cc >>> 16 : channel.cc & 0xffff;
    return (100 * level) / (channel.top + 1);
  }

  // ---- running ----
  get nanos() { return this.clock.nanos; }

  run(nanos) {
    const end = this.clock.nanos + nanos;
    const core = this.rp2040.core;
    while (this.clock.nanos < end && !this.stopped) {
      for (let i = 0; i < 20000 && !this.stopped; i++) {
        if ((i & 255) === 0 && this.stopWhen?.()) this.stopped = true;
        if (core.waiting) {
          const next = this.clock.nanosToNextAlarm;
          if (next <= 0) { this.clock.tick(CYCLE_NANOS); continue; }
          this.clock.tick(Math.min(next, 1e6));
          break;
        }
        this.clock.tick(core.executeInstruction() * CYCLE_NANOS);
      }
    }
  }

  runUntil(condition, limitNanos, what) {
    const end = this.clock.nanos + limitNanos;
    while (!condition()) {
      if (this.clock.nanos >= end || this.stopped) throw new Error(`timed out waiting for ${what}`);
      this.run(1e6);
    }
  }

  send(bytes) {
    for (const b of bytes) this.pending.push(b);
    this.sendPacket();
  }

  // Everything given to send() has gone over the link.
  get sentAll() { return this.pendingAt === this.pending.length; }

  // Fills an OUT buffer the device has armed with the next packet, in the
  // next slot a full-speed bus has for it.
  sendPacket() {
    if (!this.outRequests || this.sentAll) return;
    const now = this.clock.nanos;
    const at = Math.max(now + PACKET_WIRE_NANOS, this.nextPacketNanos);
    const packet = Uint8Array.from(this.pending.slice(this.pendingAt, this.pendingAt + PACKET_BYTES));
    this.pendingAt += packet.length;
    if (this.sentAll) {
      this.pending = [];
      this.pendingAt = 0;
    }
    this.outRequests--;
    this.nextPacketNanos = at + PACKET_NANOS;
    this.lastPacketNanos = at;
    this.rp2040.usbCtrl.endpointReadDone(this.cdc.outEndpoint, packet, (at - now) / 1000);
  }

  // The host opens the port at a baud rate: SET_LINE_CODING, which the
  // emulator's CDC host never sends by itself, with its data stage on EP0.
  setLineCoding(baud) {
    const usb = this.rp2040.usbCtrl;
    const coding = new Uint8Array([baud & 0xff, (baud >> 8) & 0xff, (baud >> 16) & 0xff, baud >>> 24, 0, 0, 8]);
    const cdcRead = usb.onEndpointRead;
    usb.onEndpointRead = (endpoint, size) => {
      if (endpoint !== 0) return cdcRead(endpoint, size);
      usb.onEndpointRead = cdcRead;
      usb.endpointReadDone(0, coding);
    };
    const SET_LINE_CODING = 0x20, CLASS = 1, INTERFACE = 1, HOST_TO_DEVICE = 0;
    usb.sendSetupPacket(createSetupPacket({
      dataDirection: HOST_TO_DEVICE, type: CLASS, recipient: INTERFACE,
      bRequest: SET_LINE_CODING, wValue: 0, wIndex: 0, wLength: coding.length,
    }));
  }

  take() {
    const bytes = this.received;
    this.received = [];
    return bytes;
  }

  // Sends the status query and waits for its answer (which comes after
  // everything sent before it has been drawn).
  status(limitNanos = 60e9) {
    this.send([0x1b, 0x3f, 0x0a]);
    let block = null;
    this.runUntil(() => {
      const at = this.received.indexOf(0x1b);
      if (at >= 0 && this.received.length >= at + 4 && this.received[at + 1] === 0x3f) {
        block = this.received.slice(at, at + 4);
        this.received.splice(0, at + 4);
        return true;
      }
      return false;
    }, limitNanos, 'the status block');
    return {
      version: block[2],
      touch: block[3] >> 7,
      angle: ((block[3] >> 5) & 3) * 90,
      pico2: (block[3] >> 4) & 1,
      model: block[3] & 0x0f,
    };
  }
}
