#include "boardsim/options.h"

#include "panel/models.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {
constexpr int largestVersion = 255; // one byte in the status block

std::string parseVersion(const std::string& text, int& version) {
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || !(value >= 0)) return "--fw: not a version number: " + text;
    // The same rounding the firmware file names get.
    int scaled = int((float(value) + 0.005f) * 100);
    if (scaled > largestVersion) return "--fw: at most 2.55 fits into the status block";
    version = scaled;
    return {};
}

std::string parseModel(const std::string& text, int& model) {
    model = modelFromText(text.c_str());
    return model ? std::string() : "--model: not a module model (1-6 or KP096 ... KP240): " + text;
}

std::string readTouchScript(const std::string& path, std::vector<TouchStep>& steps) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return path + ": cannot be read";
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string error = parseTouchScript(text, steps);
    return error.empty() ? error : path + ": " + error;
}

bool readNumber(std::istringstream& in, long long& value) {
    in >> std::ws;
    if (in.peek() == ',') in.get();
    return bool(in >> value);
}

std::string checkOptions(BoardOptions& options, const std::string& fw, const std::string& model) {
    BoardConfig& config = options.config;
    if (!fw.empty()) {
        std::string error = parseVersion(fw, config.firmwareVersion);
        if (!error.empty()) return error;
    }
    if (!model.empty()) {
        std::string error = parseModel(model, config.model);
        if (!error.empty()) return error;
    }
    const ModelInfo* info = modelInfo(config.model);
    if (config.touch && info && !info->hasTouchOption)
        return std::string("--touch: the ") + info->name + " has no touch panel";
    if (!options.touchScript.empty())
        return readTouchScript(options.touchScript, config.touchScript);
    return {};
}
} // namespace

std::string parseTouchScript(const std::string& text, std::vector<TouchStep>& steps) {
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#' || line[first] == ';') continue;
        std::istringstream in(line);
        long long at, event, x, y;
        if (!readNumber(in, at) || !readNumber(in, event) || !readNumber(in, x) ||
            !readNumber(in, y))
            return "line " + std::to_string(number) + ": expected milliseconds, event, x and y";
        if (at < 0 || at > 0xFFFFFFFFLL || event < 0 || event > 255 || x < 0 || x > 65535 ||
            y < 0 || y > 65535)
            return "line " + std::to_string(number) + ": a value is out of range";
        steps.push_back({uint32_t(at), uint8_t(event), uint16_t(x), uint16_t(y)});
    }
    // Steps fire in time order; equal times keep the order of the file.
    std::stable_sort(steps.begin(), steps.end(),
                     [](const TouchStep& a, const TouchStep& b) { return a.atMs < b.atMs; });
    return {};
}

std::string parseBoardArguments(const std::vector<std::string>& args, BoardOptions& options) {
    CLI::App app("vantorix-board: a board with the module firmware, played on a pseudo-terminal.\n"
                 "Prints the terminal's path, then serves until SIGINT or SIGTERM.",
                 "vantorix-board");
    std::string fw, model;
    BoardConfig& config = options.config;
    app.add_option("--fw", fw, "firmware version it reports, e.g. 1.05 (default 1.00)");
    app.add_option("-m,--model", model, "module model, 1-6 or KP096 ... KP240 (default 1)");
    app.add_option("-a,--angle", config.angle, "orientation: 0, 90, 180 or 270")
        ->check(CLI::IsMember({0, 90, 180, 270}));
    bool touch = false, pico2 = false;
    app.add_flag("-t,--touch", touch, "the module has a touch panel");
    app.add_flag("--pico2", pico2, "an RP2350 board (Pico 2) instead of an RP2040");
    app.add_option("--demo", config.demoSeconds,
                   "start in demo mode and step the start screens every SECONDS, "
                   "reporting each step")
        ->check(CLI::Range(1, 3600));
    app.add_option("--switch-every", config.switchEveryMs,
                   "while a PC is connected, turn the module a quarter turn every MS "
                   "milliseconds (after a full turn, the next model) and report it")
        ->check(CLI::Range(10, 3600000));
    app.add_option("--touch-script", options.touchScript,
                   "report touches from FILE: lines of milliseconds (from the connection), "
                   "event, x, y");
    app.add_option("--panel-png", options.panelPng, "write the panel as PNG on exit and SIGUSR1");
    app.add_option("--link", options.link, "keep a symlink to the current terminal at PATH");
    app.add_option("--boot-drive", options.bootDrive,
                   "folder that plays the boot loader's drive after a 1200-baud request");
    app.add_option("--keep-firmware", options.keepFirmware,
                   "move each firmware file the boot loader takes into DIR (for checking it)");
    app.add_option("--record", options.record,
                   "write every command and bitmap byte received to FILE");
    app.add_flag("-v,--verbose", config.verbose, "log the board's events to stderr");
    app.add_flag("--version", options.version, "print the version and exit");
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
        options.helpText = app.help();
        return {};
    } catch (const CLI::ParseError& e) {
        return e.what();
    }
    config.touch = touch ? 1 : 0;
    config.pico2 = pico2 ? 1 : 0;
    return checkOptions(options, fw, model);
}
