#include "RegisterText.h"

#include "CommandTexts.h"
#include "NumberParse.h"
#include "RegisterFrame.h"

namespace {

TargetRegisters fromFrame(const RegisterFrame& f)
{
    return TargetRegisters{f.SP, f.CCR, f.B, f.A, f.X, f.Y, f.PC};
}

} // namespace

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

RegisterFields RegisterText::fields(const RegisterFrame& frame) { return fields(fromFrame(frame)); }

std::string RegisterText::ccrText(uint8_t ccr)
{
    std::string text = "%";
    for (int bit = 7; bit >= 0; --bit)
        text += (ccr >> bit) & 1 ? '1' : '0';
    return text;
}

void RegisterText::apply(const RegisterFields& texts, TargetRegisters& r)
{
    r.A = static_cast<uint8_t>(parseNumber(texts.A));
    r.B = static_cast<uint8_t>(parseNumber(texts.B));
    r.X = parseNumber(texts.X);
    r.Y = parseNumber(texts.Y);
    r.CCR = static_cast<uint8_t>(parseNumber(texts.CCR));
    r.PC = parseNumber(texts.PC);
}

void RegisterText::apply(const RegisterFields& texts, RegisterFrame& frame)
{
    TargetRegisters r = fromFrame(frame);
    apply(texts, r);
    frame.A = r.A;
    frame.B = r.B;
    frame.X = r.X;
    frame.Y = r.Y;
    frame.CCR = r.CCR;
    frame.PC = r.PC;
}
