#include "PtyPair.h"
#include "SessionRig.h"
#include "link/UsbAdapter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// A fake sysfs tree: each tty's class entry links to its device folder; the USB device with its
// ids is `up` levels above (a USB-serial driver's tty sits below the interface, a CDC-ACM tty's
// device is the interface, a built-in UART has no USB device).
TEST(UsbAdapterLookup, IdsOfTheUsbDeviceAboveEachTty) {
    char pattern[] = "/tmp/tarvik11-sysfs-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path root = pattern;
    auto addTty = [&](const std::string& tty, const std::string& path, int up, const std::string& ids) {
        fs::create_directories(root / "devices" / path);
        fs::create_directories(root / "class/tty" / tty);
        fs::create_symlink(root / "devices" / path, root / "class/tty" / tty / "device");
        fs::path usb = root / "devices" / path;
        for (int i = 0; i < up; ++i)
            usb = usb.parent_path();
        if (!ids.empty()) {
            std::ofstream(usb / "idVendor") << ids.substr(0, 4) << "\n";
            std::ofstream(usb / "idProduct") << ids.substr(5) << "\n";
        }
    };
    addTty("ttyUSB0", "usb1/1-2/1-2:1.0/ttyUSB0", 2, "10c4:ea60");
    addTty("ttyUSB1", "usb1/1-3/1-3:1.0/ttyUSB1", 2, "0403:6001");
    addTty("ttyACM0", "usb1/1-4/1-4:1.0", 1, "2341:0043");
    addTty("ttyS0", "platform/serial8250/tty/ttyS0", 0, "");
    addTty("ttyUSB9", "usb1/1-5/1-5:1.0/ttyUSB9", 2, "zz10:ea60"); // a damaged id
    const std::pair<std::string, std::optional<UsbId>> cases[] = {
        {"/dev/ttyUSB0", UsbId{0x10C4, 0xEA60}}, {"ttyUSB1", UsbId{0x0403, 0x6001}},
        {"ttyACM0", UsbId{0x2341, 0x0043}},      {"ttyS0", std::nullopt},
        {"ttyUSB7", std::nullopt},               {"ttyUSB9", std::nullopt},
        {"..", std::nullopt},
    };
    for (const auto& [tty, id] : cases)
        EXPECT_EQ(usbIdOfTty(root.string(), tty), id) << tty;

    // Only an adapter that cannot make the fast rate keeps the line at the talker's rate.
    EXPECT_EQ(fastLineRefusal(root.string(), "/dev/ttyUSB0", 125000),
              "The CP210x adapter (USB 10c4:ea60) on /dev/ttyUSB0 cannot make 125000 baud: the line stays at "
              "the talker's rate");
    EXPECT_EQ(fastLineRefusal(root.string(), "/dev/ttyUSB0", 115200), ""); // a 7.3728 MHz crystal
    EXPECT_EQ(fastLineRefusal(root.string(), "/dev/ttyUSB1", 125000), "");
    fs::remove_all(root);
}

// A port held by another program, or a reset line the device does not have: the boot fails
// naming the device and the cause after the status's own text, and nothing is downloaded.
TEST(SessionBootPort, BusyPortAndMissingResetLineAreNamed) {
    PtyPair pty;
    ASSERT_TRUE(pty.valid());
    SerialPort other;
    ASSERT_EQ(other.open(pty.modeText()), 0);
    Recorder seen;
    DebugSession session;
    session.setObserver(&seen);
    BootSettings boot;
    boot.port = pty.slavePath();
    boot.talkerFile = TARVIK11_TALKER_FILE;
    CommandResult result = session.boot(boot);
    EXPECT_EQ(result.errorText(),
              "Unable to open communications port: " + pty.slavePath() + " is in use by another program");

    other.close();
    seen = Recorder{};
    boot.reset = ResetPulse{ResetLine::Dtr, true};
    result = session.boot(boot);
    EXPECT_EQ(result.errorText(),
              "Unable to reset the board through DTR on " + pty.slavePath() + ": " + std::strerror(ENOTTY));
    EXPECT_EQ(seen.texts, std::vector<std::string>{"Resetting the 68HC11 through DTR..."});
    EXPECT_TRUE(pty.readAvailable(0).empty());
    EXPECT_EQ(session.runState(), RunState::NoTalker);
    session.setObserver(nullptr);
}

} // namespace
