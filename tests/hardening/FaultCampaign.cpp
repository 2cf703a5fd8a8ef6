#include "FaultCampaign.h"

#include "cli/CommandInterpreter.h"
#include "engine/DebugEngine.h"
#include "engine/PlantJournal.h"
#include "sim/VirtualBoard.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxNotes = 40;
constexpr uint32_t kRamFirst = 0x8000, kRamSize = 0x8000; // the board's external RAM
constexpr uint32_t kConfig = 0x103F;
// Bytes the samples change while they run: loops' total and buffer, counter's count, and the
// stack all three set up below $E000 (the SWI of a hit pushes the registers there).
constexpr std::pair<uint32_t, uint32_t> kProgramData[] = {{0xC026, 0xC037}, {0xCC13, 0xCC15}, {0xDF00, 0xE000}};
// A session that takes longer than this hangs.
constexpr int64_t kSessionBoundMs = 30000;
constexpr int kCheckBoots = 3;
constexpr int kBootRetries = 2;
constexpr int kPlainAttempts = 3;
constexpr auto kSettleBeforeReset = std::chrono::milliseconds(150);
// A single fault lands in the boot's download (about 257 bytes each way) once in this many sessions.
constexpr uint64_t kBootFaultShare = 4;
constexpr uint64_t kBootBytes = 300;
// The talker's download through the boot loader runs at 1200 baud in real time (over two seconds);
// the start-up copy in the board's EEPROM boots with one character. Sessions boot from EEPROM
// except those whose fault is meant for the download.
// The board's CONFIG has the EEPROM on; a download boots with it on so that CONFIG stays as it
// is (the start-up in EEPROM reads no CONFIG and counts the EEPROM as off, which keeps it too).
constexpr const char* kBoot = "boot --eeprom on --mode special-test";
constexpr const char* kRomBoot = "boot --rom --mode special-test";
// Commands that need the talker: after a failed boot, or once the board was reset or went
// away, none of them may report success.
const std::set<std::string> kTalkerCommands = {"dump", "regs", "set", "fill", "load", "run",
                                               "trace", "step", "stop", "wait"};
constexpr const char* kFaultKinds[] = {"drop", "garble", "duplicate"};
constexpr const char* kDirections[] = {"to-board", "to-host"};

bool programData(uint32_t address)
{
    for (const auto& [first, end] : kProgramData)
        if (address >= first && address < end)
            return true;
    return false;
}

std::string examplesPath(const std::string& command)
{
    const size_t at = command.find("FILE/");
    return at == std::string::npos ? command
                                    : command.substr(0, at) + TARVIK11_EXAMPLES_DIR + command.substr(at + 4);
}

Bytes fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "$%04X", value & 0xFFFF);
    return text;
}

uint64_t mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::vector<std::string> words(const std::string& line)
{
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

uint32_t hexNumber(const std::string& word)
{
    return static_cast<uint32_t>(std::stoul(word.substr(word[0] == '$' ? 1 : 0), nullptr, 16));
}

// The bytes of the dump lines in a command's output ("$C000  8E DF FF ..."): address, byte.
std::vector<std::pair<uint32_t, uint8_t>> dumpBytes(const std::string& text)
{
    std::vector<std::pair<uint32_t, uint8_t>> out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::vector<std::string> w = words(line);
        if (w.size() < 2 || w[0].size() != 5 || w[0][0] != '$' ||
            w[0].find_first_not_of("0123456789ABCDEFabcdef", 1) != std::string::npos)
            continue;
        const uint32_t address = hexNumber(w[0]);
        const size_t first = w[1] == "-" ? 2 : 1;
        for (size_t i = first; i < w.size() && i < first + 16; ++i) {
            if (w[i].size() != 2 || w[i].find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos)
                break;
            out.push_back({address + static_cast<uint32_t>(i - first), static_cast<uint8_t>(hexNumber(w[i]))});
        }
    }
    return out;
}

} // namespace

// ---------------------------------------------------------------- figures

const char* sessionEndName(SessionEnd end)
{
    switch (end) {
    case SessionEnd::Exit: return "exit";
    case SessionEnd::Interrupt: return "SIGINT";
    case SessionEnd::Terminate: return "SIGTERM";
    case SessionEnd::HangUp: return "SIGHUP";
    case SessionEnd::Reset: return "RESET";
    case SessionEnd::BoardKilled: return "board killed";
    }
    return "?";
}

