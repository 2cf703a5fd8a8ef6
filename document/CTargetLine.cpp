#include "document/CTargetLine.h"
#include "session/DebugSession.h"
#include <QSocketNotifier>
#include <QTimer>

namespace {
// After repeated wake-ups that found no "J" (a hung-up line stays readable), the poll looks again
// only after this pause instead of spinning.
constexpr int kIdleRetryMs = 5;
} // namespace

CTargetLine::Transfer::Transfer(CTargetLine* line) : line_(line), granted_(!line || !line->busy_)
{
    if (line_ && granted_)
        line_->setBusy(true);
}

CTargetLine::Transfer::~Transfer()
{
    if (line_ && granted_) {
        line_->setBusy(false);
        line_->rearm();
    }
}

CTargetLine::CTargetLine(DebugSession& session, QObject* parent)
    : QObject(parent), session_(session), retry_(new QTimer(this))
{
    retry_->setSingleShot(true);
    retry_->setInterval(kIdleRetryMs);
    connect(retry_, &QTimer::timeout, this, &CTargetLine::rearm);
}

CTargetLine::~CTargetLine()
{
    delete notifier_.data();
}

bool CTargetLine::watching() const
{
    return notifier_ && notifier_->isEnabled();
}

void CTargetLine::setBusy(bool busy)
{
    if (busy_ == busy)
        return;
    busy_ = busy;
    if (busy) {
        lost_ = false;
        watch(false);
    }
    emit busyChanged(busy);
}

void CTargetLine::watch(bool on)
{
    const int fd = session_.descriptor();
    if (!on || fd < 0) {
        if (notifier_)
            notifier_->setEnabled(false);
        return;
    }
    if (!notifier_ || notifier_->socket() != fd) {
        delete notifier_.data();
        notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &CTargetLine::pollNow);
    }
    notifier_->setEnabled(true);
}

void CTargetLine::rearm()
{
    if (retry_->isActive())
        return;
    watch(!busy_ && !lost_ && session_.awaitingHit() && session_.descriptor() >= 0);
}

void CTargetLine::pollNow()
{
    if (busy_)
        return;
    ++polls_;
    BreakpointHit hit;
    {
        Transfer transfer(this);
        // Stays off until the hit is handled: a message box of the handler runs an event loop.
        watch(false);
        hit = session_.pollForHit();
        if (hit.kind != BreakpointHitKind::None) {
            idleWakeups_ = 0;
        } else if (hit.status != kTalkerOk) {
            lost_ = true;
        } else if (++idleWakeups_ > 1) {
            retry_->start();
        }
    }
}
