// The firmware's checks in the RP2040 emulator: the board boots, enumerates,
// answers the status query, and every case sent through the link leaves the
// modelled glass equal, pixel for pixel, to the PC's panel (vantorix-cli -o)
// for the same input.
//
// node run.mjs --uf2 F --bootrom F --cli vantorix-cli --source DIR --work DIR
//             [--models 1,2,...] [--no-link-checks] [--quick]
import { execFileSync } from 'node:child_process';
import { mkdirSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { Board, MODELS } from './board.mjs';
import { readPng565 } from './png.mjs';

const FIRMWARE_VERSION_X100 = 110;
const BOOT_NANOS = 5e9;

function options() {
  const args = process.argv.slice(2), out = {};
  for (let i = 0; i < args.length; i++) {
    if (!args[i].startsWith('--')) continue;
    const key = args[i].slice(2);
    out[key] = args[i + 1] && !args[i + 1].startsWith('--') ? args[++i] : true;
  }
  for (const needed of ['uf2', 'bootrom', 'cli', 'source', 'work'])
    if (!out[needed]) throw new Error(`--${needed} is missing`);
  return out;
}

let failures = 0;
function check(ok, what) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (!ok) failures++;
}

function boot(opt, model, angle, touch = 0) {
  const board = new Board({ uf2: opt.uf2, bootrom: opt.bootrom, model, touch, angle });
  board.attachGlass(model);
  board.runUntil(() => board.connected, BOOT_NANOS, 'USB enumeration');
  return board;
}

// What the PC shows and sends for the input: the panel PNG and the bytes.
function reference(opt, model, angle, inputs, name) {
  const png = join(opt.work, `${name}.png`), bytes = join(opt.work, `${name}.bin`);
  execFileSync(opt.cli, ['-m', String(model), '-a', String(angle), ...inputs, '-o', png, '-b', bytes],
    { stdio: ['ignore', 'ignore', 'inherit'] });
  return { panel: readPng565(png), bytes: readFileSync(bytes) };
}

function samePanel(glass, panel) {
  if (glass.width !== panel.width || glass.height !== panel.height)
    return `size ${glass.width}x${glass.height}, the PC's ${panel.width}x${panel.height}`;
  let differ = 0, first = -1;
  for (let i = 0; i < panel.pixels.length; i++) {
    if (glass.pixels[i] !== panel.pixels[i]) {
      if (first < 0) first = i;
      differ++;
    }
  }
  if (!differ) return '';
  const x = first % panel.width, y = Math.floor(first / panel.width);
  return `${differ} pixels differ, first at ${x},${y}: ${glass.pixels[first].toString(16)} ` +
    `instead of ${panel.pixels[first].toString(16)}`;
}

// Runs the input through the board and compares the glass with the PC's panel.
function compareCase(opt, model, angle, inputs, label) {
  const name = `${MODELS[model].name}_${angle}_${label.replace(/\W+/g, '_')}`;
  const ref = reference(opt, model, angle, inputs, name);
  const board = boot(opt, model, angle);
  board.send(ref.bytes);
  const status = board.status(120e9);
  const difference = samePanel(board.glass(status.angle), ref.panel) || board.controllerFaults.join(', ');
  check(!difference, `${MODELS[model].name} at ${angle}: ${label}${difference ? ': ' + difference : ''}`);
  return board;
}

function statusChecks(opt) {
  const board = boot(opt, 5, 90, 1);
  const status = board.status();
  check(status.version === FIRMWARE_VERSION_X100, `status block: version ${status.version}`);
  check(status.model === 5 && status.angle === 90 && status.touch === 1 && status.pico2 === 0,
    `status block: model ${status.model}, ${status.angle} degrees, touch ${status.touch}, pico2 ${status.pico2}`);
  board.send([...Buffer.from('\x1bP40\n')]);
  board.status();
  check(Math.abs(board.backlight() - 40) < 0.5, `ESC P 40 sets the backlight to ${board.backlight()} %`);
  board.send([...Buffer.from('#LB 70\n')]);
  board.status();
  check(Math.abs(board.backlight() - 70) < 0.5, `#LB 70 sets the backlight to ${board.backlight()} %`);

  board.take();
  board.press([100, 300]);
  board.run(50e6);
  board.press(null);
  board.run(50e6);
  const reports = board.take().map((b) => b.toString(16).padStart(2, '0')).join(' ');
  // At 90 degrees glass (100, 300) of the 320 x 480 glass is panel (179, 100).
  const expected = ['01', '04'].map((event) => `1b 54 6e a5 ${event} b3 00 64 00`).join(' ');
  check(reports === expected, `a touch at a known point is reported: ${reports}`);

  // The capacitive glass (KP200) at 270 degrees: down, a move, up.
  const capacitive = boot(opt, 3, 270, 1);
  capacitive.status();
  capacitive.take();
  for (const point of [[50, 200], [60, 210], null]) {
    capacitive.press(point);
    capacitive.run(50e6);
  }
  const touches = capacitive.take().map((b) => b.toString(16).padStart(2, '0')).join(' ');
  // At 270 degrees glass (50, 200) of the 240 x 320 glass is panel (200, 189), (60, 210) is (210, 179).
  const expectedTouches = ['01 c8 00 bd 00', '02 d2 00 b3 00', '04 d2 00 b3 00']
    .map((event) => `1b 54 6e e3 ${event}`).join(' ');
  check(touches === expectedTouches, `a touch on the capacitive glass is reported: ${touches}`);

  // The boot ROM's USB boot entry leaves its magic in watchdog scratch 4 for
  // the restart; the emulation stops there (what follows is the ROM's own
  // USB device, which the emulator's CDC host cannot follow).
  const USB_BOOT_MAGIC = 0xb007c0d3;
  board.stopWhen = () => board.watchdogScratch[4] === USB_BOOT_MAGIC || board.watchdogResets.length > 0;
  board.setLineCoding(1200);
  board.run(200e6);
  check(board.watchdogScratch[4] === USB_BOOT_MAGIC, '1200 baud restarts into the USB boot loader');

  const blank = new Board({ uf2: opt.uf2, bootrom: opt.bootrom });
  blank.runUntil(() => blank.connected, BOOT_NANOS, 'USB enumeration');
  const unconfigured = blank.status();
  check(unconfigured.model === 0, `an unconfigured board reports model ${unconfigured.model}`);
}