std::string CampaignSession::label() const
{
    std::string text = "#" + std::to_string(index) + " " + campaignScenarios().at(scenario).name + (romBoot ? "" : " (boot by download)") + " / " +
                       (fault.empty() ? "no fault" : fault);
    if (!fault.empty() && fault.find("p=") != std::string::npos)
        text += " seed " + std::to_string(seed);
    text += std::string(" / ") + sessionEndName(end);
    if (end != SessionEnd::Exit)
        text += " at byte " + std::to_string(endAtByte);
    return text;
}

CampaignFigures& CampaignFigures::operator+=(const CampaignFigures& o)
{
    sessions += o.sessions;
    bootsFailed += o.bootsFailed;
    faults += o.faults;
    commands += o.commands;
    failedCommands += o.failedCommands;
    journalRestored += o.journalRestored;
    swisLeft += o.swisLeft;
    bytesLost += o.bytesLost;
    strayWrites += o.strayWrites;
    wrongSuccesses += o.wrongSuccesses;
    hangs += o.hangs;
    bootRetries += o.bootRetries;
    checksFailed += o.checksFailed;
    for (const auto& n : o.notes)
        if (notes.size() < kMaxNotes)
            notes.push_back(n);
    return *this;
}

bool CampaignFigures::clean() const
{
    return swisLeft == 0 && bytesLost == 0 && strayWrites == 0 && wrongSuccesses == 0 && hangs == 0 &&
           checksFailed == 0;
}

std::string CampaignFigures::text() const
{
    return "sessions " + std::to_string(sessions) + " (boot failed in " + std::to_string(bootsFailed) +
           "), faults injected " + std::to_string(faults) + ", commands " + std::to_string(commands) + " (" +
           std::to_string(failedCommands) + " failed), SWIs in the journal at the next boot " +
           std::to_string(journalRestored) + ", SWIs left " + std::to_string(swisLeft) + ", bytes lost " +
           std::to_string(bytesLost) + ", stray writes " + std::to_string(strayWrites) + ", wrong successes " +
           std::to_string(wrongSuccesses) + ", hangs " + std::to_string(hangs) + ", boots retried " +
           std::to_string(bootRetries) + ", failed checks " +
           std::to_string(checksFailed);
}

// ---------------------------------------------------------------- scenarios

std::vector<CampaignScenario> campaignScenarios()
{
    // loops at $C000 (breakpoints at fill $C011 and outer $C01B), counter at $CC00 (its loop at
    // $CC0A never runs $CC00 again), flow at $D800.
    return {
        {"load over a running program's breakpoints",
         {"break $c011", "break $c01b", "break $cc00", "run $cc0a", "load FILE/loops.s19", "dump $c000 $c02f",
          "stop"},
         {}},
        {"breakpoints and a hit",
         {"break $c011", "break $c01b", "run $c000", "wait 2000", "regs", "dump $c000 $c02f"},
         {0xC011}},
        {"trace steps", {"break $d812", "trace $d800", "step 8", "regs", "dump $d800 $d82f"}, {}},
        {"writes over planted breakpoints",
         {"break $cc00", "break $c011", "run $cc0a", "set $cc00 $a5", "fill $c010 $c01c $c3", "dump $c000 $c02f",
          "stop"},
         {}},
    };
}

// ---------------------------------------------------------------- the judge of one session

CampaignJudge::CampaignJudge(const Bytes& ram, const CampaignScenario& s) : scenario(s)
{
    for (uint32_t i = 0; i < kRamSize && i < ram.size(); ++i)
        if (!programData(kRamFirst + i))
            model.known(kRamFirst + i, Bytes{ram[i]});
}

void CampaignJudge::write(uint32_t address, const Bytes& bytes, bool ok, int index)
{
    model.written(address, bytes, ok, index);
    for (size_t i = 0; i < bytes.size(); ++i)
        written.insert(address + static_cast<uint32_t>(i));
}

