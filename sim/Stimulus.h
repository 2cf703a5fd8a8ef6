#pragma once
#include "sim/PinNames.h"
#include <string>
#include <string_view>
#include <vector>

// A stimulus file: timed events on the board's pins, read before the board starts.
//
//   # a comment (also after a line's words); blank lines are skipped
//   vrh 5.0          the analog references for volts (defaults: VRL 0 V, VRH 5 V)
//   vrl 0
//   0      PE0 2.5v     TIME PIN VALUE: at TIME, PIN takes VALUE (see sim/PinNames.h)
//   1000   PA2 rise     TIME is in E cycles counted from the board's power-on, or with a unit
//   +500us PA2 fall     (us, ms, s); +TIME is after the previous event line
//   2ms    PA7 pulse 40
//   3ms    IRQ low
//   0      spi $12 $34  from TIME on, the attached SPI device returns these bytes, one a transfer
//
// Rules: times never go back; a rise needs the pin low and a fall needs it high just before (as
// the file's own earlier lines leave it: port pins start low, port D, IRQ and XIRQ high). Any bad line
// fails the whole file with its name, line number and reason; nothing of it is used.
struct StimulusParseResult {
    std::vector<PinEvent> events; // in time order (events at the same time in file order)
    std::string error;            // "FILE:LINE: reason" when the file is refused
    bool ok() const { return error.empty(); }
};

// Parses a stimulus file's text; `fileName` names it in errors.
StimulusParseResult parseStimulus(std::string_view text, const std::string& fileName);
// Reads and parses the stimulus file at `path`.
StimulusParseResult loadStimulusFile(const std::string& path);
