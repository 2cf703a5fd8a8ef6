#include "hc11/InstructionDecoder.h"

// The view is constant data; this unit checks its overall shape once.
namespace {
constexpr int countInvalid()
{
    int n = 0;
    for (int op = 0; op < 256; ++op)
        n += InstructionDecoder::decode(static_cast<uint8_t>(op)).valid ? 0 : 1;
    return n;
}
constexpr int countFlow()
{
    int n = 0;
    for (int op = 0; op < 256; ++op)
        n += InstructionDecoder::decode(static_cast<uint8_t>(op)).changesFlow ? 1 : 0;
    return n;
}
} // namespace

static_assert(countInvalid() == 20, "exactly twenty undefined page-1 opcodes");
static_assert(countFlow() == 4 + 16 + 1 + 2 + 1 + 3, "BRSET/BRCLR, branches, RTS, JMP, BSR, JSR");