void CampaignJudge::command(int index, const std::string& line, bool ok, const std::string& text, bool talkerGone)
{
    const std::vector<std::string> w = words(line);
    const std::string& name = w.at(0);
    if (name == "boot") {
        booted = ok;
        return;
    }
    if (ok && kTalkerCommands.count(name) && (!booted || talkerGone)) {
        wrong.push_back(line + " reported success " +
                        (!booted ? "after the boot failed" : "after the board was reset or went away"));
        return;
    }
    if (name == "set" && w.size() == 3)
        write(hexNumber(w[1]), Bytes{static_cast<uint8_t>(hexNumber(w[2]))}, ok, index);
    else if (name == "fill" && w.size() == 4)
        write(hexNumber(w[1]), Bytes(hexNumber(w[2]) - hexNumber(w[1]) + 1, static_cast<uint8_t>(hexNumber(w[3]))),
              ok, index);
    else if (name == "load" && w.size() == 2)
        for (const MemoryImage& record : readS19Images(w[1]))
            write(record.address, record.bytes, ok, index);
    if (!ok)
        return;
    if (name == "dump") {
        uint64_t bad = 0;
        std::string first;
        for (const auto& [address, byte] : dumpBytes(text))
            if (!model.allows(address, byte) && bad++ == 0)
                first = hex(byte).substr(3) + " at " + hex(address);
        if (bad)
            wrong.push_back(line + " showed " + std::to_string(bad) + " bytes the target does not hold, first $" +
                            first);
    }
    if (name == "wait") {
        const size_t at = text.find("Breakpoint reached at $");
        if (at != std::string::npos) {
            const uint32_t pc = hexNumber(text.substr(at + 23, 4));
            if (std::find(scenario.expectedHits.begin(), scenario.expectedHits.end(), pc) ==
                scenario.expectedHits.end())
                wrong.push_back(line + " reported a hit at " + hex(pc));
        }
    }
}

// ---------------------------------------------------------------- the campaign

FaultCampaign::FaultCampaign(std::string workDir, int readWaitMs) : workDir_(std::move(workDir)), readWaitMs_(readWaitMs)
{
}

FaultCampaign::~FaultCampaign() = default;

void FaultCampaign::note(CampaignFigures& f, const std::string& text)
{
    if (f.notes.size() < kMaxNotes)
        f.notes.push_back(text);
}

bool FaultCampaign::startBoard(std::string* error)
{
    board_.reset();
    VirtualBoardOptions options;
    options.speed = 0;
    options.eepromFile = workDir_ + "/campaign-eeprom.bin";
    // A board on a pseudo-terminal outlives the sessions that talk to it, as a real one does, so
    // the sessions keep the planted-byte journal of its device (a link of fixed name: a new board
    // after a killed one is found under the same name).
    options.line = BoardLineKind::PseudoTerminal;
    options.linkPath = workDir_ + "/board";
    board_ = std::make_unique<VirtualBoard>(options);
    return board_->start(error);
}

bool FaultCampaign::prepare(std::string* error)
{
    // The EEPROM holds more than erased cells, so that a stray write to it shows.
    if (!writeRomTalkerImage(workDir_ + "/campaign-eeprom.bin", error, true) || !startBoard(error))
        return false;
    for (const char* file : {"loops.s19", "counter.s19", "flow.s19"}) {
        const MemoryImage image = spanOf(readS19Images(std::string(TARVIK11_EXAMPLES_DIR) + "/" + file), 0);
        if (image.bytes.empty()) {
            *error = std::string("the sample ") + file + " is missing";
            return false;
        }
        code_.push_back(image);
    }
    baseline_.clear();
    std::string why;
    if (!check(baseline_, why)) {
        *error = "preparing the target: " + why;
        return false;
    }
    // Each scenario once without faults: it must succeed throughout and leave the target clean.
    traffic_.clear();
    // (A command that fails on a machine so loaded that a reply came after the read wait is
    // tried again with the whole session.)
    for (size_t s = 0; s < campaignScenarios().size(); ++s) {
        CampaignSession plain;
        plain.scenario = s;
        CampaignFigures f;
        for (int attempt = 0; attempt < kPlainAttempts; ++attempt) {
            f = run(plain);
            if (!f.clean() || f.failedCommands == 0)
                break;
        }
        traffic_.push_back(lastTraffic_);
        if (!f.clean() || f.failedCommands != 0 || f.bootsFailed != 0) {
            *error = "without faults, '" + campaignScenarios()[s].name + "' goes wrong: " + f.text();
            for (const std::string& n : f.notes)
                *error += "\n    " + n;
            return false;
        }
    }
    return true;
}

