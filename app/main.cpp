#include "app/CTarvik11App.h"

#include <QSocketNotifier>

#include <csignal>
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

} // namespace

int main(int argc, char** argv)
{
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
