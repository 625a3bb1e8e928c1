// The simulator's command line.
#pragma once
#include "boardsim/boardsim.h"

#include <string>
#include <vector>

struct BoardOptions {
    BoardConfig config;
    std::string link;         // symlink kept pointing at the current pty
    std::string panelPng;     // panel written here on exit and on SIGUSR1
    std::string bootDrive;    // folder that plays the boot loader's drive
    std::string keepFirmware; // taken firmware files are moved here instead of removed
    std::string record;       // receives every command and bitmap byte from the PC
    std::string touchScript;  // file name; its steps go into config
    bool help = false;
    bool version = false;
    std::string helpText;
};

// Fills options from the arguments (without the program name). Returns an
// empty string when they are usable, else the usage error. Reads the touch
// script when one is named.
std::string parseBoardArguments(const std::vector<std::string>& args, BoardOptions& options);

// Touch script: one step per line, "milliseconds event x y" (blanks or commas
// between them); empty lines and lines starting with "#" or ";" are comments.
// Returns an empty string, or what is wrong and on which line.
std::string parseTouchScript(const std::string& text, std::vector<TouchStep>& steps);
