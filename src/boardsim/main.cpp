// vantorix-board: a board with the module firmware on a pseudo-terminal.
#include "board/boardpty.h"
#include "boardsim/boardsim.h"
#include "boardsim/bootdrive.h"
#include "boardsim/options.h"
#include "boardsim/uf2.h"
#include "file/output.h"
#include "headless/headless.h"
#include "headless/panelpng.h"
#include "panel/zr_tft.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {
constexpr int pollMs = 10;
constexpr int bootDrivePollMs = 100;
constexpr int bootRequestBaud = 1200;
// Replies beyond this wait for a PC that does not read are dropped.
constexpr size_t maxPendingReplies = 65536;

enum class Phase { OnBus, BootLoader };

struct Session {
    BoardOptions options;
    Phase phase = Phase::OnBus;
    BoardPty pty;
    bool connected = false;
    std::vector<uint8_t> pending; // replies not yet taken by the pty
    BootDrive drive;
    FILE* record = nullptr;
    int status = 0;
};

void complain(const std::string& message) {
    std::fprintf(stderr, "vantorix-board: %s\n", message.c_str());
}

bool writePanel(Session& session) {
    if (session.options.panelPng.empty()) return true;
    int width = 0, height = 0;
    const std::vector<uint16_t> pixels = panelPixelsTopDown(&width, &height);
    std::string error = writeOutputFile(session.options.panelPng, [&](const char* path) {
        return writePanelPng(path, pixels, width, height);
    });
    if (error.empty()) return true;
    complain(session.options.panelPng + ": " + error);
    return false;
}

// Comes onto the bus on a new pty: prints its path and points the link at it.
bool comeOnBus(Session& session) {
    std::string error;
    if (!boardPtyOpen(session.pty, error) ||
        (!session.options.link.empty() &&
         !boardLinkSet(session.options.link, session.pty.slavePath, error))) {
        complain(error);
        boardPtyClose(session.pty);
        return false;
    }
    std::printf("%s\n", session.pty.slavePath.c_str());
    std::fflush(stdout);
    session.phase = Phase::OnBus;
    session.connected = false;
    session.pending.clear();
    return true;
}

void leaveBus(Session& session) {
    boardLinkRemove(session.options.link, session.pty.slavePath);
    boardPtyClose(session.pty);
    if (session.connected) boardDisconnected();
    session.connected = false;
    session.phase = Phase::BootLoader;
    if (session.options.bootDrive.empty()) {
        complain("restarted into the boot loader; without --boot-drive it stays there");
        return;
    }
    std::string error;
    session.drive.keepDir = session.options.keepFirmware;
    if (!bootDriveAppear(session.drive, session.options.bootDrive, session.options.config.pico2,
                         error))
        complain(error);
}

void saveRecorded(Session& session) {
    std::vector<uint8_t> bytes = boardTakeRecorded();
    if (!session.record || bytes.empty()) return;
    std::fwrite(bytes.data(), 1, bytes.size(), session.record);
    std::fflush(session.record);
}

void sendReplies(Session& session) {
    std::vector<uint8_t> replies = boardTakeReplies();
    if (session.pending.size() + replies.size() <= maxPendingReplies)
        session.pending.insert(session.pending.end(), replies.begin(), replies.end());
    if (session.pending.empty()) return;
    int put = boardPtyWrite(session.pty, session.pending.data(), int(session.pending.size()));
    session.pending.erase(session.pending.begin(), session.pending.begin() + put);
}

void readFromPc(Session& session) {
    uint8_t buffer[16384];
    int got;
    while ((got = boardPtyRead(session.pty, buffer, sizeof buffer)) > 0)
        boardFeed(buffer, size_t(got));
}

void serveOnBus(Session& session) {
    boardPtyWait(session.pty, pollMs);
    uint64_t now = boardClockMs();
    bool peer = boardPtyPeerOpen(session.pty) != 0;
    if (peer && !session.connected) {
        session.connected = true;
        boardConnected(now);
    }
    readFromPc(session); // what came before a close is still read
    if (!peer && session.connected) {
        session.connected = false;
        session.pending.clear();
        boardDisconnected();
    }
    boardTick(now);
    if (session.connected)
        sendReplies(session);
    else
        boardTakeReplies();
    saveRecorded(session);
    // The port was opened at 1200 baud and is closed again: restart into the boot loader.
    if (!peer && boardPtyBaud(session.pty) == bootRequestBaud) leaveBus(session);
}

void serveBootLoader(Session& session) {
    boardSleepMs(bootDrivePollMs);
    if (session.options.bootDrive.empty()) return;
    std::string taken = bootDrivePoll(session.drive, boardClockMs());
    if (taken.empty()) return;
    BoardConfig config = session.options.config;
    int version = firmwareVersionFromName(taken);
    if (version >= 0 && version <= 255)
        config.firmwareVersion = version;
    else
        complain(taken + ": no version in the name; the version stays");
    session.options.config = config;
    boardStart(config); // the new firmware starts like a board powered up
    if (!comeOnBus(session)) session.status = 1;
}
} // namespace

int main(int argc, char** argv) {
    Session session;
    std::string usageError = parseBoardArguments({argv + 1, argv + argc}, session.options);
    if (!usageError.empty()) {
        std::fprintf(stderr,
                     "vantorix-board: %s\nTry 'vantorix-board --help' for more information.\n",
                     usageError.c_str());
        return 2;
    }
    if (session.options.help) {
        std::fputs(session.options.helpText.c_str(), stdout);
        return 0;
    }
    if (session.options.version) {
        std::puts("vantorix-board " VANTORIX_VERSION);
        return 0;
    }
    if (!session.options.record.empty()) {
        session.record = std::fopen(session.options.record.c_str(), "wb");
        if (!session.record) {
            complain(session.options.record + ": cannot be written");
            return 1;
        }
    }
    boardSignalsInstall();
    boardStart(session.options.config);
    if (!comeOnBus(session)) return 1;
    while (!boardStopRequested() && session.status == 0) {
        if (session.phase == Phase::OnBus)
            serveOnBus(session);
        else
            serveBootLoader(session);
        if (boardTakeSnapshotRequest() && !writePanel(session)) session.status = 1;
    }
    if (session.phase == Phase::OnBus) {
        readFromPc(session);
        saveRecorded(session);
    }
    boardLinkRemove(session.options.link, session.pty.slavePath);
    boardPtyClose(session.pty);
    if (session.phase == Phase::BootLoader && !session.options.bootDrive.empty())
        bootDriveVanish(session.drive);
    if (session.record) std::fclose(session.record);
    if (!writePanel(session)) session.status = 1;
    return session.status;
}