CampaignSession FaultCampaign::plan(uint64_t seed, uint64_t index) const
{
    return planSession(seed, index, traffic_);
}

CampaignSession planSession(uint64_t seed, uint64_t index, const std::vector<uint64_t>& traffic_)
{
    uint64_t r = mix(seed * 0x100000001B3ull + index);
    const auto draw = [&r](uint64_t n) {
        r = mix(r);
        return n == 0 ? 0 : r % n;
    };
    CampaignSession s;
    s.seed = seed + index;
    s.index = index;
    s.scenario = static_cast<size_t>(draw(traffic_.size()));
    const uint64_t traffic = std::max<uint64_t>(traffic_.at(s.scenario), kBootBytes);
    const char* kind = kFaultKinds[draw(std::size(kFaultKinds))];
    const char* direction = kDirections[draw(std::size(kDirections))];
    if (draw(3) == 0) {
        s.fault = std::string(kind) + ",p=0.003,dir=" + direction;
    } else if (draw(kBootFaultShare) == 0) {
        s.romBoot = false;
        s.fault = std::string(kind) + ",after=" + std::to_string(1 + draw(kBootBytes)) + ",dir=" + direction;
    } else {
        // A fault counts the bytes of its own direction: about half the traffic.
        s.fault = std::string(kind) + ",after=" + std::to_string(1 + draw(traffic / 2)) + ",dir=" + direction;
    }
    s.end = static_cast<SessionEnd>(draw(6));
    s.endAtByte = 1 + draw(traffic + (s.romBoot ? 0 : 2 * kBootBytes));
    return s;
}

// The sessions reach the board through its device as a real board's port, so the session keeps
// the board's journal and the line's read wait is the one given (not the in-process board's).
CommandInterpreter::Settings FaultCampaign::sessionSettings(int readWaitMs) const
{
    CommandInterpreter::Settings settings;
    settings.port = board_->devicePath();
    settings.delayMs = readWaitMs;
    settings.talkerFile = TARVIK11_TALKER_FILE;
    // The move to the fast line does not take on the board's pseudo-terminal at full speed and
    // costs close to a second a boot before it falls back: the sessions stay at 9600 baud.
    settings.fastLine = false;
    return settings;
}

