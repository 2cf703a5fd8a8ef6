#pragma once
// A document on a virtual board inside the test process, as the document's board tests use it:
// the board runs as fast as it can, the host's talker settings select special test mode (the
// external RAM is visible), a generous read wait (the board runs on a thread of a busy machine)
// and hexadecimal as the default base.
#include "DocTestHost.h"
#include "sim/VirtualBoard.h"

#include <memory>
#include <string>

struct BoardDocument {
    std::unique_ptr<VirtualBoard> board;
    std::unique_ptr<TestHost> host;
    std::unique_ptr<CTarvik11Doc> doc;

    // Starts the board and opens the document; empty on success, else what went wrong.
    std::string start()
    {
        board = std::make_unique<VirtualBoard>(VirtualBoardOptions{0.0, {}, {}});
        std::string error;
        if (!board->start(&error))
            return error;
        reopen();
        return {};
    }
    // A new host and document on the same board (the earlier ones gone first, as when the
    // application is started again).
    void reopen()
    {
        doc.reset();
        host.reset();
        host = std::make_unique<TestHost>();
        host->session.attachBoard(board.get());
        host->settings.port = QString::fromStdString(board->devicePath());
        host->settings.talkerFile = QStringLiteral(TARVIK11_TALKER_FILE);
        host->settings.chipMode = 1;
        host->settings.eepromEnable = 0;
        host->settings.commDelay = 500;
        host->settings.defaultBase = 1;
        doc = std::make_unique<CTarvik11Doc>(*host, "Tarvik1");
    }
    // The document first: it observes the session the host owns, which talks to the board.
    void stop()
    {
        doc.reset();
        host.reset();
        board.reset();
    }
};
