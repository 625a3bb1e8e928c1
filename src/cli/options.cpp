#include "cli/options.h"

#include "panel/models.h"

#include <cstdio>

const char* const cliUsage =
    "Usage: vantorix-cli [OPTIONS] FILE...\n"
    "       vantorix-cli --decode IN OUT.bmp\n"
    "       vantorix-cli --prepare IN OUT.bmp [-m M] [-t] [-a DEG]\n"
    "Runs command files (.txt) and pictures (.bmp .png .jpg .gif) on an emulated\n"
    "display module, headless.\n"
    "\n"
    "  -m, --model M        1..6 or KP096, KP150, KP200, KP280, KP350, KP240 (default 1)\n"
    "  -t, --touch          the touch variant (KP240 has none)\n"
    "  -a, --angle DEG      0, 90, 180 or 270 (default 0)\n"
    "  -o, --panel-png P    after all files, write the panel as a PNG file\n"
    "  -b, --board-bytes F  act as if a board were connected and write every byte\n"
    "                       it would receive to F\n"
    "      --at X,Y         panel position of pictures (default 0,0; kept inside)\n"
    "  -v, --verbose        print the job's log lines to stderr\n"
    "      --decode IN OUT  load picture IN and write it as loaded, as a BMP file\n"
    "      --prepare IN OUT write picture IN exactly as a board receives it for the\n"
    "                       model and orientation (fitted and converted), as a BMP file\n"
    "  -h, --help           show this help\n"
    "      --version        show the version\n";

namespace {
bool takeValue(const std::vector<std::string>& args, size_t& i, const std::string& arg,
               const char* shortName, const char* longName, std::string& value,
               std::string& error) {
    std::string longPrefix = std::string(longName) + "=";
    if (arg.rfind(longPrefix, 0) == 0) {
        value = arg.substr(longPrefix.size());
        return true;
    }
    if (arg != shortName && arg != longName) return false;
    if (i + 1 >= args.size()) {
        error = "option " + arg + " needs a value";
        return true;
    }
    value = args[++i];
    return true;
}

bool parsePosition(const std::string& text, int& x, int& y) {
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%d,%d%n", &x, &y, &consumed) != 2) return false;
    return size_t(consumed) == text.size() && x >= -32768 && x <= 32767 && y >= -32768 &&
           y <= 32767;
}

bool takePair(const std::vector<std::string>& args, size_t& i, std::string& first,
              std::string& second, std::string& error) {
    if (i + 2 >= args.size()) {
        error = "option " + args[i] + " needs an input and an output file";
        return false;
    }
    first = args[i + 1];
    second = args[i + 2];
    i += 2;
    return true;
}
} // namespace

std::string parseCliArguments(const std::vector<std::string>& args, CliOptions& options) {
    bool onlyFiles = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value, error;
        if (onlyFiles || arg.empty() || arg[0] != '-' || arg == "-") {
            options.files.push_back(arg);
        } else if (arg == "--") {
            onlyFiles = true;
        } else if (arg == "-t" || arg == "--touch") {
            options.touch = true;
        } else if (arg == "-v" || arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--decode" || arg == "--prepare") {
            std::string& in = arg == "--decode" ? options.decodeIn : options.prepareIn;
            std::string& out = arg == "--decode" ? options.decodeOut : options.prepareOut;
            if (!takePair(args, i, in, out, error)) return error;
        } else if (takeValue(args, i, arg, "", "--at", value, error)) {
            if (!error.empty()) return error;
            if (!parsePosition(value, options.atX, options.atY))
                return "--at needs X,Y, not '" + value + "'";
        } else if (takeValue(args, i, arg, "-m", "--model", value, error)) {
            if (!error.empty()) return error;
            options.model = modelFromText(value.c_str());
            if (!options.model) return "unknown model '" + value + "'";
        } else if (takeValue(args, i, arg, "-a", "--angle", value, error)) {
            if (!error.empty()) return error;
            if (value != "0" && value != "90" && value != "180" && value != "270")
                return "angle must be 0, 90, 180 or 270, not '" + value + "'";
            options.angle = std::stoi(value);
        } else if (takeValue(args, i, arg, "-o", "--panel-png", value, error)) {
            if (!error.empty()) return error;
            options.panelPng = value;
        } else if (takeValue(args, i, arg, "-b", "--board-bytes", value, error)) {
            if (!error.empty()) return error;
            options.boardBytes = value;
        } else {
            return "unknown option '" + arg + "'";
        }
    }
    if (options.help || options.version) return {};
    bool convertOnly = !options.decodeIn.empty() || !options.prepareIn.empty();
    if (options.files.empty() && !convertOnly) return "no file given";
    if (options.touch && !modelInfo(options.model)->hasTouchOption) {
        options.warnings.push_back(std::string(modelInfo(options.model)->name) +
                                   " has no touch variant; --touch ignored");
        options.touch = false;
    }
    return {};
}
