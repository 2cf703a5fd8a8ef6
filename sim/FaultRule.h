#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// What a line fault does to the byte that triggers it.
enum class FaultKind : uint8_t {
    Drop,      // the byte is lost
    Garble,    // one to eight of its bits are flipped
    Duplicate, // it arrives twice
    Delay,     // it (and every byte behind it in that direction) arrives ms later
    Outage,    // the line carries nothing either way for ms, starting with this byte
    Reset,     // the board's RESET button is pressed as the byte crosses
};
inline constexpr int kFaultKindCount = 6;

// Which bytes a fault watches.
enum class FaultDirection : uint8_t { ToBoard, ToHost, Both };

// One fault of the virtual board's serial line, written as text like
//   drop,p=0.01   garble,p=0.02,dir=to-host   delay,p=0.05,ms=40   outage,ms=300,after=500
//   reset,every=2000,count=3   duplicate,after=17,dir=to-board
// Exactly one trigger: p=P (each byte with probability 0 < P <= 1), after=K (once, at the K-th
// byte) or every=K (at every K-th byte). Bytes are counted in the fault's direction (dir=to-board,
// to-host or both, the default). count=N ends the fault after N injections. delay and outage need
// ms=1..600000 (wall-clock milliseconds); the other kinds take no ms.
struct FaultRule {
    FaultKind kind = FaultKind::Drop;
    FaultDirection direction = FaultDirection::Both;
    double probability = 0; // trigger p=, 0 when another trigger is used
    uint64_t after = 0;     // trigger after=, 0 when unused
    uint64_t every = 0;     // trigger every=, 0 when unused
    uint64_t limit = 0;     // count=, 0 for no limit
    uint32_t ms = 0;        // delay or outage length

    // Parses one fault text; false with a reason (naming the offending part) on any error.
    static bool parse(std::string_view text, FaultRule* spec, std::string* error);
    // The fault written back as text that parse accepts.
    std::string text() const;
    // Whether a byte travelling in direction (ToBoard or ToHost) is watched by this fault.
    bool watches(FaultDirection byteDirection) const {
        return direction == FaultDirection::Both || direction == byteDirection;
    }
};

// The name of a kind as written in fault texts ("drop", "garble", ...).
std::string_view faultKindName(FaultKind kind);
