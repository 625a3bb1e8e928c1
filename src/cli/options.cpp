#include "cli/options.h"

#include "command/check.h"
#include "panel/models.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

namespace {
// The usage lines and option entries follow the GNU layout ("  or:" lines,
// two spaces before a description), which help2man turns into the man page.
const char* const usageLines = "Usage: vantorix-cli [OPTIONS] FILE...\n"
                               "  or:  vantorix-cli --decode IN OUT.bmp\n"
                               "  or:  vantorix-cli --prepare IN OUT.bmp [-m M] [-t] [-a DEG]\n"
                               "  or:  vantorix-cli --title [-m M] [-t]\n"
                               "  or:  vantorix-cli --watch [FILE] [-o P] [--window-png P]\n"
                               "  or:  vantorix-cli --check [-m M] [-a DEG] [-W no-KIND] FILE...\n";
const char* const description =
    "Runs command files (.txt) and pictures (.bmp .png .jpg .gif) on an emulated\n"
    "display module, headless.\n";
// Column where the option descriptions start in the help text.
constexpr size_t helpColumn = 24;

// Prints the usage lines, the description and one entry per option, in the
// order the options were added, as "-m, --model M   description".
class RunnerHelp : public CLI::Formatter {
  public:
    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
        std::ostringstream out;
        out << usageLines << app->get_description() << "\n";
        for (const CLI::Option* option : app->get_options()) {
            if (option->get_positional() || option->get_group().empty()) continue;
            std::string value = option->get_type_name();
            CLI::detail::format_help(out, optionNames(option) + (value.empty() ? "" : " ") + value,
                                     option->get_description(), helpColumn);
        }
        return out.str();
    }

  private:
    static std::string optionNames(const CLI::Option* option) {
        std::string names;
        for (const std::string& shortName : option->get_snames()) names += "-" + shortName + ", ";
        if (names.empty()) names = "    ";
        for (const std::string& longName : option->get_lnames()) names += "--" + longName;
        if (option->get_lnames().empty()) names.resize(names.size() - 2); // "-W", not "-W, "
        return names;
    }
};

// A check that returns a message when the value is unusable, else nothing.
CLI::Validator check(std::string (*test)(const std::string&)) {
    return CLI::Validator([test](std::string& value) { return test(value); }, "");
}

std::string needsFileName(const std::string& value) {
    return value.empty() ? "needs a file name, not an empty one" : std::string();
}

bool parsePosition(const std::string& text, int& x, int& y) {
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%d,%d%n", &x, &y, &consumed) != 2) return false;
    return size_t(consumed) == text.size() && x >= -32768 && x <= 32767 && y >= -32768 &&
           y <= 32767;
}

void addPanelOptions(CLI::App& app, CliOptions& options) {
    app.add_option_function<std::string>(
           "-m,--model",
           [&options](const std::string& text) { options.model = modelFromText(text.c_str()); },
           "1..6 or KP096, KP150, KP200, KP280, KP350, KP240 (default 1)")
        ->type_name("M")
        ->check(check([](const std::string& text) {
            return modelFromText(text.c_str()) ? std::string() : "unknown model '" + text + "'";
        }));
    app.add_flag("-t,--touch", options.touch, "the touch variant (KP240 has none)");
    app.add_option("-a,--angle", options.angle, "0, 90, 180 or 270 (default 0)")
        ->type_name("DEG")
        ->check(check([](const std::string& text) {
            bool valid = text == "0" || text == "90" || text == "180" || text == "270";
            return valid ? std::string() : "angle must be 0, 90, 180 or 270, not '" + text + "'";
        }));
}

// An option that names one file, shown as "name P".
void addFileOption(CLI::App& app, const char* name, std::string& file, const char* help,
                   const char* typeName = "P") {
    app.add_option(name, file, help)->type_name(typeName)->check(check(needsFileName));
}

void addOutputOptions(CLI::App& app, CliOptions& options) {
    addFileOption(app, "-o,--panel-png", options.panelPng,
                  "after all files, write the panel as a PNG file");
    addFileOption(app, "-b,--board-bytes", options.boardBytes,
                  "act as if a board were connected and write every byte\n"
                  "it would receive to F",
                  "F");
}

