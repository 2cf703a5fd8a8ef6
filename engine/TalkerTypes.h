#pragma once

// Which kind of talker a start brings up.
enum class TalkerType { Ram = 0, Rom = 1 };
// The chip mode a start leaves the chip in.
enum class ChipMode { Bootstrap = 0, SpecialTest = 1 };
