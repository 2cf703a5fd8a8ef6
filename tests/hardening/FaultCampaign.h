#pragma once
// The fault campaign: sessions of the command-line front end on the in-process virtual board,
// each one booting the talker and running a scenario's commands under one line fault (a drop, a
// garble or a doubled byte, to the board or to the host, once or at random), and each ended the
// way a user ends one: the end of its commands, Ctrl-C, SIGTERM or SIGHUP (the flags the front
// end's signal handler sets, raised at a chosen byte of the traffic), RESET of the board, or the
// board going away. The boot runs under the fault too, so some sessions' boots fail. Afterwards
// the faults end, a fresh session boots (which presses RESET and writes back what the planted-byte
// journal lists) and reads all of the external RAM, the EEPROM and CONFIG, and compares them
// with what they should hold.
#include "SessionFaultRun.h"
#include "cli/CommandInterpreter.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

class VirtualBoard;

// How a session of the campaign ends.
enum class SessionEnd : uint8_t { Exit, Interrupt, Terminate, HangUp, Reset, BoardKilled };
// "exit", "SIGINT", ... for notes.
const char* sessionEndName(SessionEnd end);

// The campaign's figures.
struct CampaignFigures {
    uint64_t sessions = 0;        // sessions run under faults
    uint64_t bootsFailed = 0;     // of those, sessions whose boot failed
    uint64_t faults = 0;          // faults the line injected
    uint64_t commands = 0;        // commands run (the boot included)
    uint64_t failedCommands = 0;  // of those, ones that reported a failure
    uint64_t journalRestored = 0; // SWIs the journal listed when the fresh session booted (it writes
                                  // back each one the target still holds)
    uint64_t swisLeft = 0;        // SWIs in the target after the fresh session's boot
    uint64_t bytesLost = 0;       // bytes of the programs' code or of the user's writes that hold a
                                  // value no command could have left there (SWIs included)
    uint64_t strayWrites = 0;     // other bytes of the external RAM, the EEPROM or CONFIG that changed
    uint64_t wrongSuccesses = 0;  // commands that reported success although the target did not do
                                  // it: a write that is not there, a dump of bytes the target does
                                  // not hold, a hit at the wrong place, a talker command after a
                                  // failed boot or after the board was reset or went away
    uint64_t hangs = 0;           // sessions that took longer than their bound
    uint64_t bootRetries = 0;     // boots tried again after one failed before any fault came
    uint64_t checksFailed = 0;    // fresh sessions that could not boot or read the target back
    std::vector<std::string> notes; // what went wrong, one line each (at most a few dozen)

    CampaignFigures& operator+=(const CampaignFigures& other);
    // True when every judged figure is zero.
    bool clean() const;
    // One line of figures.
    std::string text() const;
};

// One session of the campaign.
struct CampaignSession {
    size_t scenario = 0;     // index into campaignScenarios()
    std::string fault;       // the line fault, in tarvik11-board's notation (empty: none)
    SessionEnd end = SessionEnd::Exit;
    uint64_t endAtByte = 0;  // the ending comes once this many bytes crossed the line (not Exit)
    uint64_t seed = 1;       // the fault's random draws
    uint64_t index = 0;      // the session's number in its campaign
    bool romBoot = true;     // the talker starts from the board's EEPROM, else by its download
    // "scenario / fault / ending" for notes.
    std::string label() const;
};

// The scenarios' commands, each run after a boot; addresses of the samples (loops, counter, flow).
struct CampaignScenario {
    std::string name;
    std::vector<std::string> commands; // "FILE" in a command stands for the examples folder
    std::vector<uint32_t> expectedHits;
};
std::vector<CampaignScenario> campaignScenarios();

// The session number index of a campaign with this seed, for scenarios whose fault-free sessions
// carry these bytes (one figure per scenario): a scenario, a fault and an ending drawn from the
// seed (a fault at a byte of the boot's download now and then, so that boots fail).
CampaignSession planSession(uint64_t seed, uint64_t index, const std::vector<uint64_t>& traffic);

// What each byte of the external RAM may hold during one session, and the commands' results
// judged as they come.
class CampaignJudge {
public:
    // ram: the external RAM ($8000-$FFFF) as the session starts; the programs' data is not judged.
    CampaignJudge(const Bytes& ram, const CampaignScenario& scenario);
    // One command's outcome (its line, success and printed text); talkerGone when the board was
    // reset or went away before it started.
    void command(int index, const std::string& line, bool ok, const std::string& text, bool talkerGone);

    TargetModel model;
    std::set<uint32_t> written;     // addresses a command wrote
    std::vector<std::string> wrong; // one line per wrong success
    const CampaignScenario& scenario;
    bool booted = false;

private:
    void write(uint32_t address, const Bytes& bytes, bool ok, int index);
};

class FaultCampaign {
public:
    // workDir holds the board's EEPROM file; the planted-byte journals go there too (the caller
    // points XDG_STATE_HOME at it). readWaitMs: the sessions' read wait.
    FaultCampaign(std::string workDir, int readWaitMs);
    ~FaultCampaign();

    // Starts the board, loads the samples and runs every scenario once without faults (each
    // must end clean); false with a reason.
    bool prepare(std::string* error);
    // planSession for the scenarios as measured by prepare.
    CampaignSession plan(uint64_t seed, uint64_t index) const;
    // Runs the session and the fresh session's check; the figures of both.
    CampaignFigures run(const CampaignSession& session);

    // Bytes both ways of a scenario's fault-free session (after prepare).
    uint64_t trafficOf(size_t scenario) const { return traffic_.at(scenario); }

private:
    CommandInterpreter::Settings sessionSettings(int readWaitMs) const;
    // Presses the board's RESET and waits until the board has taken it.
    void pressReset();
    bool startBoard(std::string* error);
    // Boots a fresh session without faults, reads the target back into snapshot and loads any
    // sample whose code differs; false (with why) when that failed.
    bool check(Bytes& snapshot, std::string& why);
    void note(CampaignFigures& f, const std::string& text);

    std::string workDir_;
    int readWaitMs_;
    std::unique_ptr<VirtualBoard> board_;
    Bytes baseline_;                 // the external RAM, the EEPROM and CONFIG before a session
    std::vector<MemoryImage> code_;  // the samples' code as built
    std::vector<uint64_t> traffic_;  // by scenario
    uint64_t lastTraffic_ = 0;       // bytes both ways of the last session
};
