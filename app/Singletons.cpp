#include "Singletons.h"
#include <string>

#ifdef TARVIK11_HAVE_LINK
#include "RegisterFrame.h"
#include "SerialPort.h"
#include "TalkerLink.h"
#include "TargetMemory.h"
#endif
#ifdef TARVIK11_HAVE_ENGINE
#include "DebugEngine.h"
#endif
#ifdef TARVIK11_HAVE_SIM
#include "VirtualBoard.h"
#endif

// Complete types for the unique_ptr members when a library is absent from the build.
#ifndef TARVIK11_HAVE_LINK
class SerialPort {};
class TalkerLink {};
class RegisterFrame {};
class TargetMemory {};
#endif
#ifndef TARVIK11_HAVE_ENGINE
class DebugEngine {};
#endif
#ifndef TARVIK11_HAVE_SIM
class VirtualBoard {};
#endif

namespace {
Singletons* g_instance = nullptr;
}

Singletons::Singletons()
{
#ifdef TARVIK11_HAVE_LINK
    port_ = std::make_unique<SerialPort>();
    port_->readWaitMs = 20;
    link_ = std::make_unique<TalkerLink>(*port_);
    // The engine uses the memory services for its EEPROM steps, so they are built just before it
    // (and therefore outlive it).
    memory_ = std::make_unique<TargetMemory>(*link_);
#ifdef TARVIK11_HAVE_ENGINE
    engine_ = std::make_unique<DebugEngine>(*link_, *memory_);
#endif
    registers_ = std::make_unique<RegisterFrame>(*link_);
#endif
    g_instance = this;
}

Singletons::~Singletons()
{
    g_instance = nullptr;
    registers_.reset();
    engine_.reset();
    memory_.reset();
    link_.reset();
#ifdef TARVIK11_HAVE_LINK
    if (port_)
        port_->close();
#endif
    port_.reset();
    board_.reset();
}

Singletons* Singletons::instance()
{
    return g_instance;
}

std::string Singletons::startVirtualBoard(std::string* error)
{
#ifdef TARVIK11_HAVE_SIM
    if (!board_) {
        // Real time, like a board on the desk: the program a user runs idles the board thread
        // instead of keeping a core busy.
        VirtualBoardOptions options;
        options.speed = 1.0;
        auto board = std::make_unique<VirtualBoard>(options);
        if (!board->start(error))
            return {};
        board_ = std::move(board);
    }
    return board_->devicePath();
#else
    if (error)
        *error = "this build has no virtual board";
    return {};
#endif
}

bool Singletons::pressVirtualReset()
{
#ifdef TARVIK11_HAVE_SIM
    if (board_) {
        board_->pressReset();
        return true;
    }
#endif
    return false;
}
