// tarvik11-dap: the debugger for editors, speaking the Debug Adapter Protocol on standard input
// and output. Everything else it has to say goes to the editor as output events; standard error
// carries only what cannot reach the editor.
#include "dap/DapAdapter.h"
#include "dap/DapFraming.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>

namespace {

volatile std::sig_atomic_t endAsked = 0;

void onEndSignal(int) { endAsked = 1; }

// Writes all of text to standard output; false when the editor is gone.
bool writeAll(const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1) {
        const bool help = std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0;
        (help ? std::cout : std::cerr)
            << "usage: tarvik11-dap\n"
               "Speaks the Debug Adapter Protocol on standard input and output, for an editor to\n"
               "start. The editor's launch request names the program and the board.\n"
               "\n"
               "Launch arguments:\n"
               "  program      the ELF program (or an S19 with its .lst and .map beside it)\n"
               "  port         a serial device, or \"board\" for the in-process virtual board (the default)\n"
               "  chipMode     \"bootstrap\" (the default) or \"special-test\"\n"
               "  talker       the talker file to download instead of the installed one\n"
               "  stopOnEntry  true: stop at the program's entry point instead of running it\n"
               "  base         the default base of typed numbers: \"dec\", \"hex\" or \"bin\"\n"
               "  eeprom       true: the talker programs the EEPROM\n"
               "  boardSpeed   the virtual board's speed: 1 real time, 0 as fast as it can\n"
               "  boardEeprom  a file that keeps the virtual board's EEPROM across runs\n";
        return help ? 0 : 1;
    }
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction end {};
    end.sa_handler = onEndSignal;
    sigemptyset(&end.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(s, &end, nullptr);

    bool editorGone = false;
    DapAdapter adapter([&](const nlohmann::json& message) {
        if (!editorGone && !writeAll(DapFraming::frame(message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace))))
            editorGone = true;
    });
    DapFraming framing;
    bool inputOpen = true;
    while (inputOpen && !editorGone && !adapter.finished() && !endAsked) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {adapter.descriptor(), POLLIN, 0}};
        const nfds_t count = fds[1].fd >= 0 && adapter.running() ? 2 : 1;
        const int ready = ::poll(fds, count, adapter.running() ? 50 : 200);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buffer[65536];
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (got <= 0) {
                inputOpen = false;
                break;
            }
            framing.feed(buffer, static_cast<size_t>(got));
            while (const auto body = framing.next()) {
                const nlohmann::json message = nlohmann::json::parse(*body, nullptr, false);
                if (message.is_discarded()) {
                    std::cerr << "tarvik11-dap: ignored a message that is no JSON\n";
                    continue;
                }
                adapter.handle(message);
                if (adapter.finished())
                    break;
            }
            if (!framing.error().empty()) {
                std::cerr << "tarvik11-dap: " << framing.error() << "\n";
                break;
            }
        }
        adapter.poll();
    }
    // Leaving with the editor gone: the session's end writes back every byte our SWIs displaced.
    if (adapter.running())
        (void)adapter.session().stop();
    return 0;
}
