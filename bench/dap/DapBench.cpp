// A breakpoint whose condition fails, judged on the host and resumed there, against a plain
// breakpoint hit that an editor sees and continues, on the virtual board (counter.elf's endless
// loop, a breakpoint at "loop"):
//   each host-resumed hit (condition "A != $99" evaluated, then a hit count not yet reached)
//   against one round of a plain hit: the stopped event, the editor's continue, the next hit.
// usage: bench_dap [--hits N] [--speed N]
#include "dap/DapAdapter.h"

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

struct Editor {
    std::vector<Json> messages;
    DapAdapter adapter{[this](const Json& m) { messages.push_back(m); }};
    int seq = 1;

    Json request(const std::string& command, const Json& arguments = Json::object())
    {
        const size_t from = messages.size();
        adapter.handle({{"seq", seq++}, {"type", "request"}, {"command", command}, {"arguments", arguments}});
        for (size_t i = from; i < messages.size(); ++i)
            if (messages[i].value("type", "") == "response") {
                if (!messages[i].value("success", false)) {
                    std::fprintf(stderr, "bench_dap: %s failed: %s\n", command.c_str(),
                                 messages[i].value("message", "").c_str());
                    std::exit(1);
                }
                return messages[i];
            }
        std::fprintf(stderr, "bench_dap: no response to %s\n", command.c_str());
        std::exit(1);
    }
    // Waits for a stopped event from message index from on, as an editor's loop would.
    void awaitStop(size_t from)
    {
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        for (size_t seen = from;;) {
            for (; seen < messages.size(); ++seen)
                if (messages[seen].value("event", "") == "stopped")
                    return;
            if (Clock::now() > deadline) {
                std::fprintf(stderr, "bench_dap: no stop\n");
                std::exit(1);
            }
            pollfd p{adapter.descriptor(), POLLIN, 0};
            ::poll(&p, 1, 20);
            adapter.poll();
        }
    }
};

double secondsOf(const std::function<void()>& work)
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    int hits = 20;
    double speed = 1.0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--hits"))
            hits = std::max(2, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--speed"))
            speed = std::atof(argv[i + 1]);
    }
    Editor e;
    e.request("initialize");
    e.request("launch", {{"program", std::string(TARVIK11_EXAMPLES_DIR) + "/counter.elf"},
                         {"port", "board"},
                         {"chipMode", "special-test"},
                         {"talker", TARVIK11_TALKER_FILE},
                         {"stopOnEntry", true},
                         {"boardSpeed", speed}});
    size_t mark = e.messages.size();
    e.request("configurationDone");
    e.awaitStop(mark);

    // Reference: plain hits, each shown to the editor and continued by it.
    e.request("setFunctionBreakpoints", {{"breakpoints", Json::array({{{"name", "loop"}}})}});
    mark = e.messages.size();
    e.request("continue", {{"threadId", 1}});
    e.awaitStop(mark);
    const double plain = secondsOf([&] {
        for (int i = 0; i < hits; ++i) {
            const size_t before = e.messages.size();
            e.request("continue", {{"threadId", 1}});
            e.awaitStop(before);
        }
    }) / hits;

    // Host-judged hits: hits - 1 resumed on the host, the last one stops.
    e.request("setFunctionBreakpoints",
              {{"breakpoints", Json::array({{{"name", "loop"}, {"condition", "A != $99"},
                                             {"hitCondition", "==" + std::to_string(hits)}}})}});
    const double judged = secondsOf([&] {
        const size_t before = e.messages.size();
        e.request("continue", {{"threadId", 1}});
        e.awaitStop(before);
    });
    const double perResumedHit = (judged - plain) / (hits - 1);
    e.request("disconnect");
    std::printf("plain hit with the editor's continue %.4f s; hit resumed on the host (condition read, "
                "count not reached) %.4f s (%d hits)\n", plain, perResumedHit, hits);
    std::printf("host_resumed_hit / (plain_hit + continue)          ratio %.3f\n", perResumedHit / plain);
    return 0;
}
