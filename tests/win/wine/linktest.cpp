// The board link under Wine: the usbser device list from the registry, a COM
// port that Wine maps to vantorix-board's pseudo-terminal, the query, the
// PWM message, the board's status block and forwarded commands.
// Usage: vantorix-linktest.exe PORT FW MODEL COMMANDS
//   PORT      the COM port number listed for the board
//   FW        the firmware version x 100 the board reports
//   MODEL     the model the board reports
//   COMMANDS  command text (with \n line ends) to forward after connecting
#include "board/discovery.h"
#include "board/picolink.h"
#include "board/seriowin.h"
#include "board/statusblock.h"
#include "command/sendfile.h"
#include "common/settings.h"
#include "module/newtft.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
int failures = 0;

void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    if (!ok) ++failures;
}

std::string unescapeLineEnds(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (p[0] == '\\' && p[1] == 'n') {
            out += '\n';
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fputs("usage: vantorix-linktest.exe PORT FW MODEL COMMANDS\n", stderr);
        return 2;
    }
    int port = std::atoi(argv[1]), firmware = std::atoi(argv[2]), model = std::atoi(argv[3]);
    installSerialBackend(systemSerialBackend());
    installDiscoverySystem(systemDiscovery());

    char name[32];
    COMdeviceName(10, name, sizeof name);
    check(std::strcmp(name, "\\\\.\\COM10") == 0, "ports from 10 on are opened by their long name");
    check(COMopen(0, boardBaud) == 0 && COMinbufferanz() == -1, "port 0 is refused");
    check(GetCOMnames() == 1 && picoList[0].port == port, "the registry lists the board's port");

    NewTFT(0);
    openPicoCOM();
    check(picoPort == port, "the board answers the query");
    check(readBoardInput() == 1, "its status block is read");
    check(picoFW == firmware && Module == model, "its firmware and model are taken");

    std::string commands = unescapeLineEnds(argv[4]);
    TFTcommandOut(commands.c_str(), commands.size());
    check(picoPort == port && !boardLinkLost(), "the commands went out");
    closePicoCOM();
    check(picoPort == 0 && COMinbufferanz() == -1, "the port is closed again");
    return failures ? 1 : 0;
}
