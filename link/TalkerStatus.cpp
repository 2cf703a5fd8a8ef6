#include "link/TalkerStatus.h"

#include <array>
#include <cstddef>

namespace {

constexpr std::array<const char*, 24> kStatusTexts{
    "Operation was successful",                   // 0
    "Error - Unknown Comm Error",                 // 1
    "Communications port is not open",            // 2
    "Unable to open communications port",         // 3
    "Unable to open talker file",                 // 4
    "Invalid talker file detected",               // 5
    "Invalid talker type specified",              // 6
    "Reading talker failed",                      // 7
    "Reading map file failed",                    // 8
    "Reading S19 failed",                         // 9
    "Talker did not respond",                     // 10
    "Echo not received properly from talker",     // 11
    "Reset operation unsuccessful",               // 12
    "Register write failed",                      // 13
    "The search byte was not found in the range", // 14
    "Programming EEPROM failed",                  // 15
    "Opening S19 file failed",                    // 16
    "Invalid S19 file",                           // 17
    "S19 file does not match memory",             // 18
    "Breakpoint limit already met",               // 19
    "Breakpoint set at location",                 // 20
    "Breakpoint not in table",                    // 21
    "Invalid opcode found at specified address",  // 22
    "Trace instruction command failed",           // 23
};

static_assert(kTalkerTraceFailed + 1 == static_cast<TalkerStatus>(kStatusTexts.size()));

} // namespace

const char* talkerStatusText(TalkerStatus status) {
    if (status < 0 || status >= static_cast<TalkerStatus>(kStatusTexts.size()))
        return "Unknown Error";
    return kStatusTexts[static_cast<size_t>(status)];
}
