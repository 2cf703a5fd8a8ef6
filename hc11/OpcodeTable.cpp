#include "hc11/OpcodeTable.h"

// The table is constant data in the header; this unit checks rules that hold across it once.
namespace {

using namespace opcodes;

constexpr int countDefined(const OpcodePage& page)
{
    int n = 0;
    for (const Opcode& o : page)
        n += o.mode == AddressMode::Undefined ? 0 : 1;
    return n;
}

// Every defined entry has a name and a length, every undefined one neither; a condition belongs
// to exactly the Branches; relative operands only to control transfers.
constexpr bool entriesAreConsistent(const OpcodePage& page)
{
    for (const Opcode& o : page) {
        const bool defined = o.mode != AddressMode::Undefined;
        if (defined != !o.mnemonic.empty() || defined != (o.length != 0) || defined != (o.flow != FlowKind::Undefined))
            return false;
        if ((o.flow == FlowKind::Branch) != (o.condition != BranchCondition::None))
            return false;
        if (o.mode == AddressMode::Relative && o.flow == FlowKind::Next)
            return false;
    }
    return true;
}

// The other pages hold the page-1 instruction of the same opcode byte in another form: one byte
// longer for the prebyte, at least one E cycle slower for its fetch, with the same kind of control
// transfer.
constexpr bool pagesFollowPageOne(const OpcodePage& page)
{
    for (size_t op = 0; op < 256; ++op) {
        const Opcode& o = page[op];
        if (o.mode == AddressMode::Undefined)
            continue;
        const Opcode& one = kPage1[op];
        if (one.mode == AddressMode::Undefined || o.length != one.length + 1 || o.flow != one.flow ||
            o.condition != one.condition || o.cycles < one.cycles + 1)
            return false;
    }
    return true;
}

} // namespace

static_assert(countDefined(kPage1) == 256 - 20, "twenty undefined page-1 opcodes; the prebytes count as defined");
static_assert(countDefined(kPage2) == 64 && countDefined(kPage3) == 7 && countDefined(kPage4) == 4);
static_assert(entriesAreConsistent(kPage1) && entriesAreConsistent(kPage2) && entriesAreConsistent(kPage3) &&
              entriesAreConsistent(kPage4));
static_assert(pagesFollowPageOne(kPage2) && pagesFollowPageOne(kPage3) && pagesFollowPageOne(kPage4));