void FaultCampaign::pressReset()
{
    // The user's pause before the button: a byte the last session sent still on its way would
    // reach the boot loader after the restart and spoil its synchronisation.
    std::this_thread::sleep_for(kSettleBeforeReset);
    board_->pressReset();
    const auto until = Clock::now() + std::chrono::seconds(2);
    while (board_->resetPending() && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

bool FaultCampaign::check(Bytes& snapshot, std::string& why)
{
    if (board_)
        board_->setFaults({}, 1);
    std::ostringstream out;
    CommandInterpreter::forgetQuit();
    CommandInterpreter ci(sessionSettings(std::max(readWaitMs_, 100)), out);
    bool booted = false;
    for (int attempt = 0; attempt <= kCheckBoots && !booted; ++attempt) {
        pressReset();
        booted = ci.execute(attempt < kCheckBoots ? kRomBoot : kBoot);
    }
    if (std::getenv("TARVIK11_CAMPAIGN_TRACE"))
        std::fprintf(stderr, "[check's boot]\n%s", out.str().c_str());
    if (!booted) {
        why = "no fresh session booted: " + out.str();
        return false;
    }
    // Read twice when the first read fails: on a machine loaded by other work a reply of the
    // fault-free line can come after the read wait.
    Bytes ram(kRamSize);
    uint8_t config = 0;
    bool read = false;
    for (int attempt = 0; attempt < 2 && !read; ++attempt)
        read = ci.memory().readBlock(kRamFirst, kRamSize, ram.data()) == kTalkerOk &&
               ci.memory().readBlock(kConfig, 1, &config) == kTalkerOk;
    if (!read) {
        why = "reading the target back failed";
        return false;
    }
    snapshot = ram;
    snapshot.push_back(config);
    // The samples' code as built, for the next session.
    for (const MemoryImage& image : code_) {
        const size_t at = image.address - kRamFirst;
        if (std::equal(image.bytes.begin(), image.bytes.end(), ram.begin() + static_cast<long>(at)))
            continue;
        const std::string file = image.address == 0xC000 ? "loops.s19" : image.address == 0xCC00 ? "counter.s19"
                                                                                                  : "flow.s19";
        if (!ci.execute(examplesPath("load FILE/" + file))) {
            why = "loading " + file + " failed";
            return false;
        }
    }
    return ci.finish();
}

CampaignFigures FaultCampaign::run(const CampaignSession& plan)
{
    CampaignFigures f;
    const CampaignScenario scenario = campaignScenarios().at(plan.scenario);
    const bool faulty = !plan.fault.empty();
    if (baseline_.size() != kRamSize + 1) {
        ++f.checksFailed;
        note(f, plan.label() + ": no target state to start from");
        return f;
    }
    // What the session starts from: the samples as built over the last check's read-back.
    Bytes ram(baseline_.begin(), baseline_.begin() + kRamSize);
    for (const MemoryImage& image : code_)
        std::copy(image.bytes.begin(), image.bytes.end(), ram.begin() + (image.address - kRamFirst));
    const uint8_t config = baseline_.back();
    const std::string eepromFile = workDir_ + "/campaign-eeprom.bin";
    const Bytes eeprom = fileBytes(eepromFile);
    CampaignJudge judge(ram, scenario);

    std::vector<std::string> lines{plan.romBoot ? kRomBoot : kBoot};
    for (const std::string& c : scenario.commands)
        lines.push_back(examplesPath(c));

    CommandInterpreter::forgetQuit();
    board_->setFaults(faulty ? std::vector<FaultRule>{faultOf(plan.fault)} : std::vector<FaultRule>{}, plan.seed);
    std::atomic<int> started{0};      // commands started so far
    std::atomic<int> goneFrom{-1};    // the first command started after a RESET or the board's end
    std::atomic<bool> done{false};
    std::atomic<bool> boardKilled{false};
    std::thread ending;
    if (plan.end != SessionEnd::Exit) {
        ending = std::thread([&] {
            for (;;) {
                if (done)
                    return;
                const LineFaults::Stats line = board_->faultStats();
                if (line.bytesToBoard + line.bytesToHost >= plan.endAtByte)
                    break;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            // What the front end's signal handler does for each signal.
            switch (plan.end) {
            case SessionEnd::Interrupt:
                if (!CommandInterpreter::interruptWait())
                    CommandInterpreter::requestQuit(SIGINT);
                break;
            case SessionEnd::Terminate:
                CommandInterpreter::requestQuit(SIGTERM);
                break;
            case SessionEnd::HangUp:
                CommandInterpreter::requestQuit(SIGHUP);
                break;
            case SessionEnd::Reset: {
                board_->pressReset();
                const auto until = Clock::now() + std::chrono::seconds(2);
                while (board_->resetPending() && Clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                goneFrom = started.load();
                break;
            }
            case SessionEnd::BoardKilled:
                boardKilled = true;
                board_->stop();
                goneFrom = started.load();
                break;
            case SessionEnd::Exit:
                break;
            }
        });
    }

    const Clock::time_point start = Clock::now();
    std::ostringstream out;
    {
        CommandInterpreter ci(sessionSettings(readWaitMs_), out);
        pressReset(); // the user's press before the boot
        for (size_t i = 0; i < lines.size() && !CommandInterpreter::quitRequested(); ++i) {
            started = static_cast<int>(i) + 1;
            const size_t from = out.str().size();
            const Clock::time_point commandStart = Clock::now();
            bool ok = ci.execute(lines[i]);
            // A boot that failed before any fault was injected met a byte of the last session
            // still on its way at RESET (or a board thread the loaded machine held up): the user
            // presses RESET again.
            for (int retry = 0; i == 0 && !ok && retry < kBootRetries && board_->faultStats().total() == 0 &&
                                !CommandInterpreter::quitRequested() && goneFrom.load() < 0;
                 ++retry) {
                ++f.bootRetries;
                pressReset();
                ok = ci.execute(lines[i]);
            }
            if (std::getenv("TARVIK11_CAMPAIGN_TRACE"))
                out << "[" << lines[i] << ": "
                    << std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - commandStart).count()
                    << " ms]\n";
            ++f.commands;
            f.failedCommands += ok ? 0 : 1;
            if (i == 0 && !ok)
                ++f.bootsFailed;
            const int gone = goneFrom.load();
            judge.command(static_cast<int>(i), lines[i], ok, out.str().substr(from), gone >= 0 && static_cast<int>(i) >= gone);
        }
        (void)ci.finish();
        done = true;
        if (ending.joinable())
            ending.join();
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    if (std::getenv("TARVIK11_CAMPAIGN_TRACE"))
        std::fprintf(stderr, "---- %s (%lld ms)\n%s", plan.label().c_str(), static_cast<long long>(ms), out.str().c_str());
    ++f.sessions;
    if (!boardKilled) {
        const LineFaults::Stats line = board_->faultStats();
        f.faults += line.total();
        lastTraffic_ = line.bytesToBoard + line.bytesToHost;
    }
    if (ms > kSessionBoundMs) {
        ++f.hangs;
        note(f, plan.label() + ": the session took " + std::to_string(ms) + " ms");
    }

    // The fresh session: on the same board, or after the board went away on a new one with the
    // same EEPROM (its RAM starts anew, so only the EEPROM and CONFIG can be judged).
    std::string why;
    if (boardKilled && !startBoard(&why)) {
        ++f.checksFailed;
        note(f, plan.label() + ": a new board did not start: " + why);
        return f;
    }
    {
        PlantJournal journal;
        journal.bind(board_->devicePath());
        f.journalRestored += journal.read().size();
    }
    Bytes after;
    const Clock::time_point checkStart = Clock::now();
    const bool checked = check(after, why);
    if (std::getenv("TARVIK11_CAMPAIGN_TRACE"))
        std::fprintf(stderr, "[check: %lld ms]\n", static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - checkStart).count()));
    if (!checked) {
        ++f.checksFailed;
        note(f, plan.label() + ": the fresh session: " + why);
        // The next session starts from a board that works.
        if (startBoard(&why) && check(baseline_, why))
            return f;
        baseline_.clear();
        return f;
    }
    for (const std::string& w : judge.wrong)
        note(f, plan.label() + ": " + w);
    f.wrongSuccesses += judge.wrong.size();

    uint64_t stray = 0, lost = 0, swis = 0;
    std::string firstStray, firstLost;
    if (!boardKilled) {
        TargetModel::Findings found;
        judge.model.compare(kRamFirst, Bytes(after.begin(), after.begin() + kRamSize), found);
        for (uint32_t a : found.differing) {
            const bool code = judge.written.count(a) > 0 ||
                              std::any_of(code_.begin(), code_.end(), [a](const MemoryImage& m) {
                                  return a >= m.address && a < m.address + m.bytes.size();
                              });
            const std::string where = hex(a) + " holds " + hex(after[a - kRamFirst]).substr(3);
            if (code && lost++ == 0)
                firstLost = where;
            if (!code && stray++ == 0)
                firstStray = where;
        }
        swis += found.swis.size();
        f.wrongSuccesses += found.brokenPromises.size();
        if (!found.brokenPromises.empty())
            note(f, plan.label() + ": " + std::to_string(found.brokenPromises.size()) +
                        " writes reported success but are not in the target");
    }
    if (after.back() != config) {
        ++stray;
        note(f, plan.label() + ": CONFIG holds $" + hex(after.back()).substr(3) + ", not $" + hex(config).substr(3));
    }
    const Bytes eepromNow = fileBytes(eepromFile);
    uint64_t eepromChanged = 0;
    for (size_t i = 0; i < std::min(eeprom.size(), eepromNow.size()); ++i)
        if (eeprom[i] != eepromNow[i] && eepromChanged++ == 0)
            note(f, plan.label() + ": the EEPROM changed, first its byte " + std::to_string(i));
    stray += eepromChanged;
    f.bytesLost += lost;
    f.strayWrites += stray;
    f.swisLeft += swis;
    if (lost)
        note(f, plan.label() + ": " + std::to_string(lost) + " bytes lost, first " + firstLost);
    if (stray)
        note(f, plan.label() + ": " + std::to_string(stray) + " stray writes, first " + firstStray);
    if (swis)
        note(f, plan.label() + ": " + std::to_string(swis) + " SWIs left");
    baseline_ = after;
    if (eepromChanged || after.back() != config) {
        // The next sessions start from the board as it was: a new one with the EEPROM image.
        if (!writeRomTalkerImage(eepromFile, &why, true) || !startBoard(&why) || !check(baseline_, why)) {
            ++f.checksFailed;
            note(f, plan.label() + ": the board could not be set up again: " + why);
            baseline_.clear();
        }
    }
    return f;
}
