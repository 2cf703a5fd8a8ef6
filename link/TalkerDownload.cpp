// The talker's download through the chip's boot loader, with every echo checked.
#include "link/TalkerLink.h"

#include "link/ByteChannel.h"
#include "link/Deadline.h"

#include <algorithm>

namespace {
// The last image bytes go one at a time, each once the echo before it came: their round trips
// measure the line. The very last of them is the one held back until every echo is right.
constexpr int kTimedBytes = 8;
// Each timed byte goes this much later than the one before it: an adapter's timer runs on its
// own, and echoes sent in step with it would all meet it at the same phase (a 16 ms timer and
// two characters at 1200 baud take about as long), measuring the same short wait every time.
constexpr auto kStagger = std::chrono::milliseconds(2);
// How long the echoes of the bulk may trail the bulk's last byte leaving the host, beyond their
// own wire time: room for an adapter's longest latency timer and a loaded host.
constexpr auto kEchoSlack = std::chrono::milliseconds(300);
// Time given to a doubled echo to show after the echoes expected, beyond two character times.
constexpr auto kStraySlack = std::chrono::milliseconds(30);
} // namespace

int TalkerLink::readWaitFor(std::chrono::microseconds roundTrip, int floorMs) {
    if (roundTrip.count() < 0)
        return floorMs;
    const auto roundTripMs = (roundTrip.count() + 999) / 1000;
    // Twice the measured round trip covers an adapter's timer at its worst phase, and a margin
    // covers the talker's own time to answer.
    return std::max<int>(floorMs, static_cast<int>(std::min<int64_t>(2 * roundTripMs + 8, kMaxDerivedReadWaitMs)));
}

bool TalkerLink::takeEchoes(const uint8_t* sent, int count, int firstIndex, std::chrono::microseconds wait) {
    const Deadline deadline(wait);
    for (int i = 0; i < count; ++i) {
        uint8_t echo = 0;
        if (!port_.waitReadable(deadline) || port_.read(&echo, 1) != 1 || echo != sent[i]) {
            download_.damagedAt = firstIndex + i;
            return false;
        }
    }
    return true;
}

bool TalkerLink::strayEchoFollows(int index) {
    if (!port_.inputWithin(port_.characterTime(2) + kStraySlack))
        return false;
    download_.damagedAt = index;
    return true;
}

TalkerStatus TalkerLink::downloadImage(const uint8_t* image, int size, bool timedTail) {
    download_ = DownloadReport{};
    download_.imageBytes = size - 1;
    // The boot loader takes the first byte as its synchronisation character (no echo), then
    // stores the image bytes and echoes each as it arrives; it runs the image once it has the
    // last. So every echo is checked before the last byte goes: a byte lost, doubled or damaged
    // on either way shows as a wrong, missing or extra echo, and the last byte is held back, so
    // the loader runs nothing (it waits for a RESET).
    const int data = size - 1;
    const int bulk = timedTail ? data - kTimedBytes : data;
    // The bulk goes in pieces when the caller follows the download, so that it can show progress
    // and offer to cancel between them; the pause between two pieces is the caller's work between
    // its calls, far below the four idle character times (33 ms at 1200 baud) that end an
    // E-series chip's download.
    const int piece = downloadProgress ? kDownloadPiece : 1 + bulk;
    for (int sent = 0; sent < 1 + bulk; sent += piece) {
        if (downloadProgress && !downloadProgress(uint64_t(sent), uint64_t(size))) {
            closePort();
            return kTalkerCommError;
        }
        if (port_.write(image + sent, std::min(piece, 1 + bulk - sent)) != 0)
            return kTalkerCommError;
    }
    // The bulk's echoes trail its last byte; a caller that follows the download gets its turn
    // between pieces of them too (the image is all sent: nothing waits on the caller here).
    for (int taken = 0; taken < bulk; taken += piece) {
        const int n = std::min(piece, bulk - taken);
        if (taken > 0 && downloadProgress && !downloadProgress(uint64_t(1 + bulk), uint64_t(size))) {
            closePort();
            return kTalkerCommError;
        }
        if (!takeEchoes(image + 1 + taken, n, taken, port_.characterTime(2) + kEchoSlack))
            return kTalkerBadEcho;
    }
    if (strayEchoFollows(bulk))
        return kTalkerBadEcho;
    std::chrono::microseconds worst{0};
    bool endReported = false;
    for (int i = bulk; i < data; ++i) {
        // Each timed byte takes a round trip and the wait for a stray echo (about 70 ms at 1200
        // baud together): the caller gets its turn before each of them, as between the bulk's
        // pieces. A doubled echo that comes during the caller's turn is still queued for the check.
        if (downloadProgress && !downloadProgress(uint64_t(1 + i), uint64_t(size))) {
            closePort();
            return kTalkerCommError;
        }
        Deadline(kStagger * (i - bulk)).sleepUntil();
        const Deadline::Clock::time_point start = Deadline::now();
        if (port_.write(image + 1 + i, 1) != 0)
            return kTalkerCommError;
        if (!takeEchoes(image + 1 + i, 1, i, port_.characterTime(2) + kEchoSlack))
            return kTalkerBadEcho;
        const auto took = std::chrono::duration_cast<std::chrono::microseconds>(Deadline::now() - start);
        // The round trip beyond the two characters' own wire time.
        worst = std::max(worst, took - port_.characterTime(2));
        if (downloadProgress) {
            // After the last byte the loader runs the image: the end is reported, nothing can be
            // abandoned any more.
            if (i + 1 == data) {
                endReported = true;
                (void)downloadProgress(uint64_t(size), uint64_t(size));
            } else if (!downloadProgress(uint64_t(1 + i), uint64_t(size))) {
                closePort();
                return kTalkerCommError;
            }
        }
        // An extra echo (a byte doubled on its way) stops all but the last byte; after the last
        // one the loader has run the image, and the failure is still reported.
        if (strayEchoFollows(i + 1))
            return kTalkerBadEcho;
    }
    if (timedTail)
        download_.roundTrip = std::max(worst, std::chrono::microseconds(0));
    if (downloadProgress && !endReported)
        (void)downloadProgress(uint64_t(size), uint64_t(size));
    return kTalkerOk;
}
