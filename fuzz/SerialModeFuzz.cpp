#include "FuzzCheck.h"
#include "FuzzEntries.h"
#include "FuzzPty.h"
#include "link/SerialPort.h"

#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace {

constexpr const char* kMissingFolder = "/nonexistent";

// A port map whose COM names lead into the missing folder, so no text can reach a real device.
std::map<std::string, std::string> redirectedPortMap() {
    struct stat st {};
    if (::stat(kMissingFolder, &st) == 0)
        fuzzExpect(false, std::string(kMissingFolder) + " exists; the serial mode fuzzer needs it absent");
    auto map = SerialPort::defaultPortMap();
    for (auto& entry : map)
        entry.second = std::string(kMissingFolder) + "/" + entry.first;
    return map;
}

// The port name as open() takes it: up to the last ':' before the first ','.
std::string portNameOf(const std::string& modeText) {
    const size_t colon = modeText.rfind(':', modeText.find(','));
    return colon == std::string::npos ? modeText : modeText.substr(0, colon);
}

// A port held open on a pseudo-terminal for the whole run.
struct OpenPort {
    FuzzPty pty;
    SerialPort port;
    bool ready = false;
    OpenPort() { ready = pty.valid() && port.open(pty.slavePath() + ":9600,e,7,2") == 0; }
};

} // namespace

int fuzzSerialMode(const uint8_t* data, size_t size) {
    static const std::map<std::string, std::string> ports = redirectedPortMap();
    std::string text(reinterpret_cast<const char*>(data), size);
    const std::string device = SerialPort::resolvePortName(portNameOf(text), ports);
    if (!device.empty() && device.rfind(std::string(kMissingFolder) + "/", 0) != 0)
        text = std::string(kMissingFolder) + "/x" + text;

    SerialPort closed;
    closed.ports = ports;
    const int result = closed.open(text);
    fuzzExpect(result != 0, "a mode text naming no device opened a port");
    fuzzExpect(!closed.isOpen() && closed.descriptor() < 0, "a failed open left the port open");
    fuzzExpect(closed.parity() >= 0 && closed.parity() <= 2, "parity outside 0..2");
    fuzzExpect(closed.stopBits() >= 0 && closed.stopBits() <= 2, "stop bits outside 0..2");

    static OpenPort held;
    if (!held.ready)
        return 0;
    held.port.ports = ports;
    const std::string deviceBefore = held.port.deviceName();
    const int fd = held.port.descriptor();
    const int baud = held.port.baudRate();
    const int dataBits = held.port.dataBits();
    const int parity = held.port.parity();
    const int stopBits = held.port.stopBits();
    fuzzExpect(held.port.open(text) != 0, "a second open of an open port succeeded");
    fuzzExpect(held.port.isOpen() && held.port.descriptor() == fd,
               "a refused open closed or replaced the open port");
    fuzzExpect(held.port.deviceName() == deviceBefore && held.port.baudRate() == baud &&
                   held.port.dataBits() == dataBits && held.port.parity() == parity &&
                   held.port.stopBits() == stopBits,
               "a refused open changed the open port's device or line settings");
    return 0;
}
