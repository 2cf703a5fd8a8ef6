#include "hc11/Successors.h"

namespace {

namespace Cc {
constexpr uint8_t N = 0x08, Z = 0x04, V = 0x02, C = 0x01;
}

constexpr uint16_t word(uint8_t high, uint8_t low) { return static_cast<uint16_t>(high << 8 | low); }
constexpr uint16_t relative(uint16_t base, uint8_t offset)
{
    return static_cast<uint16_t>(base + static_cast<int8_t>(offset));
}

// The memory address an operand names: the direct or extended address, or the index register
// plus the unsigned offset. operand points at the first byte after the opcode.
uint16_t operandAddress(AddressMode mode, const uint8_t* operand, const CpuRegisters& r)
{
    switch (mode) {
    case AddressMode::Extended:
        return word(operand[0], operand[1]);
    case AddressMode::IndexedX:
    case AddressMode::BitIndexedX:
    case AddressMode::BranchIndexedX:
        return static_cast<uint16_t>(r.X + operand[0]);
    case AddressMode::IndexedY:
    case AddressMode::BitIndexedY:
    case AddressMode::BranchIndexedY:
        return static_cast<uint16_t>(r.Y + operand[0]);
    default:
        return operand[0];
    }
}

} // namespace

bool conditionHolds(BranchCondition condition, uint8_t ccr)
{
    const bool n = ccr & Cc::N, z = ccr & Cc::Z, v = ccr & Cc::V, c = ccr & Cc::C;
    switch (condition) {
    case BranchCondition::Higher: return !(c || z);
    case BranchCondition::LowerOrSame: return c || z;
    case BranchCondition::CarryClear: return !c;
    case BranchCondition::CarrySet: return c;
    case BranchCondition::NotEqual: return !z;
    case BranchCondition::Equal: return z;
    case BranchCondition::OverflowClear: return !v;
    case BranchCondition::OverflowSet: return v;
    case BranchCondition::Plus: return !n;
    case BranchCondition::Minus: return n;
    case BranchCondition::GreaterOrEqual: return n == v;
    case BranchCondition::Less: return n != v;
    case BranchCondition::Greater: return !z && n == v;
    case BranchCondition::LessOrEqual: return z || n != v;
    case BranchCondition::None:
    case BranchCondition::Never:
    case BranchCondition::BitsSet:
    case BranchCondition::BitsClear:
        break;
    }
    return false;
}

Successors successorsOf(uint16_t address, const InstructionBytes& b, const CpuRegisters& r,
                        std::span<const uint8_t> memory)
{
    Successors s;
    s.address = address;
    s.next = address;
    const Opcode& op = opcodes::instructionAt(b[0], b[1]);
    if (op.flow == FlowKind::Undefined)
        return s;
    const uint8_t* operand = &b[opcodes::isPrefix(b[0]) ? 2 : 1];

    s.kind = op.flow;
    s.length = op.length;
    s.next = static_cast<uint16_t>(address + s.length);
    auto add = [&s](uint16_t target) { s.targets[s.count++] = target; };
    // The bytes of `needs` when the caller supplied them.
    auto supplied = [&]() { return memory.size() >= s.needs.count ? memory.data() : nullptr; };

    switch (op.flow) {
    case FlowKind::Next:
        add(s.next);
        break;
    case FlowKind::Branch:
        if (op.condition == BranchCondition::BitsSet || op.condition == BranchCondition::BitsClear) {
            // Operand, mask, offset: the branch is taken when every mask bit of the tested byte is
            // set (BitsSet) or clear (BitsClear).
            add(relative(s.next, operand[2]));
            add(s.next);
            s.needs = {operandAddress(op.mode, operand, r), 1};
            if (const uint8_t* m = supplied()) {
                const uint8_t tested = op.condition == BranchCondition::BitsSet ? static_cast<uint8_t>(~m[0]) : m[0];
                s.decision = (tested & operand[1]) == 0 ? BranchDecision::Taken : BranchDecision::NotTaken;
                s.needs = {};
            }
        } else if (op.condition == BranchCondition::Never) {
            add(s.next);
            s.decision = BranchDecision::NotTaken;
        } else {
            add(relative(s.next, operand[0]));
            add(s.next);
            s.decision = conditionHolds(op.condition, r.CCR) ? BranchDecision::Taken : BranchDecision::NotTaken;
        }
        break;
    case FlowKind::Jump:
    case FlowKind::Call:
        s.decision = BranchDecision::Taken;
        add(op.mode == AddressMode::Relative ? relative(s.next, operand[0]) : operandAddress(op.mode, operand, r));
        break;
    case FlowKind::Return:
    case FlowKind::ReturnFromInterrupt:
        // RTS pulls PC; RTI pulls CCR, B, A, X, Y and then PC.
        s.needs = {static_cast<uint16_t>(r.SP + (op.flow == FlowKind::Return ? 1 : 8)), 2};
        if (const uint8_t* m = supplied()) {
            add(word(m[0], m[1]));
            s.needs = {};
        }
        break;
    case FlowKind::SoftwareInterrupt:
    case FlowKind::Wait:
    case FlowKind::Undefined:
        break;
    }
    return s;
}
