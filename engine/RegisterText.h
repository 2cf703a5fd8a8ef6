#pragma once
#include "link/NumberParse.h"
#include "engine/TargetRegisters.h"

#include <array>
#include <cstdint>
#include <string>


// The texts of the Registers window's seven fields.
struct RegisterFields {
    std::string A = "$00";
    std::string B = "$00";
    std::string X = "$0000";
    std::string Y = "$0000";
    std::string PC = "$0000";
    std::string SP = "$0000";   // the interrupted program's own stack pointer: the frame's SP + 8
    std::string CCR = "%00000000";
};

// One field of the Registers window: its label and which text it shows.
struct RegisterFieldInfo {
    const char* label;
    std::string RegisterFields::*text;
    bool editable;  // A, B, X and Y; the others are shown only
    uint32_t max;   // the largest value the register takes
};

// Conversions between register values and the Registers window's field texts.
class RegisterText {
public:
    // The fields in window order with their labels.
    static constexpr std::array<RegisterFieldInfo, 7> kFields{{
        {"Accumulator A", &RegisterFields::A, true, 0xFF},
        {"Accumulator B", &RegisterFields::B, true, 0xFF},
        {"Index X", &RegisterFields::X, true, 0xFFFF},
        {"Index Y", &RegisterFields::Y, true, 0xFFFF},
        {"Program Counter", &RegisterFields::PC, false, 0xFFFF},
        {"Stack Pointer", &RegisterFields::SP, false, 0xFFFF},
        {"CCR", &RegisterFields::CCR, false, 0xFF},
    }};
    // The legend under the CCR field, naming its bits from bit 7 down.
    static constexpr const char* kCcrLegend = "(SXHI NZVC)";

    // The field texts as Read Regs shows them.
    static RegisterFields fields(const TargetRegisters& r);
    // "%" and the eight condition-code bits, S first.
    static std::string ccrText(uint8_t ccr);
    // The condition codes by name, S first, the set ones in bold (HTML) and the clear ones
    // greyed, for a CCR field text ("%" and eight bits); empty for a text that is not one.
    static std::string ccrFlagsHtml(const std::string& ccrField);
    // Write Regs: parses A, B, CCR, X, Y and PC into r in the given default base; SP keeps its
    // value. The first field whose text is no number or out of its register's range (what is
    // wrong in problem, when given), with r left as it was; null when every field was taken.
    static const RegisterFieldInfo* apply(const RegisterFields& texts, TargetRegisters& r, NumberBase base,
                                          NumberProblem* problem = nullptr);
};
