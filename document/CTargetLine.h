#pragma once
#include "engine/BreakpointHit.h"
#include <QObject>
#include <QPointer>

class DebugSession;
class QSocketNotifier;
class QTimer;

// The user interface's use of the serial line to the target: one conversation at a time, and
// the breakpoint poll in between. While a program started with breakpoints runs, a notifier on
// the line's readiness descriptor (the serial port's, or the event descriptor of an in-process
// board's line) wakes the poll only when bytes arrive, so waiting for the talker's "J"
// costs no processor time. The poll never runs inside a transfer, and a second command is refused
// while one is still exchanging bytes (the event pumping of a long transfer lets the user pick one).
class CTargetLine : public QObject {
    Q_OBJECT
public:
    CTargetLine(DebugSession& session, QObject* parent = nullptr);
    ~CTargetLine() override;

    // Marks the line busy for one command's exchange with the target (scope-bound).
    class Transfer {
    public:
        // Takes the line; granted() is false when another transfer holds it (line may be null:
        // then always granted).
        explicit Transfer(CTargetLine* line);
        // Frees the line and lets the poll watch it again.
        ~Transfer();
        Transfer(const Transfer&) = delete;
        Transfer& operator=(const Transfer&) = delete;
        // True when this scope may talk to the target.
        bool granted() const { return granted_; }

    private:
        CTargetLine* line_;
        bool granted_;
    };

    // True while a command is exchanging bytes with the target.
    bool busy() const { return busy_; }
    // True while the poll watches the line for a breakpoint hit.
    bool watching() const;
    // Starts or stops watching to match the session's wait for a hit and the line's descriptor;
    // called after every command and after the port is reopened.
    void rearm();
    // Looks for a hit at once (what a readable line triggers); the session tells its observer
    // about anything but "nothing yet". Does nothing while busy.
    void pollNow();

    // Number of polls run since creation (each is one wake-up of the user-interface thread).
    quint64 pollCount() const { return polls_; }

signals:
    // The line became busy or free.
    void busyChanged(bool busy);

private:
    void setBusy(bool busy);
    void watch(bool on);

    DebugSession& session_;
    QPointer<QSocketNotifier> notifier_;
    QTimer* retry_;
    bool busy_ = false;
    // The line hung up while a program ran; no more polling until the next command.
    bool lost_ = false;
    int idleWakeups_ = 0;
    quint64 polls_ = 0;
};
