#include "dap/DapAdapter.h"

#include "engine/CommandTexts.h"
#include "hc11/InstructionDecoder.h"
#include "session/Expression.h"
#include "sim/VirtualBoard.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

using CommandText::format;

namespace {

constexpr int kThreadId = 1;
constexpr int kRegistersReference = 1;
constexpr int kFlagsReference = 2;
constexpr int kIoReference = 3;
constexpr uint32_t kAddressSpace = 0x10000;
constexpr uint32_t kMaxReadBytes = 0x10000;
constexpr uint32_t kMaxInstructions = 4096;
constexpr const char* kRunning = "The program is running: pause it first";
constexpr const char* kNotLaunched = "No program has been launched";
constexpr const char* kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64(const std::vector<uint8_t>& bytes)
{
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const uint32_t n = (uint32_t{bytes[i]} << 16) | (i + 1 < bytes.size() ? uint32_t{bytes[i + 1]} << 8 : 0) |
                           (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        out += kBase64[(n >> 18) & 63];
        out += kBase64[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? kBase64[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kBase64[n & 63] : '=';
    }
    return out;
}

// The bytes of a base64 text, or nothing when it is none.
std::optional<std::vector<uint8_t>> unbase64(const std::string& text)
{
    std::vector<uint8_t> out;
    uint32_t bits = 0;
    int count = 0;
    size_t padding = 0;
    for (char c : text) {
        if (c == '=') {
            ++padding;
            continue;
        }
        const char* at = std::strchr(kBase64, c);
        if (!at || c == '\0' || padding > 0)
            return std::nullopt;
        bits = (bits << 6) | static_cast<uint32_t>(at - kBase64);
        if (++count == 4) {
            out.push_back(static_cast<uint8_t>(bits >> 16));
            out.push_back(static_cast<uint8_t>(bits >> 8));
            out.push_back(static_cast<uint8_t>(bits));
            bits = 0;
            count = 0;
        }
    }
    if (count == 1 || padding > 2)
        return std::nullopt;
    if (count == 2)
        out.push_back(static_cast<uint8_t>(bits >> 4));
    if (count == 3) {
        out.push_back(static_cast<uint8_t>(bits >> 10));
        out.push_back(static_cast<uint8_t>(bits >> 2));
    }
    return out;
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string hex(uint32_t value) { return format("$%04x", value & 0xFFFF); }

// A string member of an object, or empty.
std::string text(const nlohmann::json& object, const char* name)
{
    const auto it = object.find(name);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// An integer member of an object, or fallback.
int64_t integer(const nlohmann::json& object, const char* name, int64_t fallback)
{
    const auto it = object.find(name);
    return it != object.end() && it->is_number_integer() ? it->get<int64_t>() : fallback;
}

} // namespace

// What the session reports while a command runs: messages to the editor's console, stops kept
// for the adapter to handle once the command is done.
class DapAdapter::Observer : public SessionObserver {
public:
    explicit Observer(DapAdapter& owner) : owner_(owner) {}
    void message(const std::string& text) override { owner_.output(text); }
    void programStopped(const BreakpointHit& hit) override { owner_.stops_.push_back(hit); }
    void breakpointLogged(uint32_t, const std::string& text, bool error) override
    {
        owner_.output(text, error ? "stderr" : "console");
    }

private:
    DapAdapter& owner_;
};

DapAdapter::DapAdapter(Sender send) : send_(std::move(send)), observer_(std::make_unique<Observer>(*this))
{
    session_.setObserver(observer_.get());
    session_.setKeepBreakpoints(true); // an editor's breakpoints stay set across hits
}

DapAdapter::~DapAdapter() { session_.setObserver(nullptr); }

// ---------------------------------------------------------------- messages

void DapAdapter::respond(const Json& request, bool success, Json body, const std::string& message)
{
    Json response{{"seq", sequence_++},
                  {"type", "response"},
                  {"request_seq", integer(request, "seq", 0)},
                  {"command", text(request, "command")},
                  {"success", success}};
    if (!success) {
        response["message"] = message;
        body = Json{{"error", {{"id", 1}, {"format", message}, {"showUser", true}}}};
    }
    if (!body.empty())
        response["body"] = body;
    send_(response);
}

void DapAdapter::event(const std::string& name, Json body)
{
    Json message{{"seq", sequence_++}, {"type", "event"}, {"event", name}};
    if (!body.empty())
        message["body"] = body;
    send_(message);
}

void DapAdapter::output(const std::string& line, const char* category)
{
    std::string shown = line;
    if (shown.empty() || shown.back() != '\n')
        shown += '\n';
    event("output", {{"category", category}, {"output", shown}});
}

void DapAdapter::handle(const Json& message)
{
    if (!message.is_object() || text(message, "type") != "request")
        return;
    using Handler = void (DapAdapter::*)(const Json&);
    static const std::map<std::string, Handler> kHandlers{
        {"initialize", &DapAdapter::initialize},
        {"launch", &DapAdapter::launch},
        {"setBreakpoints", &DapAdapter::setBreakpoints},
        {"setFunctionBreakpoints", &DapAdapter::setFunctionBreakpoints},
        {"setInstructionBreakpoints", &DapAdapter::setInstructionBreakpoints},
        {"configurationDone", &DapAdapter::configurationDone},
        {"threads", &DapAdapter::threads},
        {"stackTrace", &DapAdapter::stackTrace},
        {"scopes", &DapAdapter::scopes},
        {"variables", &DapAdapter::variables},
        {"setVariable", &DapAdapter::setVariable},
        {"evaluate", &DapAdapter::evaluate},
        {"continue", &DapAdapter::continueRequest},
        {"stepOut", &DapAdapter::stepOut},
        {"pause", &DapAdapter::pause},
        {"readMemory", &DapAdapter::readMemory},
        {"writeMemory", &DapAdapter::writeMemory},
        {"disassemble", &DapAdapter::disassemble},
        {"disconnect", &DapAdapter::disconnect},
    };
    const std::string command = text(message, "command");
    if (command == "next" || command == "stepIn") {
        lineStep(message, command == "next" ? SourceStep::Kind::Over : SourceStep::Kind::Into);
    } else if (const auto it = kHandlers.find(command); it != kHandlers.end()) {
        if (!launched_ && command != "initialize" && command != "launch" && command != "disconnect" &&
            command != "threads")
            respond(message, false, {}, kNotLaunched);
        else
            (this->*it->second)(message);
    } else {
        respond(message, false, {}, "Unsupported request '" + command + "'");
    }
    poll(); // stops that the command met
}

// ---------------------------------------------------------------- stops

bool DapAdapter::running() const { return session_.runState() == RunState::Running; }

void DapAdapter::poll()
{
    if (session_.awaitingHit())
        (void)session_.pollForHit();
    else if (running())
        session_.pollFreeRunningStop();
    while (!stops_.empty()) {
        const BreakpointHit hit = stops_.front();
        stops_.erase(stops_.begin());
        stopped(hit);
    }
}

void DapAdapter::stopped(const BreakpointHit& hit)
{
    switch (hit.kind) {
    case BreakpointHitKind::None:
        if (hit.status != kTalkerOk) {
            step_.reset();
            output(talkerStatusText(hit.status), "stderr");
            event("terminated");
        }
        return;
    case BreakpointHitKind::ConfirmFailed:
        return; // the engine's message has gone out; the program runs on
    case BreakpointHitKind::StepDone:
        if (step_ && advanceStep())
            return;
        syncBreakpoints();
        sendStopped("step", "");
        return;
    case BreakpointHitKind::Hit: {
        // The session judged the hit's conditions: only a hit that stops is reported.
        step_.reset();
        std::vector<int> ids;
        std::string reason = "breakpoint";
        auto collect = [&](const std::vector<Breakpoint>& list, const char* kindReason) {
            for (const Breakpoint& b : list)
                if (b.address == hit.address) {
                    if (ids.empty())
                        reason = kindReason;
                    ids.push_back(b.id);
                }
        };
        for (const auto& [path, list] : sourceBreakpoints_)
            collect(list, "breakpoint");
        collect(functionBreakpoints_, "function breakpoint");
        collect(instructionBreakpoints_, "instruction breakpoint");
        syncBreakpoints();
        sendStopped(reason, format(CommandText::kBreakpointReached, hit.address), ids);
        return;
    }
    case BreakpointHitKind::NotInTable:
    case BreakpointHitKind::Stopped: {
        step_.reset();
        syncBreakpoints();
        std::vector<uint8_t> byte;
        const bool read = session_.readBytes(hit.address & 0xFFFF, 1, byte).ok();
        if (read && byte[0] == DebugEngine::kSwiOpcode)
            sendStopped("breakpoint", format("The program's own SWI at $%04x", hit.address));
        else if (read && !InstructionDecoder::decode(byte[0]).valid)
            sendStopped("exception",
                        format("Illegal opcode $%02x at $%04x", static_cast<unsigned>(byte[0]), hit.address));
        else
            sendStopped("exception", format(CommandText::kProgramStopped, hit.address));
        return;
    }
    case BreakpointHitKind::RestoreFailed:
        step_.reset();
        sendStopped("exception", talkerStatusText(hit.status));
        return;
    }
}

bool DapAdapter::takeRule(const Json& asked, Breakpoint& b)
{
    b.rule.condition = text(asked, "condition");
    b.rule.hitCondition = text(asked, "hitCondition");
    b.rule.logMessage = text(asked, "logMessage");
    b.rule.tag = b.id;
    if (const auto why = breakpointRuleError(session_, b.rule)) {
        b.message = *why;
        b.address.reset();
        return false;
    }
    return true;
}

void DapAdapter::handRulesOver()
{
    std::map<uint32_t, std::vector<BreakpointRule>> byAddress;
    auto collect = [&](const std::vector<Breakpoint>& list) {
        for (const Breakpoint& b : list)
            if (b.address)
                byAddress[*b.address].push_back(b.rule);
    };
    for (const auto& [path, list] : sourceBreakpoints_)
        collect(list);
    collect(functionBreakpoints_);
    collect(instructionBreakpoints_);
    for (auto& [address, rules] : byAddress)
        session_.setBreakpointRules(address, std::move(rules));
}

void DapAdapter::sendStopped(const std::string& reason, const std::string& description, const std::vector<int>& hitIds)
{
    Json body{{"reason", reason}, {"threadId", kThreadId}, {"allThreadsStopped", true}};
    if (!description.empty())
        body["description"] = description;
    if (!hitIds.empty())
        body["hitBreakpointIds"] = hitIds;
    event("stopped", body);
}

uint32_t DapAdapter::pc() const { return session_.stoppedPC().value_or(session_.currentPC()) & 0xFFFF; }

bool DapAdapter::refuseWhileRunning(const Json& request)
{
    if (!running())
        return false;
    respond(request, false, {}, kRunning);
    return true;
}

// ---------------------------------------------------------------- start-up

void DapAdapter::initialize(const Json& request)
{
    respond(request, true,
            {{"supportsConfigurationDoneRequest", true},
             {"supportsFunctionBreakpoints", true},
             {"supportsInstructionBreakpoints", true},
             {"supportsSetVariable", true},
             {"supportsEvaluateForHovers", true},
             {"supportsReadMemoryRequest", true},
             {"supportsWriteMemoryRequest", true},
             {"supportsDisassembleRequest", true},
             {"supportsTerminateRequest", false},
             {"supportsConditionalBreakpoints", true},
             {"supportsHitConditionalBreakpoints", true},
             {"supportsLogPoints", true},
             {"supportsSteppingGranularity", false}});
}

void DapAdapter::launch(const Json& request)
{
    const Json args = request.value("arguments", Json::object());
    if (launched_) {
        respond(request, false, {}, "A program has been launched already");
        return;
    }
    const std::string program = text(args, "program");
    if (program.empty()) {
        respond(request, false, {}, "launch needs \"program\": the ELF or S19 file to debug");
        return;
    }
    BootSettings boot;
    boot.port = text(args, "port").empty() ? "board" : text(args, "port");
    const std::string mode = text(args, "chipMode");
    if (!mode.empty() && mode != "bootstrap" && mode != "special-test") {
        respond(request, false, {}, "chipMode is \"bootstrap\" or \"special-test\", not \"" + mode + "\"");
        return;
    }
    boot.chipMode = mode == "special-test" ? ChipMode::SpecialTest : ChipMode::Bootstrap;
    boot.talkerFile = text(args, "talker");
    boot.eepromEnable = args.value("eeprom", false);
    const std::string base = text(args, "base");
    if (base == "hex")
        boot.base = NumberBase::Hexadecimal;
    else if (base == "bin")
        boot.base = NumberBase::Binary;
    else if (base.empty() || base == "dec")
        boot.base = NumberBase::Decimal;
    else {
        respond(request, false, {}, "base is \"dec\", \"hex\" or \"bin\", not \"" + base + "\"");
        return;
    }
    stopOnEntry_ = args.value("stopOnEntry", false);
    if (boot.port == "board") {
        VirtualBoardOptions options;
        const auto speed = args.find("boardSpeed");
        options.speed = speed != args.end() && speed->is_number() ? speed->get<double>() : 1.0;
        options.eepromFile = text(args, "boardEeprom");
        std::string error;
        if (session_.startVirtualBoard(options, &error).empty()) {
            respond(request, false, {}, "Cannot start the virtual board: " + error);
            return;
        }
    }
    boot.readWaitMs = session_.defaultReadWaitMs(boot.port);
    // Each step's notes and result go to the editor's console; a failure ends the launch.
    auto stepDone = [&](const CommandResult& result) {
        for (const std::string& note : result.notes)
            output(note);
        if (!result.ok()) {
            respond(request, false, {}, result.errorText());
            return false;
        }
        output(result.doneText);
        return true;
    };
    if (!stepDone(session_.boot(boot)) || !stepDone(session_.loadS19(program)))
        return;
    launched_ = true;
    respond(request, true);
    event("initialized");
}

bool DapAdapter::advanceStep()
{
    const SourceStep::Outcome outcome = step_->advance();
    if (outcome == SourceStep::Outcome::Running)
        return true;
    if (outcome == SourceStep::Outcome::Failed)
        output(step_->result().errorText(), "stderr");
    step_.reset();
    return false;
}

void DapAdapter::configurationDone(const Json& request)
{
    respond(request, true);
    if (stopOnEntry_) {
        sendStopped("entry", "");
        return;
    }
    const CommandResult run = session_.continueRun();
    if (!run.ok()) {
        output(run.errorText(), "stderr");
        sendStopped("exception", run.errorText());
    }
}

// ---------------------------------------------------------------- breakpoints

DapAdapter::Json DapAdapter::breakpointList(const std::vector<Breakpoint>& list) const
{
    const std::vector<uint32_t> planted = session_.breakpoints();
    Json out = Json::array();
    for (const Breakpoint& b : list) {
        const bool set = b.address && std::find(planted.begin(), planted.end(), *b.address) != planted.end();
        Json j{{"id", b.id}, {"verified", set || (b.address && running() && b.message.empty())}};
        if (b.line)
            j["line"] = *b.line;
        if (b.address)
            j["instructionReference"] = reference(*b.address);
        if (!b.message.empty())
            j["message"] = b.message;
        out.push_back(j);
    }
    return out;
}

void DapAdapter::syncBreakpoints()
{
    if (running())
        return; // planted at the next stop
    std::set<uint32_t> wanted;
    auto collect = [&](std::vector<Breakpoint>& list) {
        for (Breakpoint& b : list)
            if (b.address)
                wanted.insert(*b.address);
    };
    for (auto& [path, list] : sourceBreakpoints_)
        collect(list);
    collect(functionBreakpoints_);
    collect(instructionBreakpoints_);
    for (uint32_t address : session_.breakpoints())
        if (!wanted.count(address))
            (void)session_.removeBreakpoint(hex(address));
    std::map<uint32_t, std::string> failed;
    const std::vector<uint32_t> planted = session_.breakpoints();
    for (uint32_t address : wanted) {
        if (std::find(planted.begin(), planted.end(), address) != planted.end())
            continue;
        const CommandResult set = session_.setBreakpoint(hex(address));
        if (!set.ok())
            failed[address] = set.errorText();
    }
    auto mark = [&](std::vector<Breakpoint>& list) {
        for (Breakpoint& b : list)
            if (b.address && failed.count(*b.address))
                b.message = failed[*b.address];
            else if (b.address)
                b.message.clear();
    };
    for (auto& [path, list] : sourceBreakpoints_)
        mark(list);
    mark(functionBreakpoints_);
    mark(instructionBreakpoints_);
}

void DapAdapter::setBreakpoints(const Json& request)
{
    const Json args = request.value("arguments", Json::object());
    const Json src = args.value("source", Json::object());
    const std::string path = text(src, "path").empty() ? text(src, "name") : text(src, "path");
    const SourceLines& lines = session_.sourceLines();
    std::optional<uint32_t> file = lines.fileNamed(path);
    if (!file)
        file = lines.fileNamed(baseName(path));
    std::vector<Breakpoint> list;
    const Json asked = args.value("breakpoints", Json::array());
    for (const Json& one : asked) {
        Breakpoint b;
        b.id = nextBreakpointId_++;
        const int64_t line = integer(one, "line", 0);
        if (lines.empty())
            b.message = "The program carries no line information";
        else if (!file)
            b.message = "The program has no code from " + baseName(path);
        else if (line <= 0)
            b.message = "No line given";
        else if (const auto code = lines.codeAtOrAfter(*file, static_cast<uint32_t>(line))) {
            b.address = code->first;
            b.line = code->second;
        } else {
            b.message = format("No code at or after line %u", static_cast<unsigned>(line));
        }
        if (!b.line && line > 0)
            b.line = static_cast<uint32_t>(line);
        (void)takeRule(one, b);
        list.push_back(b);
    }
    // Kept by the file of the program they resolve to, so two spellings of one path are one file.
    const std::string key = file ? lines.files()[*file] : path;
    sourceBreakpoints_[key] = list;
    syncBreakpoints();
    handRulesOver();
    Json out = breakpointList(sourceBreakpoints_[key]);
    if (file)
        for (Json& j : out)
            j["source"] = source(lines.files()[*file]);
    respond(request, true, {{"breakpoints", out}});
}

void DapAdapter::setFunctionBreakpoints(const Json& request)
{
    const Json args = request.value("arguments", Json::object());
    functionBreakpoints_.clear();
    for (const Json& one : args.value("breakpoints", Json::array())) {
        Breakpoint b;
        b.id = nextBreakpointId_++;
        const std::string name = text(one, "name");
        std::string why;
        b.address = session_.resolveAddress(name, &why);
        if (!b.address)
            b.message = why.empty() ? "No symbol '" + name + "' in the program" : why;
        (void)takeRule(one, b);
        functionBreakpoints_.push_back(b);
    }
    syncBreakpoints();
    handRulesOver();
    respond(request, true, {{"breakpoints", breakpointList(functionBreakpoints_)}});
}

void DapAdapter::setInstructionBreakpoints(const Json& request)
{
    const Json args = request.value("arguments", Json::object());
    instructionBreakpoints_.clear();
    for (const Json& one : args.value("breakpoints", Json::array())) {
        Breakpoint b;
        b.id = nextBreakpointId_++;
        const auto base = parseReference(one.value("instructionReference", Json()));
        const int64_t at = base ? int64_t{*base} + integer(one, "offset", 0) : -1;
        if (at < 0 || at >= kAddressSpace)
            b.message = "No address in $0000-$ffff";
        else
            b.address = static_cast<uint32_t>(at);
        (void)takeRule(one, b);
        instructionBreakpoints_.push_back(b);
    }
    syncBreakpoints();
    handRulesOver();
    respond(request, true, {{"breakpoints", breakpointList(instructionBreakpoints_)}});
}

// ---------------------------------------------------------------- where the program stands

void DapAdapter::threads(const Json& request)
{
    respond(request, true, {{"threads", Json::array({{{"id", kThreadId}, {"name", "68HC11"}}})}});
}

DapAdapter::Json DapAdapter::source(const std::string& file) const
{
    return {{"name", baseName(file)}, {"path", file}};
}

void DapAdapter::stackTrace(const Json& request)
{
    if (refuseWhileRunning(request))
        return;
    const uint32_t at = pc();
    std::string name = hex(at);
    if (const auto symbol = session_.symbols().symbolAtOrBefore(static_cast<uint16_t>(at), 0xFFFF)) {
        name = std::string(*session_.symbols().nameAt(*symbol));
        if (*symbol != at)
            name += format("+%u", static_cast<unsigned>(at - *symbol));
    }
    Json frame{{"id", 1}, {"name", name}, {"line", 0}, {"column", 0}, {"instructionPointerReference", reference(at)}};
    if (const auto place = session_.sourceLines().placeOf(at)) {
        frame["source"] = source(place->file);
        frame["line"] = place->line;
        frame["column"] = 1;
    }
    // Return addresses are not shown: nothing on the stack proves which bytes are one.
    respond(request, true, {{"stackFrames", Json::array({frame})}, {"totalFrames", 1}});
}

void DapAdapter::scopes(const Json& request)
{
    respond(request, true,
            {{"scopes", Json::array({{{"name", "Registers"},
                                      {"presentationHint", "registers"},
                                      {"variablesReference", kRegistersReference},
                                      {"expensive", false}},
                                     {{"name", "I/O registers"},
                                      {"presentationHint", "registers"},
                                      {"variablesReference", kIoReference},
                                      {"expensive", true}}})}});
}

std::string DapAdapter::valueText(int64_t value, int digits)
{
    return format(digits == 2 ? "$%02x (%u)" : "$%04x (%u)", static_cast<unsigned>(value),
                  static_cast<unsigned>(value));
}

void DapAdapter::variables(const Json& request)
{
    if (refuseWhileRunning(request))
        return;
    const Json args = request.value("arguments", Json::object());
    const int64_t ref = integer(args, "variablesReference", 0);
    if (ref == kIoReference) {
        ioVariables(request);
        return;
    }
    const CommandResult read = session_.readRegisters();
    if (!read.ok()) {
        respond(request, false, {}, read.errorText());
        return;
    }
    const TargetRegisters& r = session_.lastRegisters();
    Json vars = Json::array();
    auto add = [&](const char* name, int64_t value, int digits, int children = 0) {
        Json v{{"name", name}, {"value", valueText(value, digits)}, {"variablesReference", children}};
        if (digits == 4)
            v["memoryReference"] = reference(static_cast<uint32_t>(value));
        vars.push_back(v);
    };
    if (ref == kRegistersReference) {
        add("A", r.A, 2);
        add("B", r.B, 2);
        add("D", (r.A << 8) | r.B, 4);
        add("X", r.X & 0xFFFF, 4);
        add("Y", r.Y & 0xFFFF, 4);
        add("SP", (r.SP + 8) & 0xFFFF, 4); // the program's own stack pointer
        add("PC", pc(), 4);
        vars.push_back({{"name", "CCR"},
                        {"value", RegisterText::ccrText(r.CCR) + " " + RegisterText::kCcrLegend},
                        {"variablesReference", kFlagsReference}});
    } else if (ref == kFlagsReference) {
        static constexpr std::array<const char*, 8> kFlags{"S", "X", "H", "I", "N", "Z", "V", "C"};
        for (size_t i = 0; i < kFlags.size(); ++i)
            vars.push_back({{"name", kFlags[i]},
                            {"value", (r.CCR >> (7 - i)) & 1 ? "1" : "0"},
                            {"variablesReference", 0}});
    }
    respond(request, true, {{"variables", vars}});
}

void DapAdapter::ioVariables(const Json& request)
{
    // Registers whose read changes the chip (the SCI's and SPI's status and data: a read clears
    // their flags and takes a received byte) are named but never read from here.
    std::array<uint8_t, IoRegisters::kCount> values{};
    std::array<bool, IoRegisters::kCount> read{};
    const CommandResult result = session_.readIoRegisterValues(false, values, read);
    if (!result.ok()) {
        respond(request, false, {}, result.errorText());
        return;
    }
    Json vars = Json::array();
    for (uint32_t i = 0; i < IoRegisters::kCount; ++i) {
        const IoRegisters::Info& info = IoRegisters::info(i);
        if (info.name[0] == '\0')
            continue;
        std::string value = "(not read: reading it disturbs the chip)";
        if (read[i]) {
            value = format("$%02x", static_cast<unsigned>(values[i]));
            std::string bits;
            for (int bit = 0; bit < 8; ++bit)
                if ((values[i] >> (7 - bit)) & 1 && std::strcmp(info.bits[static_cast<size_t>(bit)], "-") != 0)
                    bits += std::string(" ") + info.bits[static_cast<size_t>(bit)];
            value += bits;
        }
        vars.push_back({{"name", info.name},
                        {"value", value},
                        {"variablesReference", 0},
                        {"memoryReference", reference(IoRegisters::kBase + i)}});
    }
    respond(request, true, {{"variables", vars}});
}

void DapAdapter::setVariable(const Json& request)
{
    if (refuseWhileRunning(request))
        return;
    const Json args = request.value("arguments", Json::object());
    const std::string name = text(args, "name");
    std::string error;
    Expression expression(session_);
    const auto value = expression.evaluate(text(args, "value"), error);
    if (!value) {
        respond(request, false, {}, error);
        return;
    }
    if (integer(args, "variablesReference", 0) != kRegistersReference) {
        respond(request, false, {}, "Only the registers can be set");
        return;
    }
    const bool wide = name == "D" || name == "X" || name == "Y" || name == "PC";
    if (*value < 0 || *value > (wide ? 0xFFFF : 0xFF)) {
        respond(request, false, {}, "The value " + std::to_string(*value) + " does not fit " + name);
        return;
    }
    CommandResult result;
    if (name == "D") {
        result = session_.setRegister("A", format("$%02x", static_cast<unsigned>(*value >> 8)));
        if (result.ok())
            result = session_.setRegister("B", format("$%02x", static_cast<unsigned>(*value & 0xFF)));
    } else {
        result = session_.setRegister(name, format("$%x", static_cast<unsigned>(*value)));
    }
    if (!result.ok()) {
        respond(request, false, {}, result.errorText());
        return;
    }
    respond(request, true, {{"value", name == "CCR" ? RegisterText::ccrText(static_cast<uint8_t>(*value))
                                                    : valueText(*value, wide ? 4 : 2)}});
}

void DapAdapter::evaluate(const Json& request)
{
    if (refuseWhileRunning(request))
        return;
    const Json args = request.value("arguments", Json::object());
    std::string error;
    Expression expression(session_);
    const auto value = expression.evaluate(text(args, "expression"), error);
    if (!value) {
        respond(request, false, {}, error);
        return;
    }
    Json body{{"result", *value < 0 || *value > 0xFFFF ? std::to_string(*value) : valueText(*value, *value > 0xFF ? 4 : 2)},
              {"variablesReference", 0}};
    if (*value >= 0 && *value <= 0xFFFF)
        body["memoryReference"] = reference(static_cast<uint32_t>(*value));
    respond(request, true, body);
}

// ---------------------------------------------------------------- running

void DapAdapter::continueRequest(const Json& request)
{
    if (refuseWhileRunning(request))
        return;
    step_.reset();
    syncBreakpoints();
    const CommandResult run = session_.continueRun();
    if (!run.ok()) {
        respond(request, false, {}, run.errorText());
        return;
    }
    respond(request, true, {{"allThreadsContinued", true}});
}

void DapAdapter::lineStep(const Json& request, SourceStep::Kind kind)
{
    if (!launched_) {
        respond(request, false, {}, kNotLaunched);
        return;
    }
    if (refuseWhileRunning(request))
        return;
    syncBreakpoints();
    respond(request, true);
    step_.emplace(session_, kind);
    if (advanceStep())
        return; // the stop finishes the step
    poll(); // a stop the steps met comes first
    if (!running())
        sendStopped("step", "");
}

void DapAdapter::stepOut(const Json& request)
{
    if (refuseWhileRunning(request))
        return;
    syncBreakpoints();
    step_.reset();
    const CommandResult run = session_.stepOut();
    if (!run.ok()) {
        respond(request, false, {}, run.errorText());
        return;
    }
    respond(request, true);
}

void DapAdapter::pause(const Json& request)
{
    if (!running()) {
        respond(request, true); // stopped already
        return;
    }
    step_.reset();
    const CommandResult stop = session_.stop();
    if (!stop.ok()) {
        respond(request, false, {}, stop.errorText());
        return;
    }
    respond(request, true);
    syncBreakpoints();
    sendStopped("pause", "");
}

// ---------------------------------------------------------------- memory

std::string DapAdapter::reference(uint32_t address) { return format("0x%04x", address & 0xFFFF); }

std::optional<uint32_t> DapAdapter::parseReference(const Json& value)
{
    if (value.is_number_unsigned())
        return value.get<uint64_t>() < kAddressSpace ? std::optional<uint32_t>(value.get<uint32_t>()) : std::nullopt;
    if (!value.is_string())
        return std::nullopt;
    const std::string s = value.get<std::string>();
    const bool hexPrefix = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const std::string digits = hexPrefix ? s.substr(2) : s;
    if (digits.empty() || digits.size() > 8 ||
        digits.find_first_not_of(hexPrefix ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
        return std::nullopt;
    const unsigned long v = std::stoul(digits, nullptr, hexPrefix ? 16 : 10);
    return v < kAddressSpace ? std::optional<uint32_t>(static_cast<uint32_t>(v)) : std::nullopt;
}

void DapAdapter::readMemory(const Json& request)
{
    if (refuseWhileRunning(request))
        return;
    const Json args = request.value("arguments", Json::object());
    const auto base = parseReference(args.value("memoryReference", Json()));
    if (!base) {
        respond(request, false, {}, "No memory reference in $0000-$ffff");
        return;
    }
    const int64_t start = int64_t{*base} + integer(args, "offset", 0);
    const int64_t count = std::clamp<int64_t>(integer(args, "count", 0), 0, kMaxReadBytes);
    // Only $0000-$ffff exists: the parts of the range outside it are unreadable.
    const int64_t first = std::clamp<int64_t>(start, 0, kAddressSpace);
    const int64_t last = std::clamp<int64_t>(start + count, 0, kAddressSpace);
    Json body{{"address", reference(static_cast<uint32_t>(first))}};
    if (start < 0 || first >= last) {
        body["address"] = format("0x%x", static_cast<unsigned>(std::max<int64_t>(start, 0)));
        body["unreadableBytes"] = count;
        respond(request, true, body);
        return;
    }
    std::vector<uint8_t> bytes;
    const CommandResult read = session_.readBytes(static_cast<uint32_t>(first), static_cast<uint32_t>(last - first), bytes);
    if (!read.ok()) {
        respond(request, false, {}, read.errorText());
        return;
    }
    body["data"] = base64(bytes);
    if (start + count > last)
        body["unreadableBytes"] = start + count - last;
    respond(request, true, body);
}

void DapAdapter::writeMemory(const Json& request)
{
    if (refuseWhileRunning(request))
        return;
    const Json args = request.value("arguments", Json::object());
    const auto base = parseReference(args.value("memoryReference", Json()));
    const auto data = unbase64(text(args, "data"));
    if (!base || !data) {
        respond(request, false, {}, !base ? "No memory reference in $0000-$ffff" : "The data is no base64 text");
        return;
    }
    const int64_t start = int64_t{*base} + integer(args, "offset", 0);
    if (start < 0 || start + static_cast<int64_t>(data->size()) > kAddressSpace) {
        respond(request, false, {}, "The bytes would lie outside $0000-$ffff");
        return;
    }
    const CommandResult write = session_.writeBytes(static_cast<uint32_t>(start), *data);
    if (!write.ok()) {
        respond(request, false, {}, write.errorText());
        return;
    }
    respond(request, true, {{"offset", integer(args, "offset", 0)}, {"bytesWritten", data->size()}});
}

void DapAdapter::disassemble(const Json& request)
{
    if (refuseWhileRunning(request))
        return;
    const Json args = request.value("arguments", Json::object());
    const auto ref = parseReference(args.value("memoryReference", Json()));
    const int64_t count = std::clamp<int64_t>(integer(args, "instructionCount", 0), 0, kMaxInstructions);
    const int64_t before = std::clamp<int64_t>(-integer(args, "instructionOffset", 0), -int64_t{kMaxInstructions},
                                               int64_t{kMaxInstructions});
    const int64_t target = ref ? int64_t{*ref} + integer(args, "offset", 0) : -1;
    if (target < 0 || target >= kAddressSpace) {
        respond(request, false, {}, "No memory reference in $0000-$ffff");
        return;
    }
    // Instructions before the address are found by decoding from far enough back: the 68HC11's
    // instructions are at most five bytes, and decoding falls into step within a few.
    const int64_t back = std::max<int64_t>(before, 0);
    const uint32_t from = static_cast<uint32_t>(std::max<int64_t>(0, target - back * 5 - 8));
    std::vector<DisassembledLine> lines;
    const uint32_t wanted = static_cast<uint32_t>(std::min<int64_t>(back * 5 + 8 + count + std::max<int64_t>(-before, 0), kMaxInstructions * 3));
    const CommandResult read = session_.disassembleInstructions(from, wanted, lines);
    if (!read.ok()) {
        respond(request, false, {}, read.errorText());
        return;
    }
    // The first decoded instruction at or after the address stands at index "before".
    size_t at = 0;
    while (at < lines.size() && lines[at].address < target)
        ++at;
    Json out = Json::array();
    std::optional<std::string> lastFile;
    for (int64_t i = 0; i < count; ++i) {
        const int64_t index = static_cast<int64_t>(at) - before + i;
        if (index < 0 || index >= static_cast<int64_t>(lines.size())) {
            out.push_back({{"address", reference(0)}, {"instruction", ""}, {"presentationHint", "invalid"}});
            continue;
        }
        const DisassembledLine& l = lines[static_cast<size_t>(index)];
        std::string bytes;
        for (uint8_t b : l.bytes)
            bytes += format(bytes.empty() ? "%02x" : " %02x", static_cast<unsigned>(b));
        Json j{{"address", reference(l.address)},
               {"instructionBytes", bytes},
               {"instruction", l.operands.empty() ? l.mnemonic : l.mnemonic + " " + l.operands}};
        if (!l.label.empty())
            j["symbol"] = l.label;
        if (const auto place = session_.sourceLines().placeOf(l.address)) {
            if (place->file != lastFile)
                j["location"] = source(place->file);
            lastFile = place->file;
            j["line"] = place->line;
        }
        out.push_back(j);
    }
    respond(request, true, {{"instructions", out}});
}

// ---------------------------------------------------------------- the end

void DapAdapter::disconnect(const Json& request)
{
    step_.reset();
    if (running())
        (void)session_.stop();
    sourceBreakpoints_.clear();
    functionBreakpoints_.clear();
    instructionBreakpoints_.clear();
    if (session_.runState() != RunState::NoTalker)
        (void)session_.clearBreakpoints(); // our SWIs out of the program's code
    respond(request, true);
    finished_ = true;
}
