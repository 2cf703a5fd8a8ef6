#include "ScriptedPeer.h"

#include <chrono>

ScriptedPeer::ScriptedPeer(PtyPair& pty) : pty_(pty) {}

ScriptedPeer::~ScriptedPeer() {
    if (thread_.joinable())
        thread_.join();
}

void ScriptedPeer::start(Script script) {
    if (thread_.joinable())
        thread_.join();
    thread_ = std::thread([this, script = std::move(script)] { script(*this); });
}

std::vector<uint8_t> ScriptedPeer::finish() {
    if (thread_.joinable())
        thread_.join();
    const std::vector<uint8_t> rest = pty_.readAvailable(0);
    std::lock_guard<std::mutex> lock(mutex_);
    received_.insert(received_.end(), rest.begin(), rest.end());
    return received_;
}

std::vector<uint8_t> ScriptedPeer::expect(size_t n, int timeoutMs) {
    std::vector<uint8_t> bytes = pty_.readBytes(n, timeoutMs);
    std::lock_guard<std::mutex> lock(mutex_);
    received_.insert(received_.end(), bytes.begin(), bytes.end());
    return bytes;
}

void ScriptedPeer::send(const std::vector<uint8_t>& bytes) { pty_.write(bytes); }

int ScriptedPeer::echoCommand(int timeoutMs) {
    const std::vector<uint8_t> cmd = expect(1, timeoutMs);
    if (cmd.empty())
        return -1;
    send({static_cast<uint8_t>(~cmd[0])});
    return cmd[0];
}

void ScriptedPeer::pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::vector<uint8_t> ScriptedPeer::received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}
