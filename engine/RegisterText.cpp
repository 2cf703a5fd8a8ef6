#include "engine/RegisterText.h"

#include "engine/CommandTexts.h"
#include "link/NumberParse.h"

RegisterFields RegisterText::fields(const TargetRegisters& r)
{
    RegisterFields f;
    f.A = CommandText::format("$%02x", r.A);
    f.B = CommandText::format("$%02x", r.B);
    f.X = CommandText::format("$%04x", r.X);
    f.Y = CommandText::format("$%04x", r.Y);
    f.PC = CommandText::format("$%04x", r.PC);
    f.SP = CommandText::format("$%04x", (r.SP + 8) & 0xFFFF);
    f.CCR = ccrText(r.CCR);
    return f;
}

std::string RegisterText::ccrText(uint8_t ccr)
{
    std::string text = "%";
    for (int bit = 7; bit >= 0; --bit)
        text += (ccr >> bit) & 1 ? '1' : '0';
    return text;
}

std::string RegisterText::ccrFlagsHtml(const std::string& ccrField)
{
    static constexpr const char* kNames[8] = {"S", "X", "H", "I", "N", "Z", "V", "C"};
    if (ccrField.size() != 9 || ccrField[0] != '%' || ccrField.find_first_not_of("01", 1) != std::string::npos)
        return {};
    std::string html;
    for (int i = 0; i < 8; ++i) {
        if (i)
            html += i == 4 ? "&nbsp;&nbsp;" : "&nbsp;";
        html += ccrField[i + 1] == '1' ? std::string("<b>") + kNames[i] + "</b>"
                                        : std::string("<span style=\"color:#999\">") + kNames[i] + "</span>";
    }
    return html;
}

const RegisterFieldInfo* RegisterText::apply(const RegisterFields& texts, TargetRegisters& r, NumberBase base,
                                             NumberProblem* problem)
{
    TargetRegisters next = r;
    for (const RegisterFieldInfo& f : kFields) {
        if (f.text == &RegisterFields::SP)
            continue; // shown only
        const TypedNumber typed = readTypedNumber(texts.*f.text, base, f.max);
        if (typed.problem != NumberProblem::None) {
            if (problem)
                *problem = typed.problem;
            return &f;
        }
        const uint32_t value = typed.value;
        if (f.text == &RegisterFields::A)
            next.A = static_cast<uint8_t>(value);
        else if (f.text == &RegisterFields::B)
            next.B = static_cast<uint8_t>(value);
        else if (f.text == &RegisterFields::X)
            next.X = value;
        else if (f.text == &RegisterFields::Y)
            next.Y = value;
        else if (f.text == &RegisterFields::PC)
            next.PC = value;
        else
            next.CCR = static_cast<uint8_t>(value);
    }
    r = next;
    return nullptr;
}
