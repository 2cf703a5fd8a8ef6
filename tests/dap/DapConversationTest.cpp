// tarvik11-dap as an editor drives it: framed JSON over its standard input and output, on the
// in-process virtual board with our talker and the sample programs' ELF files.
#include "dap/DapFraming.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

using Json = nlohmann::json;

namespace {

std::string sample(const std::string& name) { return std::string(TARVIK11_EXAMPLES_DIR) + "/" + name; }

// The adapter as a child process, and the editor's side of its conversation.
class DapClient {
public:
    DapClient()
    {
        int in[2];
        int out[2];
        EXPECT_EQ(::pipe(in), 0);
        EXPECT_EQ(::pipe(out), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::close(in[1]);
            ::close(out[0]);
            ::execl(TARVIK11_DAP, TARVIK11_DAP, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        toAdapter_ = in[1];
        fromAdapter_ = out[0];
    }
    ~DapClient()
    {
        if (toAdapter_ >= 0)
            ::close(toAdapter_);
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(fromAdapter_);
    }

    void sendRaw(const std::string& bytes) { ASSERT_EQ(::write(toAdapter_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

    // Sends a request; its sequence number.
    int send(const std::string& command, const Json& arguments = Json::object())
    {
        const int seq = seq_++;
        Json request{{"seq", seq}, {"type", "request"}, {"command", command}};
        if (!arguments.empty())
            request["arguments"] = arguments;
        sendRaw(DapFraming::frame(request.dump()));
        return seq;
    }

    // The next message that matches, within ms (the others are kept in seen).
    Json waitFor(const std::function<bool(const Json&)>& match, int ms = 20000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            while (!pending_.empty()) {
                Json m = pending_.front();
                pending_.erase(pending_.begin());
                seen.push_back(m);
                if (match(m))
                    return m;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                ADD_FAILURE() << "no expected message within " << ms << " ms";
                return Json();
            }
            pollfd p{fromAdapter_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char buffer[65536];
            const ssize_t got = ::read(fromAdapter_, buffer, sizeof buffer);
            if (got <= 0) {
                ADD_FAILURE() << "the adapter closed its output";
                return Json();
            }
            framing_.feed(buffer, static_cast<size_t>(got));
            while (const auto body = framing_.next())
                pending_.push_back(Json::parse(*body));
        }
    }

    // The response to request seq.
    Json response(int seq)
    {
        return waitFor([&](const Json& m) { return m.value("type", "") == "response" && m.value("request_seq", -1) == seq; });
    }
    // Sends a request and expects it to succeed; the response's body.
    Json ok(const std::string& command, const Json& arguments = Json::object())
    {
        const Json r = response(send(command, arguments));
        EXPECT_TRUE(r.value("success", false)) << command << ": " << r.dump();
        return r.value("body", Json::object());
    }
    // Sends a request and expects it to fail; the message.
    std::string refused(const std::string& command, const Json& arguments = Json::object())
    {
        const Json r = response(send(command, arguments));
        EXPECT_FALSE(r.value("success", true)) << command << ": " << r.dump();
        return r.value("message", "");
    }
    Json event(const std::string& name)
    {
        return waitFor([&](const Json& m) { return m.value("type", "") == "event" && m.value("event", "") == name; });
    }
    Json stopped() { return event("stopped").value("body", Json::object()); }

    // The stopped frame: its line and name.
    std::pair<int, std::string> where()
    {
        const Json frames = ok("stackTrace", {{"threadId", 1}})["stackFrames"];
        EXPECT_EQ(frames.size(), 1u);
        return {frames[0].value("line", 0), frames[0].value("name", "")};
    }
    // A register's value text.
    std::string reg(const std::string& name)
    {
        const Json body = ok("variables", {{"variablesReference", 1}});
        for (const Json& v : body["variables"])
            if (v["name"] == name)
                return v["value"];
        ADD_FAILURE() << "no register " << name << " in " << body.dump();
        return {};
    }
    std::string evaluate(const std::string& expression)
    {
        return ok("evaluate", {{"expression", expression}, {"context", "watch"}}).value("result", "");
    }
    // The exit status once the adapter has ended (within ms), or -1.
    int exitStatus(int ms)
    {
        ::close(toAdapter_);
        toAdapter_ = -1;
        for (int waited = 0; waited < ms; waited += 10) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            ::usleep(10000);
        }
        return -1;
    }

    std::vector<Json> seen;

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    int toAdapter_ = -1;
    int fromAdapter_ = -1;
    int seq_ = 1;
    DapFraming framing_;
    std::vector<Json> pending_;
};

Json launchArguments(const std::string& program)
{
    return {{"program", sample(program)},   {"port", "board"}, {"chipMode", "special-test"},
            {"talker", TARVIK11_TALKER_FILE}, {"stopOnEntry", true}, {"boardSpeed", 0}, {"base", "hex"}};
}

std::vector<uint8_t> bytesOf(const std::string& base64)
{
    static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<uint8_t> out;
    uint32_t bits = 0;
    int n = 0;
    for (char c : base64) {
        if (c == '=')
            break;
        bits = (bits << 6) | static_cast<uint32_t>(kAlphabet.find(c));
        if ((n += 6) >= 8) {
            n -= 8;
            out.push_back(static_cast<uint8_t>(bits >> n));
        }
    }
    return out;
}

} // namespace

TEST(DapConversation, StepsThroughASampleOnTheVirtualBoard)
{
    DapClient dap;
    const Json caps = dap.ok("initialize", {{"adapterID", "tarvik11"}, {"linesStartAt1", true}});
    EXPECT_TRUE(caps.value("supportsDisassembleRequest", false));
    EXPECT_TRUE(caps.value("supportsInstructionBreakpoints", false));
    EXPECT_TRUE(caps.value("supportsSetVariable", false));
    EXPECT_NE(dap.refused("stackTrace", {{"threadId", 1}}), ""); // nothing launched yet

    dap.ok("launch", launchArguments("subroutine.elf"));
    dap.event("initialized");

    // Line 20 is a comment: the breakpoint goes to the next line with code (fill, line 21).
    const Json set = dap.ok("setBreakpoints", {{"source", {{"path", "/elsewhere/subroutine.s"}}},
                                               {"breakpoints", Json::array({{{"line", 20}}, {{"line", 99}}})}});
    ASSERT_EQ(set["breakpoints"].size(), 2u);
    EXPECT_TRUE(set["breakpoints"][0]["verified"]);
    EXPECT_EQ(set["breakpoints"][0]["line"], 21);
    EXPECT_EQ(set["breakpoints"][0]["instructionReference"], "0xc41a");
    EXPECT_FALSE(set["breakpoints"][1]["verified"]);
    const Json functions = dap.ok("setFunctionBreakpoints",
                                  {{"breakpoints", Json::array({{{"name", "checksum"}}, {{"name", "nosuch"}}})}});
    EXPECT_TRUE(functions["breakpoints"][0]["verified"]);
    EXPECT_FALSE(functions["breakpoints"][1]["verified"]);

    dap.ok("configurationDone");
    EXPECT_EQ(dap.stopped()["reason"], "entry");
    EXPECT_EQ(dap.where(), std::make_pair(8, std::string("main")));

    // Over lines 8-11, then into the call at line 12 and out again.
    for (int line : {9, 10, 11, 12}) {
        dap.ok("next", {{"threadId", 1}});
        EXPECT_EQ(dap.stopped()["reason"], "step");
        EXPECT_EQ(dap.where().first, line);
    }
    dap.ok("stepIn", {{"threadId", 1}});
    EXPECT_EQ(dap.stopped()["reason"], "step");
    EXPECT_EQ(dap.where(), std::make_pair(21, std::string("fill")));
    // Stepping out of fill meets the breakpoint at its loop's head; it stays set across hits,
    // so continuing stops there again on the loop's next round.
    const std::string xFirst = dap.reg("X");
    dap.ok("stepOut", {{"threadId", 1}});
    Json stop = dap.stopped();
    EXPECT_EQ(stop["reason"], "breakpoint");
    EXPECT_EQ(stop["hitBreakpointIds"][0], set["breakpoints"][0]["id"]);
    EXPECT_EQ(dap.where().first, 21);
    const std::string xSecond = dap.reg("X");
    EXPECT_NE(xSecond, xFirst);
    dap.ok("continue", {{"threadId", 1}});
    EXPECT_EQ(dap.stopped()["reason"], "breakpoint");
    EXPECT_NE(dap.reg("X"), xSecond);

    // Without it, out of fill to the line after the call, and over the next call whole.
    dap.ok("setBreakpoints", {{"source", {{"path", "subroutine.s"}}}, {"breakpoints", Json::array()}});
    dap.ok("stepOut", {{"threadId", 1}});
    EXPECT_EQ(dap.stopped()["reason"], "step");
    EXPECT_EQ(dap.where().first, 13);
    EXPECT_EQ(dap.reg("A"), "$aa (170)");
    EXPECT_EQ(dap.evaluate("[area+7]"), "$aa (170)");
    for (int line : {14, 15, 16}) {
        dap.ok("next", {{"threadId", 1}});
        EXPECT_EQ(dap.stopped()["reason"], "step");
        EXPECT_EQ(dap.where().first, line);
    }
    EXPECT_EQ(dap.evaluate("[area+#15]"), "$55 (85)");

    // On to the function breakpoint.
    dap.ok("continue", {{"threadId", 1}});
    EXPECT_EQ(dap.stopped()["reason"], "function breakpoint");
    EXPECT_EQ(dap.where(), std::make_pair(29, std::string("checksum")));

    // Registers, flags and expressions.
    EXPECT_EQ(dap.reg("A"), "$55 (85)");
    EXPECT_EQ(dap.reg("B"), "$00 (0)");
    EXPECT_EQ(dap.reg("D"), "$5500 (21760)");
    EXPECT_EQ(dap.reg("PC"), "$c421 (50209)");
    const Json flags = dap.ok("variables", {{"variablesReference", 2}})["variables"];
    ASSERT_EQ(flags.size(), 8u);
    EXPECT_EQ(flags[4]["name"], "N");
    EXPECT_EQ(flags[4]["value"], "1"); // ldx #area: bit 15 set
    EXPECT_EQ(flags[5]["value"], "0");
    // The I/O registers by name; the SCI's and SPI's status and data are not read (a read would
    // clear their flags and take the talker's received byte).
    const Json scopes = dap.ok("scopes", {{"frameId", 1}})["scopes"];
    ASSERT_EQ(scopes.size(), 2u);
    std::map<std::string, std::string> io;
    const Json ioVars = dap.ok("variables", {{"variablesReference", scopes[1]["variablesReference"]}});
    for (const Json& v : ioVars["variables"])
        io[v["name"]] = v["value"];
    ASSERT_TRUE(io.count("SCCR2") && io.count("SCSR")) << ioVars.dump();
    EXPECT_EQ(io.at("SCCR2").substr(0, 1), "$");
    EXPECT_NE(io.at("SCCR2").find("TE RE"), std::string::npos);
    for (const char* untouched : {"SCSR", "SCDR", "SPSR", "SPDR"})
        EXPECT_EQ(io.at(untouched).rfind("(not read", 0), 0u) << untouched;
    EXPECT_EQ(dap.evaluate("X == area"), "$01 (1)");
    EXPECT_EQ(dap.evaluate("[area] + [area+8]"), "$ff (255)");
    EXPECT_EQ(dap.evaluate("subroutine.s:31"), "$c424 (50212)");
    EXPECT_EQ(dap.evaluate("add"), "$c424 (50212)"); // the label, not the hexadecimal number
    EXPECT_EQ(dap.evaluate("$add"), "$0add (2781)");
    EXPECT_NE(dap.refused("evaluate", {{"expression", "nosuch + 1"}}), "");
    EXPECT_NE(dap.refused("evaluate", {{"expression", "[area"}}), "");
    EXPECT_EQ(dap.ok("setVariable", {{"variablesReference", 1}, {"name", "D"}, {"value", "$1234"}})["value"],
              "$1234 (4660)");
    EXPECT_EQ(dap.reg("A"), "$12 (18)");
    EXPECT_EQ(dap.reg("B"), "$34 (52)");
    EXPECT_NE(dap.refused("setVariable", {{"variablesReference", 1}, {"name", "A"}, {"value", "$100"}}), "");
    EXPECT_NE(dap.refused("setVariable", {{"variablesReference", 1}, {"name", "SP"}, {"value", "0"}}), "");

    // Memory: read, written, read back; a range running past $ffff is cut there.
    Json memory = dap.ok("readMemory", {{"memoryReference", "0xc437"}, {"count", 16}});
    EXPECT_EQ(memory["address"], "0xc437");
    std::vector<uint8_t> expected(8, 0xAA);
    expected.insert(expected.end(), 8, 0x55);
    EXPECT_EQ(bytesOf(memory["data"]), expected);
    EXPECT_EQ(dap.ok("writeMemory", {{"memoryReference", "0xc437"}, {"offset", 1}, {"data", "AQI="}})["bytesWritten"], 2);
    memory = dap.ok("readMemory", {{"memoryReference", "0xc437"}, {"count", 3}});
    EXPECT_EQ(bytesOf(memory["data"]), (std::vector<uint8_t>{0xAA, 0x01, 0x02}));
    memory = dap.ok("readMemory", {{"memoryReference", "0xfffe"}, {"count", 4}});
    EXPECT_EQ(bytesOf(memory["data"]).size(), 2u);
    EXPECT_EQ(memory["unreadableBytes"], 2);
    EXPECT_NE(dap.refused("writeMemory", {{"memoryReference", "0xffff"}, {"data", "AQI="}}), "");
    EXPECT_NE(dap.refused("writeMemory", {{"memoryReference", "0xc437"}, {"data", "not base64!"}}), "");

    // Disassembly around the PC: two instructions before it, the PC's own, two after.
    const Json code = dap.ok("disassemble", {{"memoryReference", "0xc421"}, {"instructionOffset", -2},
                                             {"instructionCount", 5}})["instructions"];
    ASSERT_EQ(code.size(), 5u);
    EXPECT_EQ(code[1]["address"], "0xc420");
    EXPECT_EQ(code[1]["instruction"], "rts");
    EXPECT_EQ(code[2]["address"], "0xc421");
    EXPECT_EQ(code[2]["instruction"], "clra");
    EXPECT_EQ(code[2]["symbol"], "checksum");
    EXPECT_EQ(code[2]["line"], 29);
    EXPECT_EQ(code[3]["instruction"], "ldab #$10");

    // On to the program's own SWI at "done", then out.
    dap.ok("setFunctionBreakpoints", {{"breakpoints", Json::array()}});
    dap.ok("continue", {{"threadId", 1}});
    stop = dap.stopped();
    EXPECT_EQ(stop["reason"], "breakpoint");
    EXPECT_NE(stop.value("description", "").find("SWI"), std::string::npos);
    EXPECT_EQ(dap.where().first, 18);
    dap.ok("disconnect");
    EXPECT_EQ(dap.exitStatus(10000), 0);
}

TEST(DapConversation, PauseStopsARunningProgramAndDisconnectTakesBreakpointsOut)
{
    DapClient dap;
    dap.ok("initialize");
    Json args = launchArguments("counter.elf");
    args["stopOnEntry"] = false;
    dap.ok("launch", args);
    dap.event("initialized");
    dap.ok("configurationDone");
    EXPECT_NE(dap.refused("stackTrace", {{"threadId", 1}}).find("running"), std::string::npos);
    dap.ok("pause", {{"threadId", 1}});
    EXPECT_EQ(dap.stopped()["reason"], "pause");
    const auto [line, name] = dap.where();
    EXPECT_GT(line, 0);
    // A breakpoint in the loop: hit, then the program runs on at disconnect without our SWI.
    dap.ok("setFunctionBreakpoints", {{"breakpoints", Json::array({{{"name", "loop"}}})}});
    dap.ok("continue", {{"threadId", 1}});
    EXPECT_EQ(dap.stopped()["reason"], "function breakpoint");
    // An undefined opcode ($41) where the program goes next stops it as an exception.
    dap.ok("setFunctionBreakpoints", {{"breakpoints", Json::array()}});
    dap.ok("writeMemory", {{"memoryReference", "0xcc0a"}, {"data", "QQ=="}});
    dap.ok("continue", {{"threadId", 1}});
    const Json illegal = dap.stopped();
    EXPECT_EQ(illegal["reason"], "exception") << illegal.dump();
    // Not checked yet: the address. The session reports an illegal-opcode stop one byte before
    // the opcode (it takes every talker report for an SWI's), so the description names that.
    dap.ok("disconnect");
    EXPECT_EQ(dap.exitStatus(10000), 0);
}

TEST(DapConversation, ConditionsHitCountsAndLogpointsResumeOnTheHost)
{
    DapClient dap;
    const Json caps = dap.ok("initialize");
    EXPECT_TRUE(caps.value("supportsConditionalBreakpoints", false));
    EXPECT_TRUE(caps.value("supportsLogPoints", false));
    dap.ok("launch", launchArguments("subroutine.elf"));
    dap.event("initialized");
    dap.ok("configurationDone");
    EXPECT_EQ(dap.stopped()["reason"], "entry");

    // fill's loop: "staa" (line 21) counts B down from 8; "inx" (line 22) logs every round.
    const Json source{{"path", "subroutine.s"}};
    dap.ok("setBreakpoints", {{"source", source},
                              {"breakpoints", Json::array({{{"line", 21}, {"condition", "B == 3"}},
                                                           {{"line", 22}, {"logMessage", "X={X} B={B}"}}})}});
    const size_t before = dap.seen.size();
    dap.ok("continue", {{"threadId", 1}});
    EXPECT_EQ(dap.stopped()["reason"], "breakpoint");
    EXPECT_EQ(dap.reg("B"), "$03 (3)");
    EXPECT_EQ(dap.evaluate("X - area"), "$05 (5)");
    std::vector<std::string> logged;
    for (size_t i = before; i < dap.seen.size(); ++i)
        if (dap.seen[i].value("event", "") == "output" && dap.seen[i]["body"]["output"].get<std::string>().rfind("X=", 0) == 0)
            logged.push_back(dap.seen[i]["body"]["output"]);
    ASSERT_EQ(logged.size(), 5u);
    EXPECT_EQ(logged[0], "X=$c437 B=$08\n");
    EXPECT_EQ(logged[4], "X=$c43b B=$04\n");

    // A hit count: the fourth hit from now is the second call's second round.
    const Json counted = dap.ok("setBreakpoints", {{"source", source},
                                                   {"breakpoints", Json::array({{{"line", 21}, {"hitCondition", ">=4"}},
                                                                                {{"line", 23}, {"hitCondition", "often"}}})}});
    EXPECT_TRUE(counted["breakpoints"][0]["verified"]);
    EXPECT_FALSE(counted["breakpoints"][1]["verified"]);
    dap.ok("continue", {{"threadId", 1}});
    EXPECT_EQ(dap.stopped()["reason"], "breakpoint");
    EXPECT_EQ(dap.reg("A"), "$55 (85)");
    EXPECT_EQ(dap.reg("B"), "$07 (7)");

    // A condition that never holds: the program runs on to its own SWI.
    dap.ok("setBreakpoints", {{"source", source}, {"breakpoints", Json::array()}});
    dap.ok("setFunctionBreakpoints", {{"breakpoints", Json::array({{{"name", "checksum"}, {"condition", "[area] == $99"}}})}});
    dap.ok("continue", {{"threadId", 1}});
    EXPECT_EQ(dap.stopped()["reason"], "breakpoint");
    EXPECT_EQ(dap.where().first, 18);
    dap.ok("disconnect");
    EXPECT_EQ(dap.exitStatus(10000), 0);
}

TEST(DapConversation, BadLaunchesAndBrokenStreamsEndCleanly)
{
    {
        DapClient dap;
        dap.ok("initialize");
        EXPECT_NE(dap.refused("launch", {{"port", "board"}}).find("program"), std::string::npos);
        Json args = launchArguments("subroutine.elf");
        args["chipMode"] = "expanded";
        EXPECT_NE(dap.refused("launch", args).find("chipMode"), std::string::npos);
        args = launchArguments("subroutine.lst"); // no program file
        EXPECT_NE(dap.refused("launch", args), "");
        EXPECT_NE(dap.refused("nosuchrequest"), "");
        EXPECT_EQ(dap.exitStatus(10000), 0); // the editor went away: the adapter ends
    }
    {
        DapClient dap;
        dap.sendRaw("Content-Length: 5\r\n\r\n{bad}"); // no JSON: skipped
        dap.ok("initialize");
        dap.sendRaw("Content-Length: x\r\n\r\n{}"); // a broken header ends the conversation
        EXPECT_EQ(dap.exitStatus(10000), 0);
    }
}

TEST(DapFraming, SplitsMessagesWhereverTheBytesBreak)
{
    const std::string two = DapFraming::frame("{\"a\":1}") + "X-Other: 1\r\ncontent-length:  2\r\n\r\n{}";
    for (size_t chunk : {size_t{1}, size_t{3}, two.size()}) {
        DapFraming f;
        std::vector<std::string> bodies;
        for (size_t i = 0; i < two.size(); i += chunk) {
            f.feed(two.data() + i, std::min(chunk, two.size() - i));
            while (auto b = f.next())
                bodies.push_back(*b);
        }
        EXPECT_EQ(bodies, (std::vector<std::string>{"{\"a\":1}", "{}"})) << chunk;
        EXPECT_TRUE(f.error().empty());
    }
    const std::vector<std::string> broken{"Content-Type: x\r\n\r\n{}", "Content-Length: -1\r\n\r\n",
                                          "Content-Length: 999999999\r\n\r\n", std::string(5000, 'a')};
    for (const std::string& text : broken) {
        DapFraming f;
        f.feed(text.data(), text.size());
        EXPECT_FALSE(f.next().has_value()) << text.substr(0, 40);
        EXPECT_FALSE(f.error().empty()) << text.substr(0, 40);
    }
}
