#pragma once
#include "session/DebugSession.h"
#include "session/BreakpointRules.h"
#include "session/SourceStep.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The Debug Adapter Protocol front end: each request becomes the session's commands, each
// outcome a response, and stops, messages and the end of the line become events. It holds no
// debugger rule of its own; what it keeps is the editor's view: the breakpoints it asked for
// (the session keeps them set across hits and judges their conditions), and a source-line step
// in progress.
class DapAdapter {
public:
    using Json = nlohmann::json;
    // Sends one message (a response or an event) to the editor.
    using Sender = std::function<void(const Json&)>;

    explicit DapAdapter(Sender send);
    ~DapAdapter();
    DapAdapter(const DapAdapter&) = delete;
    DapAdapter& operator=(const DapAdapter&) = delete;

    // Handles one message from the editor (a request; anything else is ignored).
    void handle(const Json& message);
    // Looks for a stop of the running program, never waiting; called when the line has input
    // and now and then while a program runs.
    void poll();
    // True while a program runs and a stop may come.
    bool running() const;
    // The descriptor that shows the line's input (-1 when none).
    int descriptor() const { return session_.descriptor(); }
    // True once the editor disconnected: the adapter's work is done.
    bool finished() const { return finished_; }

    // The session (for tests).
    DebugSession& session() { return session_; }

private:
    class Observer;
    // A breakpoint as the editor sees it: its id, the address it stands for, what was asked.
    struct Breakpoint {
        int id = 0;
        std::optional<uint32_t> address;
        std::optional<uint32_t> line; // a source line's resolved line
        std::string message;          // why it is not verified
        BreakpointRule rule;          // condition, hit count, log message
    };
    enum class BreakpointKind { Source, Function, Instruction };

    void respond(const Json& request, bool success, Json body = Json::object(), const std::string& message = {});
    void event(const std::string& name, Json body = Json::object());
    void output(const std::string& text, const char* category = "console");

    void initialize(const Json& request);
    void launch(const Json& request);
    void setBreakpoints(const Json& request);
    void setFunctionBreakpoints(const Json& request);
    void setInstructionBreakpoints(const Json& request);
    void configurationDone(const Json& request);
    void threads(const Json& request);
    void stackTrace(const Json& request);
    void scopes(const Json& request);
    void variables(const Json& request);
    void setVariable(const Json& request);
    // The I/O registers by name, without reading those whose read disturbs the chip.
    void ioVariables(const Json& request);
    void evaluate(const Json& request);
    void continueRequest(const Json& request);
    void lineStep(const Json& request, SourceStep::Kind kind);
    void stepOut(const Json& request);
    void pause(const Json& request);
    void readMemory(const Json& request);
    void writeMemory(const Json& request);
    void disassemble(const Json& request);
    void disconnect(const Json& request);

    // A stop the session reported.
    void stopped(const BreakpointHit& hit);
    // Takes the condition, hit count and log message of an editor's breakpoint; false (with the
    // breakpoint's message) when they cannot be used.
    bool takeRule(const Json& asked, Breakpoint& b);
    // Gives the session the rules of every breakpoint the editor asked for (it judges the hits).
    void handRulesOver();
    // Sends the stopped event (the stop's place is what stackTrace then reports).
    void sendStopped(const std::string& reason, const std::string& description, const std::vector<int>& hitIds = {});
    // Plants every breakpoint the editor asked for that is not in the session's table, and takes
    // out those it no longer asks for (while the program is stopped).
    void syncBreakpoints();
    // The breakpoints of one kind as the response's list.
    Json breakpointList(const std::vector<Breakpoint>& list) const;
    // Refuses a request that needs a stopped program; true when refused.
    bool refuseWhileRunning(const Json& request);
    // A source as the protocol describes it, for a file of the line table.
    Json source(const std::string& file) const;
    // The shown program counter.
    uint32_t pc() const;
    // "0xc400", and back (a memory reference, with an offset).
    static std::string reference(uint32_t address);
    static std::optional<uint32_t> parseReference(const Json& value);
    // A number as the editor shows it: "$c4 (196)".
    static std::string valueText(int64_t value, int digits);

    DebugSession session_;
    Sender send_;
    std::unique_ptr<Observer> observer_;
    int sequence_ = 1;
    int nextBreakpointId_ = 1;
    bool launched_ = false;
    bool stopOnEntry_ = false;
    bool finished_ = false;
    std::map<std::string, std::vector<Breakpoint>> sourceBreakpoints_; // by the editor's path
    std::vector<Breakpoint> functionBreakpoints_;
    std::vector<Breakpoint> instructionBreakpoints_;
    // Takes the source-line step one move on: true while it runs (its stop finishes it), else
    // ends it (a failure said on the console).
    bool advanceStep();
    std::optional<SourceStep> step_;   // a source-line step whose call runs
    std::vector<BreakpointHit> stops_; // stops reported, not yet handled
};