void addWindowOptions(CLI::App& app, CliOptions& options) {
    app.add_option("--window-png", options.windowPng,
                   "after all files, write the module picture with the panel\n"
                   "inside, as the window shows it")
        ->type_name("P")
        ->check(check(needsFileName));
    app.add_option("--zoom", options.zoom, "window zoom for --window-png: 1 or 2")
        ->type_name("Z")
        ->check(check([](const std::string& text) {
            return text == "1" || text == "2" ? std::string()
                                              : "zoom must be 1 or 2, not '" + text + "'";
        }));
    app.add_flag("--outline", options.outline,
                 "cut --window-png to the module outline (transparent outside)");
    app.add_flag("--title", options.title, "print the window title");
    app.add_option("--module-dir", options.moduleDir,
                   "folder of the module files (default:\n"
                   "$XDG_DATA_HOME/vantorix or ~/.local/share/vantorix)")
        ->type_name("DIR")
        ->check(check([](const std::string& text) {
            return text.empty() ? "needs a folder name, not an empty one" : std::string();
        }));
    app.add_flag("--watch", options.watch,
                 "keep running: run the module file (or the one FILE) again\n"
                 "whenever it changes, rewrite the PNGs; Ctrl+C ends");
}

void addPictureOptions(CLI::App& app, CliOptions& options) {
    app.add_option_function<std::string>(
           "--at",
           [&options](const std::string& text) { parsePosition(text, options.atX, options.atY); },
           "panel position of pictures (default 0,0; kept inside)")
        ->type_name("X,Y")
        ->check(check([](const std::string& text) {
            int x, y;
            return parsePosition(text, x, y) ? std::string() : "needs X,Y, not '" + text + "'";
        }));
    app.add_flag("-v,--verbose", options.verbose, "print the job's log lines to stderr");
}

// The kinds, as lines that fit the help text's description column.
std::string checkKindNames() {
    constexpr size_t lineWidth = 56;
    std::string names, line;
    for (int i = 0; i < checkKindCount; ++i) {
        std::string name = std::string(checkKinds[i]) + (i + 1 < checkKindCount ? "," : "");
        if (!line.empty() && line.size() + 1 + name.size() > lineWidth) {
            names += line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + name;
    }
    return names + line;
}

void addCheckOptions(CLI::App& app, CliOptions& options) {
    app.add_flag("--check", options.check,
                 "check the FILEs and report what the panel and the board\n"
                 "would do silently, as file:line:column: warning lines;\n"
                 "runs nothing unless outputs are asked for (then it runs after)");
    app.add_option("-W", options.quietKinds,
                   "with --check: do not report findings of KIND, one of\n" + checkKindNames())
        ->type_name("no-KIND")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false)
        ->check(check([](const std::string& text) {
            const bool known = text.rfind("no-", 0) == 0 && isCheckKind(text.c_str() + 3);
            return known ? std::string() : "needs no-KIND with a known KIND, not '" + text + "'";
        }));
}

void addExpectOptions(CLI::App& app, CliOptions& options) {
    addFileOption(app, "--expect", options.expectPanel,
                  "after all files, compare the panel with picture P (as RGB565);\n"
                  "a difference fails the run");
    addFileOption(app, "--expect-window", options.expectWindow,
                  "the same for the window picture (--zoom, --outline apply)");
    addFileOption(app, "--diff", options.diffPanel,
                  "when the panel differs from --expect, draw the difference\n"
                  "into P; when it matches, remove an old P");
    addFileOption(app, "--diff-window", options.diffWindow, "the same for --expect-window");
    app.add_flag("--update-expected", options.updateExpected,
                 "write the --expect and --expect-window pictures when they\n"
                 "are missing or differ, instead of failing");
}

