#include "app/CTarvik11App.h"

#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The write end of the pipe an end signal is passed through to the user-interface thread.
int signalWriteEnd = -1;

void onEndSignal(int)
{
    const char byte = 1;
    (void)::write(signalWriteEnd, &byte, 1);
}

constexpr const char* kUsage =
    "Usage: tarvik11 [OPTIONS] [FILE]\n"
    "The Tarvik11 debugger for 68HC11 boards (Qt GUI).\n"
    "\n"
    "  --virtual-board   run a virtual 68HC11 board inside the program, as COM1\n"
    "  --latency=MS      the virtual board's bytes come as through a USB adapter's latency timer\n"
    "  --chip=NAME       the virtual board's chip: a1 (default), a8, e1, e9 or 811e2\n"
    "  --stimulus=FILE   timed events on the virtual board's pins (see tarvik11-board --help)\n"
    "  -Embedding, -Automation\n"
    "                    start without the splash screen\n"
    "  --help            print this text and exit\n"
    "  --version         print the version and exit\n"
    "\n"
    "FILE opens a document named after it. tarvik11-cli runs the same commands without the GUI.\n";

// Answers --help and --version before anything graphical starts (no display is needed); true
// when the program is to exit.
bool answeredOnly(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tarvik11 %s\n", TARVIK11_VERSION);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (answeredOnly(argc, argv))
        return 0;
    CTarvik11App app(argc, argv);
    // SIGTERM, SIGHUP and Ctrl-C end the program the orderly way, as File Exit does, so that the
    // session writes back every byte our SWIs displaced before the process goes.
    int pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> endNotifier;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pipe) == 0) {
        signalWriteEnd = pipe[1];
        endNotifier = std::make_unique<QSocketNotifier>(pipe[0], QSocketNotifier::Read);
        QObject::connect(endNotifier.get(), &QSocketNotifier::activated, &app, [&] {
            char byte = 0;
            (void)::read(pipe[0], &byte, 1);
            QApplication::quit();
        });
        struct sigaction end {};
        end.sa_handler = onEndSignal;
        sigemptyset(&end.sa_mask);
        end.sa_flags = SA_RESTART;
        for (int s : {SIGTERM, SIGHUP, SIGINT})
            ::sigaction(s, &end, nullptr);
    }
    if (!app.InitInstance(app.arguments()))
        return 1;
    return app.ExitInstance(app.exec());
}