// A 24-bit BMP of the size with many colours: the PC sends it as the
// program sends any picture (RGB565, or 8 bits with a palette when larger).
function writeTestPicture(path, width, height) {
  const rowBytes = (width * 3 + 3) & ~3, pixels = rowBytes * height;
  const file = Buffer.alloc(54 + pixels);
  file.write('BM', 0, 'latin1');
  [[2, 54 + pixels], [10, 54], [14, 40], [18, width], [22, height], [34, pixels]]
    .forEach(([at, value]) => file.writeUInt32LE(value, at));
  file.writeUInt16LE(1, 26);
  file.writeUInt16LE(24, 28);
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      const at = 54 + y * rowBytes + 3 * x;
      file[at] = (x * 255) / width;
      file[at + 1] = (y * 255) / height;
      file[at + 2] = (x * y) & 0xff;
    }
  }
  writeFileSync(path, file);
}

// How long after the last USB packet of a full-panel bitmap stream the board
// is still drawing, in emulated time, against the time one panel row takes on
// the SPI bus. Also how close the stream came to the link's full speed.
function benchmark(opt, model) {
  const m = MODELS[model];
  const picture = join(opt.work, `bench_${m.name}.bmp`);
  writeTestPicture(picture, m.width, m.height);
  const ref = reference(opt, model, 0, [picture], `bench_${m.name}`);
  const board = boot(opt, model, 0);
  board.status(); // the panel is set up
  const start = board.nanos;
  board.send(ref.bytes);
  board.runUntil(() => board.sentAll, 60e9, 'the stream');
  const lastPacket = board.lastPacketNanos;
  board.status();
  const difference = samePanel(board.glass(0), ref.panel);
  check(!difference, `${m.name}: a full-panel bitmap stream at link speed${difference ? ': ' + difference : ''}`);
  const clock = board.rp2040.spi[0].clockFrequency;
  const rowNanos = 2 * m.width * board.spiWordNanos();
  const linkNanos = lastPacket - start;
  const fullSpeedNanos = (Math.ceil(ref.bytes.length / 64) - 1) * (1e6 / 19);
  const us = (nanos) => (nanos / 1e3).toFixed(0);
  console.log(`bench ${m.name}: ${ref.bytes.length}-byte bitmap stream, last USB packet after ` +
    `${(linkNanos / 1e6).toFixed(1)} ms (full speed: ${(fullSpeedNanos / 1e6).toFixed(1)} ms); ` +
    `last pixel ${us(board.lastPixelNanos - lastPacket)} us later; one ${m.width}-pixel row ` +
    `takes ${us(rowNanos)} us on the SPI bus at ${(clock / 1e6).toFixed(2)} MHz`);
}

function main() {
  const opt = options();
  mkdirSync(opt.work, { recursive: true });
  if (!opt['no-link-checks']) statusChecks(opt);
  if (opt.bench) [5, 3].forEach((model) => benchmark(opt, model));

  const examples = readdirSync(join(opt.source, 'examples')).filter((f) => f.endsWith('.txt')).sort();
  const pictures = ['demo1_kp350.bmp', 'demo2_kp280.bmp'].map((f) => join(opt.source, 'data/pictures', f));
  const models = opt.models ? String(opt.models).split(',').map(Number) : opt.quick ? [3] : [1, 2, 3, 4, 5, 6];
  const angles = opt.quick ? [0] : [0, 90, 180, 270];
  for (const model of models) {
    for (const angle of angles) {
      for (const example of examples)
        compareCase(opt, model, angle, [join(opt.source, 'examples', example)], example);
      for (const picture of pictures) compareCase(opt, model, angle, [picture], picture.split('/').pop());
    }
  }
  if (failures) {
    console.log(`${failures} firmware checks failed`);
    process.exit(1);
  }
  console.log('All firmware checks passed in the emulator');
}

main();
