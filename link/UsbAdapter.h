#pragma once
#include <cstdint>
#include <optional>
#include <string>

// USB-serial adapters the host knows by their USB ids.

struct UsbId {
    uint16_t vendor = 0;
    uint16_t product = 0;
    bool operator==(const UsbId&) const = default;
};

// The USB vendor and product id of the adapter behind a tty ("ttyUSB0", or a device path whose
// last part names it, "/dev/ttyUSB0"), looked up in a sysfs tree at sysfsRoot ("/sys"): the tty's
// class entry links to its device, and the nearest folder above it with idVendor and idProduct
// is the USB device. Nothing for a tty that is no USB device (a built-in UART, a pty) or an
// unreadable tree.
std::optional<UsbId> usbIdOfTty(const std::string& sysfsRoot, const std::string& tty);

// An adapter that cannot make a rate a 68HC11 line needs.
struct RateLimitedAdapter {
    UsbId id;
    const char* name;
    uint32_t highestRate; // rates up to this come out right; above it only those of its fixed table
};
// The adapter with this id when its rate table lacks uncommon fast rates (a CP2102 makes 128000
// from a request for 125000); nothing for an adapter that makes any rate.
const RateLimitedAdapter* rateLimitedAdapter(const UsbId& id);
