// The runner's command line. Each area of the runner adds its options in its
// own function in options.cpp (see addPanelOptions and its neighbours); the
// help text is made from the options' descriptions.
#pragma once
#include <string>
#include <vector>

struct CliOptions {
    int model = 1;
    bool touch = false;
    int angle = 0;
    std::string panelPng;
    std::string boardBytes; // file that receives what a connected board would get
    bool verbose = false;
    int atX = 0, atY = 0;              // drop position of image files
    std::string decodeIn, decodeOut;   // --decode IN OUT.bmp
    std::string prepareIn, prepareOut; // --prepare IN OUT.bmp
    std::string port = "none";         // -p: auto, none or a device path
    int pwm = 95;                      // LED brightness sent on connecting
    bool status = false;               // print what the board reports and stop
    bool configureBoard = false;       // tell the board which module it drives (-m, -t, -a)
    std::string bootDrive;             // a folder to take as the boot drive
    // Which panel settings were given: those stay when a board reports others.
    bool modelGiven = false, angleGiven = false, touchGiven = false;
    std::string windowPng; // the module picture with the panel inside
    int zoom = 1;
    bool outline = false; // window PNG cut to the module outline
    bool title = false;
    std::string moduleDir; // where the module files are; default: the user's folder for them
    bool watch = false;
    std::string firmwareDir; // looked in first for firmware files (then the runner's folders)
    bool update = false;     // answer the firmware questions with yes
    bool ask = false;        // ask them on the terminal
    bool check = false;      // --check: report findings, run nothing
    std::vector<std::string> quietKinds;   // -W no-KIND: findings not reported
    bool runAfterCheck = false;            // --check with outputs: check, then run
    std::string expectPanel, expectWindow; // pictures the run must match
    std::string diffPanel, diffWindow;     // where the differences are drawn
    bool updateExpected = false;           // write the expected pictures instead
    bool help = false;
    bool version = false;
    std::vector<std::string> files;
    std::vector<std::string> warnings;
};

// Returns an empty string when the arguments are usable, else the usage error.
std::string parseCliArguments(const std::vector<std::string>& args, CliOptions& options);
// The text --help prints.
std::string cliUsage();
