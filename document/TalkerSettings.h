#pragma once
#include <QString>
#include <cstdint>

// The talker start-up settings kept in the section "Startup" of the settings store.
struct TalkerSettings {
    QString port = QStringLiteral("COM1");               // "Port"
    int32_t talkerType = 0;                              // "Talker": 0 RAM, 1 ROM, 2 DUART, -1 none
    QString talkerFile = QStringLiteral("ambrel.boo");   // "Talker Filename"
    int32_t eepromEnable = 0;                            // "EEPROM": 0 or 1
    int32_t chipMode = 0;                                // "Mode": 0 Bootstrap, 1 Special Test, -1 none
    uint32_t commDelay = 20;                             // "Comm Delay": serial read wait in ms
    int32_t defaultBase = 0;                             // "Default Base": 0 dec, 1 hex, 2 bin, -1 none
    bool fastLine = true;                                // "Fast Line": 125000 baud with our talker
    QString chip = QStringLiteral("a1");                 // "Chip": a1, a8, e1, e9 or 811e2
    uint32_t crystalHz = 8000000;                        // "Crystal": the board's crystal in Hz
    QString resetLine = QStringLiteral("none");          // "Reset Line": none, dtr, rts, dtr-inverted, rts-inverted
    bool keepBreakpoints = false;                        // "Keep Breakpoints": set again after a hit (else one-shot)

    bool operator==(const TalkerSettings&) const = default;
};