// --decode and --prepare take an input and an output file, both named.
void addConversion(CLI::App& app, const char* name, std::string& in, std::string& out,
                   const char* help) {
    app.add_option_function<std::vector<std::string>>(
           name,
           [&in, &out, name](const std::vector<std::string>& files) {
               if (files.size() != 2)
                   throw CLI::ValidationError(name, "needs an input and an output file");
               if (files[0].empty())
                   throw CLI::ValidationError(name, "the input file name is empty");
               if (files[1].empty())
                   throw CLI::ValidationError(name, "the output file name is empty");
               in = files[0];
               out = files[1];
           },
           help)
        ->expected(2)
        ->allow_extra_args(false)
        ->type_name("IN OUT");
}

void addConversionOptions(CLI::App& app, CliOptions& options) {
    addConversion(app, "--decode", options.decodeIn, options.decodeOut,
                  "load picture IN and write it as loaded, as a BMP file");
    addConversion(app, "--prepare", options.prepareIn, options.prepareOut,
                  "write picture IN exactly as a board receives it for the\n"
                  "model and orientation (fitted and converted), as a BMP file");
}

void addBoardOptions(CLI::App& app, CliOptions& options) {
    app.add_option("-p,--port", options.port,
                   "auto: find a board; none: no board (default);\n"
                   "or the board's device, for example /dev/ttyACM0")
        ->type_name("PORT")
        ->check(check([](const std::string& text) {
            return text.empty() ? "needs auto, none or a device" : std::string();
        }));
    app.add_option("--pwm", options.pwm, "LED brightness 0..100 sent to the board (default 95)")
        ->check(CLI::Range(0, 100))
        ->type_name("N");
    app.add_flag("--status", options.status,
                 "print what the board reports (firmware, processor, model,\n"
                 "orientation, touch) and stop; finds a board unless -p says which");
    app.add_flag("--configure-board", options.configureBoard,
                 "tell the board which module is attached (-m, -t, -a); it\n"
                 "keeps it across power cycles; finds a board unless -p says which");
    app.add_option("--boot-drive", options.bootDrive,
                   "take folder DIR as the board's boot drive when it holds INFO_UF2.TXT")
        ->type_name("DIR")
        ->check(check(needsFileName));
}

void addFirmwareOptions(CLI::App& app, CliOptions& options) {
    app.add_flag("--update", options.update,
                 "program the newest firmware file onto an older, foreign or\n"
                 "empty board without asking (files to run are optional)");
    app.add_flag("--ask", options.ask, "ask on the terminal before programming a board");
    app.add_option("--firmware-dir", options.firmwareDir,
                   "folder looked in first for firmware files (then the\n"
                   "runner's folder and ../share/vantorix beside it)")
        ->type_name("DIR")
        ->check(check(needsFileName));
}

void addGeneralOptions(CLI::App& app, CliOptions& options) {
    app.add_flag("-h,--help", options.help, "show this help");
    app.add_flag("--version", options.version, "show the version");
    app.add_option("files", options.files)->group("");
}

void buildApp(CLI::App& app, CliOptions& options) {
    app.set_help_flag();
    app.formatter(std::make_shared<RunnerHelp>());
    // A repeated option keeps its last value, as most tools do.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    addPanelOptions(app, options);
    addOutputOptions(app, options);
    addWindowOptions(app, options);
    addPictureOptions(app, options);
    addCheckOptions(app, options);
    addExpectOptions(app, options);
    addConversionOptions(app, options);
    addBoardOptions(app, options);
    addFirmwareOptions(app, options);
    addGeneralOptions(app, options);
}

// Two of the pictures a run reads and writes may not be one file.
std::string checkPictureNames(const CliOptions& options) {
    namespace fs = std::filesystem;
    const std::pair<const char*, const std::string*> named[] = {
        {"--panel-png", &options.panelPng}, {"--window-png", &options.windowPng},
        {"--expect", &options.expectPanel}, {"--expect-window", &options.expectWindow},
        {"--diff", &options.diffPanel},     {"--diff-window", &options.diffWindow},
    };
    for (size_t i = 0; i < std::size(named); ++i)
        for (size_t j = i + 1; j < std::size(named); ++j) {
            if (named[i].second->empty() || named[j].second->empty()) continue;
            std::error_code error;
            fs::path a = fs::absolute(*named[i].second, error).lexically_normal();
            fs::path b = fs::absolute(*named[j].second, error).lexically_normal();
            if (a == b)
                return std::string(named[i].first) + " and " + named[j].first +
                       " name the same file";
        }
    return {};
}

