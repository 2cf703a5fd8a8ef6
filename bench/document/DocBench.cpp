// Prints the GUI's figures:
//  - processor time of the user-interface thread while a program runs and no "J" arrives,
//    as a share of one core, against a busy poll loop measured the same way;
//  - the time from the talker's "J" to the host's $B5 on the line, and to the status text;
//  - the time to append a 4096-line dump to a Memory View that already shows 40,000 lines,
//    against rebuilding the whole text.
// Run: QT_QPA_PLATFORM=offscreen build/bench/doc/tarvik11_bench_document [seconds]
#include "document/CTargetLine.h"
#include "document/CTarvik11Doc.h"
#include "app/CTarvik11View.h"
#include "session/DebugSession.h"
#include "document/DocumentHost.h"
#include "PtyPair.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMainWindow>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

namespace {

class BenchHost : public DocumentHost {
public:
    QMainWindow window;
    DebugSession session;
    SerialPort& port = session.port();
    TalkerLink& link = session.link();
    DebugEngine& engine = session.engine();
    CTargetLine line{session};

    void setCurrentDoc(CTarvik11Doc*) override {}
    QStatusBar* mainStatusBar() override { return window.statusBar(); }
    QWidget* dialogOwner() override { return &window; }
    void messageBox(const QString& text) override { std::printf("  (box: %s)\n", qPrintable(text)); }
    bool askYesNo(const QString& text) override
    {
        std::printf("  (question, answered Yes: %s)\n", qPrintable(text));
        return true;
    }
    bool openAsmView(CTarvik11Doc*) override { return false; }
    bool editTalkerSettings(TalkerSettings&) override { return false; }
    void closeDocument(CTarvik11Doc*) override {}
    TargetServices targetServices() override { return {&session, &line}; }
};

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Runs the event loop for ms and returns the user-interface thread's processor share.
double cpuShareWhileWaiting(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = threadCpuSeconds();
    loop.exec();
    return (threadCpuSeconds() - cpu0) / (static_cast<double>(wall.nsecsElapsed()) / 1e9);
}

// What a busy idle loop would cost: poll the port continuously for ms.
double cpuShareOfBusyPoll(TalkerLink& link, int ms)
{
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = threadCpuSeconds();
    while (wall.elapsed() < ms) {
        (void)link.pollSwi();
        QCoreApplication::processEvents();
    }
    return (threadCpuSeconds() - cpu0) / (static_cast<double>(wall.nsecsElapsed()) / 1e9);
}

void measureBreakpointWait(int seconds)
{
    PtyPair pty;
    BenchHost host;
    host.port.readWaitMs = 200;
    if (host.link.openPort(pty.modeText()) != 0) {
        std::printf("cannot open the pseudo-terminal\n");
        return;
    }
    CTarvik11Doc doc(host, "Bench");
    host.engine.breakpoints[0] = {0xC010, 0x86, true};
    host.engine.running = 1;
    host.line.rearm();

    const double idle = cpuShareWhileWaiting(seconds * 1000);
    const double busy = cpuShareOfBusyPoll(host.link, 1000);
    std::printf("waiting for \"J\" for %d s: %.3f%% of a core (notifier on the serial descriptor)\n", seconds,
                idle * 100.0);
    std::printf("the same wait as a busy poll loop:  %.1f%% of a core (ratio %.0fx)\n", busy * 100.0,
                idle > 0 ? busy / idle : 0.0);

    // A hit: the far end plays the talker on its own thread.
    using Clock = std::chrono::steady_clock;
    std::atomic<long long> toB5{-1};
    Clock::time_point sent;
    std::thread talker([&] {
        sent = Clock::now();
        pty.write({'J'});
        if (pty.readByte(3000) == 0xB5)
            toB5 = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - sent).count();
        pty.write({0x4A, 0xC0, 0x11, 0x00, 0xF0, 0xD0, 0x02, 0x01, 0x12, 0x34, 0x56, 0x78, 0x00, 0x00});
        pty.readByte(3000);
        pty.write({0xBE});
        pty.readBytes(5, 3000);
        pty.write({0xFE});
        pty.readBytes(3, 3000);
        pty.write({0x86});
        pty.readByte(3000);
        pty.write({0x7E, 0x00, 0xF0, 0xD0, 0x02, 0x01, 0x12, 0x34, 0x56, 0x78, 0xC0, 0x10});
    });
    long long toText = -1;
    QEventLoop loop;
    QObject::connect(host.window.statusBar(), &QStatusBar::messageChanged, [&](const QString& text) {
        if (text.startsWith("Breakpoint reached")) {
            toText = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - sent).count();
            loop.quit();
        }
    });
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    talker.join();
    std::printf("\"J\" sent -> $B5 seen on the line: %.2f ms (wake-up, look, confirmation byte on the wire)\n",
                static_cast<double>(toB5.load()) / 1000.0);
    std::printf("\"J\" sent -> \"Breakpoint reached at $c010\" shown: %.2f ms (the confirmation at 9600 baud\n"
                "  wire time; the SWIs are written back after the text is painted)\n",
                static_cast<double>(toText) / 1000.0);
}

void measureMemoryViewAppend()
{
    BenchHost host;
    CTarvik11Doc doc(host, "Bench");
    auto* view = new CTarvik11View(&doc);
    host.window.setCentralWidget(view);
    host.window.resize(900, 600);
    host.window.show();
    QCoreApplication::processEvents();

    auto dumpLines = [](uint32_t start, int lines) {
        QStringList out;
        out << QStringLiteral("       .00.01.02.03.04.05.06.07.08.09.0A.0B.0C.0D.0E.0F\n");
        for (int i = 0; i < lines; ++i)
            out << QStringLiteral("$%1 - 00 11 22 33 44 55 66 77 88 99 aa bb cc dd ee ff ..\"3DUfw........")
                       .arg((start + 16 * i) & 0xFFFF, 4, 16, QLatin1Char('0'));
        return out;
    };
    // 40,000 earlier lines, shown.
    while (doc.memoryLines.size() < 40000)
        doc.memoryLines << dumpLines(0, 4095);
    doc.lastDumpLines = 4097;
    doc.UpdateAllViews();
    QCoreApplication::processEvents();

    QElapsedTimer t;
    const int first = static_cast<int>(doc.memoryLines.size());
    doc.memoryLines << dumpLines(0, 4096);
    doc.lastDumpLines = 4098;
    t.start();
    emit doc.memoryLinesAppended(first);
    view->viewport()->repaint();
    QCoreApplication::processEvents();
    const double append = static_cast<double>(t.nsecsElapsed()) / 1e6;
    const QString appendedText = view->toPlainText();
    const int appendedTop = view->verticalScrollBar()->value();

    t.restart();
    doc.UpdateAllViews();
    view->viewport()->repaint();
    QCoreApplication::processEvents();
    const double rebuild = static_cast<double>(t.nsecsElapsed()) / 1e6;
    const bool same = appendedText == view->toPlainText() && appendedTop == view->verticalScrollBar()->value();
    std::printf("appended text and scroll position equal to a rebuild's: %s\n", same ? "yes" : "NO");
    std::printf("Memory View: 4096-line dump appended below %d lines on screen in %.1f ms "
                "(a whole rebuild of the text: %.1f ms, ratio %.1fx)\n",
                first, append, rebuild, append > 0 ? rebuild / append : 0.0);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    measureBreakpointWait(seconds);
    measureMemoryViewAppend();
    return 0;
}
