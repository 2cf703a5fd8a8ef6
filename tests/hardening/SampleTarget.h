#pragma once
// A board session with the talker booted and three sample programs loaded into the external
// RAM (loops at $C000, counter at $CC00, flow at $D800), and the checks a fault run ends with:
// the samples' code bytes as loaded, and no SWI of ours left planted.
#include "BoardSession.h"

#include <map>
#include <string>
#include <vector>

class SampleTarget {
public:
    // The samples' code areas (their data bytes, which the programs change, are left out).
    static constexpr uint32_t kLoops = 0xC000, kLoopsFill = 0xC011, kLoopsOuter = 0xC01B, kLoopsCodeEnd = 0xC026;
    static constexpr uint32_t kCounter = 0xCC00, kCounterCodeEnd = 0xCC13;

    SampleTarget(const std::string& workDir, BoardSession::Options options);

    // Starts the board, boots the talker from EEPROM, loads the samples and records their code;
    // false with a reason on any failure.
    bool prepare(std::string* error);

    // The full path of a built sample file ("loops.s19").
    static std::string example(const std::string& name);
    // A symbol's address from the flow sample's map.
    uint32_t flow(const std::string& symbol) const;

    // The code areas read back now, compared with the recorded ones: the addresses that differ
    // (an unreadable area counts whole) and, of those, the ones holding an SWI.
    struct Damage {
        std::vector<uint32_t> differing;
        std::vector<uint32_t> swis;
        bool unreadable = false;
    };
    Damage damage();
    // True when no breakpoint or tracepoint record is planted.
    bool nothingPlanted() const;
    // Frees every breakpoint record (writing back planted SWIs first); the first failure.
    TalkerStatus clearBreakpoints();

    BoardSession session;
    DebugEngine& engine;
    std::vector<MemoryImage> code; // loops, counter and flow code as loaded

private:
    std::map<std::string, uint32_t> flowSymbols_;
};
