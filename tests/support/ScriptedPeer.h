#pragma once
#include "PtyPair.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The far end of a pseudo-terminal played by a script on its own thread. The script is plain
// code calling expect/send/pause; every byte the host sent is kept in order, so a test can
// compare the exact traffic on the wire once the host call has returned.
class ScriptedPeer {
public:
    using Script = std::function<void(ScriptedPeer&)>;

    // A peer on the master end of pty.
    explicit ScriptedPeer(PtyPair& pty);
    // Joins a running script.
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    // Runs script on the peer thread.
    void start(Script script);
    // Waits for the script to end, then adds whatever the host has sent since; returns all host bytes.
    std::vector<uint8_t> finish();

    // Script step: reads n host bytes (fewer when one does not come within timeoutMs).
    std::vector<uint8_t> expect(size_t n, int timeoutMs = 2000);
    // Script step: sends bytes to the host.
    void send(const std::vector<uint8_t>& bytes);
    // Script step: reads one command byte and answers with its complement; returns the byte or -1.
    int echoCommand(int timeoutMs = 2000);
    // Script step: sleeps.
    static void pause(int ms);

    // Every byte the host has sent so far, in order.
    std::vector<uint8_t> received() const;

private:
    PtyPair& pty_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<uint8_t> received_;
};