std::string checkExpectCombination(const CliOptions& options) {
    const bool expecting = !options.expectPanel.empty() || !options.expectWindow.empty();
    if (!options.diffPanel.empty() && options.expectPanel.empty()) return "--diff needs --expect";
    if (!options.diffWindow.empty() && options.expectWindow.empty())
        return "--diff-window needs --expect-window";
    if (options.updateExpected && !expecting)
        return "--update-expected needs --expect or --expect-window";
    if (expecting && options.watch) return "--expect and --expect-window cannot go with --watch";
    return checkPictureNames(options);
}

std::string checkCheckCombination(CliOptions& options) {
    if (!options.quietKinds.empty() && !options.check) return "-W goes with --check";
    if (!options.check) return {};
    const std::pair<bool, const char*> excluded[] = {
        {options.status, "--status"},
        {!options.decodeIn.empty(), "--decode"},
        {!options.prepareIn.empty(), "--prepare"},
        {options.watch, "--watch"},
        {options.update, "--update"},
        {options.ask, "--ask"},
    };
    for (const auto& [given, name] : excluded)
        if (given) return std::string("--check cannot go with ") + name;
    if (options.files.empty()) return "--check needs a file";
    options.runAfterCheck = !options.panelPng.empty() || !options.windowPng.empty() ||
                            !options.expectPanel.empty() || !options.expectWindow.empty() ||
                            !options.boardBytes.empty() || options.port != "none" || options.title;
    return {};
}

std::string checkCombination(CliOptions& options) {
    if (options.help || options.version) return {};
    for (const std::string& file : options.files)
        if (file.empty()) return "a file name is empty";
    if (std::string error = checkCheckCombination(options); !error.empty()) return error;
    if (std::string error = checkExpectCombination(options); !error.empty()) return error;
    bool convertOnly = !options.decodeIn.empty() || !options.prepareIn.empty();
    if (options.configureBoard) {
        if (options.port == "none") return "--configure-board needs a board, not --port none";
        if (!options.modelGiven) return "--configure-board needs the model (-m)";
        if (!options.files.empty() || convertOnly) return "--configure-board takes no files";
        return {};
    }
    if (options.status) {
        if (options.port == "none") return "--status needs a board, not --port none";
        if (!options.files.empty() || convertOnly) return "--status takes no files";
        return {};
    }
    bool firmwareOffer = options.update || options.ask;
    if (options.files.empty() && !convertOnly && !options.title && !options.watch && !firmwareOffer)
        return "no file given";
    if (options.watch && options.files.size() > 1) return "--watch watches one file at most";
    if (options.touch && !modelInfo(options.model)->hasTouchOption) {
        options.warnings.push_back(std::string(modelInfo(options.model)->name) +
                                   " has no touch variant; --touch ignored");
        options.touch = false;
    }
    return {};
}
} // namespace

std::string parseCliArguments(const std::vector<std::string>& args, CliOptions& options) {
    CLI::App app(description, "vantorix-cli");
    buildApp(app, options);
    std::vector<std::string> reversed(args.rbegin(), args.rend()); // the order CLI11 takes
    try {
        app.parse(reversed);
        options.modelGiven = app.count("--model") > 0;
        options.angleGiven = app.count("--angle") > 0;
        options.touchGiven = app.count("--touch") > 0;
        if ((options.status || options.configureBoard) && app.count("--port") == 0)
            options.port = "auto";
    } catch (const CLI::ParseError& error) {
        return error.what();
    }
    return checkCombination(options);
}

std::string cliUsage() {
    CliOptions unused;
    CLI::App app(description, "vantorix-cli");
    buildApp(app, unused);
    return app.help();
}
