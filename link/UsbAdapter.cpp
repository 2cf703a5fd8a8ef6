#include "link/UsbAdapter.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

// Silicon Labs' CP2102/CP2104 share one product id; both divide a fixed clock through a table of
// rates and answer a request for 125000 with 128000, 2.4 % off (a receiver at 125000 then sees
// garbage). Rates up to 115200 come out right.
constexpr std::array<RateLimitedAdapter, 1> kRateLimited{{
    {{0x10C4, 0xEA60}, "CP210x", 115200},
}};

std::optional<uint16_t> hexIdFile(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string text;
    if (!(in >> text) || text.empty() || text.size() > 4)
        return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + uint32_t(digit);
    }
    return static_cast<uint16_t>(value);
}

} // namespace

std::optional<UsbId> usbIdOfTty(const std::string& sysfsRoot, const std::string& tty) {
    namespace fs = std::filesystem;
    const std::string name = fs::path(tty).filename().string();
    if (name.empty() || name == "." || name == "..")
        return std::nullopt;
    std::error_code ec;
    fs::path device = fs::canonical(fs::path(sysfsRoot) / "class" / "tty" / name / "device", ec);
    if (ec)
        return std::nullopt;
    const fs::path root = fs::canonical(sysfsRoot, ec);
    if (ec)
        return std::nullopt;
    // The interface and the device above it; a few levels are enough, and never out of the tree.
    for (int level = 0; level < 6 && device != root && device.has_relative_path(); ++level) {
        const auto vendor = hexIdFile(device / "idVendor");
        const auto product = hexIdFile(device / "idProduct");
        if (vendor && product)
            return UsbId{*vendor, *product};
        device = device.parent_path();
    }
    return std::nullopt;
}

const RateLimitedAdapter* rateLimitedAdapter(const UsbId& id) {
    for (const auto& adapter : kRateLimited)
        if (adapter.id == id)
            return &adapter;
    return nullptr;
}
