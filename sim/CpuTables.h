#pragma once
#include <array>
#include <cstdint>

// Opcode tables of the 68HC11 core: one per opcode page (no prebyte, $18, $1A, $CD), sixteen
// entries to a line in opcode order. Every entry carries its addressing mode, its length in bytes
// (prebyte included) and its E-cycle count from the reference manual's instruction table.
namespace cputab {

// Addressing mode of one opcode.
enum class Mode : uint8_t {
    Illegal, // undefined opcode or prebyte/opcode pair: traps through the illegal-opcode vector
    Prefix,  // a prebyte selecting another page
    Inh,     // inherent
    Imm8,    // 8-bit immediate
    Imm16,   // 16-bit immediate
    Dir,     // direct page $00xx
    Ext,     // extended 16-bit address
    IndX,    // unsigned 8-bit offset + X
    IndY,    // unsigned 8-bit offset + Y
    Rel,     // 8-bit signed branch offset
    BitDir,  // BSET/BCLR direct: address, mask
    BitIndX, // BSET/BCLR indexed X: offset, mask
    BitIndY, // BSET/BCLR indexed Y: offset, mask
    BrDir,   // BRSET/BRCLR direct: address, mask, offset
    BrIndX,  // BRSET/BRCLR indexed X: offset, mask, offset
    BrIndY,  // BRSET/BRCLR indexed Y: offset, mask, offset
};

// One opcode: addressing mode, bytes including any prebyte, E cycles (0 where none apply).
struct OpInfo {
    Mode mode;
    uint8_t length;
    uint8_t cycles;
};

using Page = std::array<OpInfo, 256>;

namespace detail {
// Entry builders; lengths exclude a prebyte, which withPrebyte() adds.
constexpr OpInfo inh(uint8_t c) { return {Mode::Inh, 1, c}; }
constexpr OpInfo im1(uint8_t c) { return {Mode::Imm8, 2, c}; }
constexpr OpInfo im2(uint8_t c) { return {Mode::Imm16, 3, c}; }
constexpr OpInfo dir(uint8_t c) { return {Mode::Dir, 2, c}; }
constexpr OpInfo ext(uint8_t c) { return {Mode::Ext, 3, c}; }
constexpr OpInfo ixx(uint8_t c) { return {Mode::IndX, 2, c}; }
constexpr OpInfo ixy(uint8_t c) { return {Mode::IndY, 2, c}; }
constexpr OpInfo rel(uint8_t c) { return {Mode::Rel, 2, c}; }
constexpr OpInfo bsd(uint8_t c) { return {Mode::BitDir, 3, c}; }
constexpr OpInfo bsx(uint8_t c) { return {Mode::BitIndX, 3, c}; }
constexpr OpInfo bsy(uint8_t c) { return {Mode::BitIndY, 3, c}; }
constexpr OpInfo brd(uint8_t c) { return {Mode::BrDir, 4, c}; }
constexpr OpInfo brx(uint8_t c) { return {Mode::BrIndX, 4, c}; }
constexpr OpInfo bry(uint8_t c) { return {Mode::BrIndY, 4, c}; }
inline constexpr OpInfo pre{Mode::Prefix, 1, 0};
inline constexpr OpInfo ___{Mode::Illegal, 1, 0};

constexpr Page withPrebyte(Page p) {
    for (auto& e : p)
        e.length = uint8_t(e.length + 1);
    return p;
}
} // namespace detail

// Page 1: opcodes without a prebyte. TEST ($00) never completes, so it has no cycle count.
inline constexpr Page kPage1 = [] {
    using namespace detail;
    return Page{{
        // x0     x1      x2      x3      x4      x5      x6      x7      x8      x9      xA      xB      xC      xD      xE      xF
        inh(0),  inh(2), inh(41),inh(41),inh(3), inh(3), inh(2), inh(2), inh(3), inh(3), inh(2), inh(2), inh(2), inh(2), inh(2), inh(2), // 0x
        inh(2),  inh(2), brd(6), brd(6), bsd(6), bsd(6), inh(2), inh(2), pre,    inh(2), pre,    inh(2), bsx(7), bsx(7), brx(7), brx(7), // 1x
        rel(3),  rel(3), rel(3), rel(3), rel(3), rel(3), rel(3), rel(3), rel(3), rel(3), rel(3), rel(3), rel(3), rel(3), rel(3), rel(3), // 2x
        inh(3),  inh(3), inh(4), inh(4), inh(3), inh(3), inh(3), inh(3), inh(5), inh(5), inh(3), inh(12),inh(4), inh(10),inh(14),inh(14),// 3x
        inh(2),  ___,    ___,    inh(2), inh(2), ___,    inh(2), inh(2), inh(2), inh(2), inh(2), ___,    inh(2), inh(2), ___,    inh(2), // 4x
        inh(2),  ___,    ___,    inh(2), inh(2), ___,    inh(2), inh(2), inh(2), inh(2), inh(2), ___,    inh(2), inh(2), ___,    inh(2), // 5x
        ixx(6),  ___,    ___,    ixx(6), ixx(6), ___,    ixx(6), ixx(6), ixx(6), ixx(6), ixx(6), ___,    ixx(6), ixx(6), ixx(3), ixx(6), // 6x
        ext(6),  ___,    ___,    ext(6), ext(6), ___,    ext(6), ext(6), ext(6), ext(6), ext(6), ___,    ext(6), ext(6), ext(3), ext(6), // 7x
        im1(2),  im1(2), im1(2), im2(4), im1(2), im1(2), im1(2), ___,    im1(2), im1(2), im1(2), im1(2), im2(4), rel(6), im2(3), inh(3), // 8x
        dir(3),  dir(3), dir(3), dir(5), dir(3), dir(3), dir(3), dir(3), dir(3), dir(3), dir(3), dir(3), dir(5), dir(5), dir(4), dir(4), // 9x
        ixx(4),  ixx(4), ixx(4), ixx(6), ixx(4), ixx(4), ixx(4), ixx(4), ixx(4), ixx(4), ixx(4), ixx(4), ixx(6), ixx(6), ixx(5), ixx(5), // Ax
        ext(4),  ext(4), ext(4), ext(6), ext(4), ext(4), ext(4), ext(4), ext(4), ext(4), ext(4), ext(4), ext(6), ext(6), ext(5), ext(5), // Bx
        im1(2),  im1(2), im1(2), im2(4), im1(2), im1(2), im1(2), ___,    im1(2), im1(2), im1(2), im1(2), im2(3), pre,    im2(3), inh(2), // Cx
        dir(3),  dir(3), dir(3), dir(5), dir(3), dir(3), dir(3), dir(3), dir(3), dir(3), dir(3), dir(3), dir(4), dir(4), dir(4), dir(4), // Dx
        ixx(4),  ixx(4), ixx(4), ixx(6), ixx(4), ixx(4), ixx(4), ixx(4), ixx(4), ixx(4), ixx(4), ixx(4), ixx(5), ixx(5), ixx(5), ixx(5), // Ex
        ext(4),  ext(4), ext(4), ext(6), ext(4), ext(4), ext(4), ext(4), ext(4), ext(4), ext(4), ext(4), ext(5), ext(5), ext(5), ext(5), // Fx
    }};
}();

// Page 2 (prebyte $18): the indexed-X forms re-targeted to Y, and the Y-register instructions.
inline constexpr Page kPage18 = [] {
    using namespace detail;
    return withPrebyte(Page{{
        // x0     x1      x2      x3      x4      x5      x6      x7      x8      x9      xA      xB      xC      xD      xE      xF
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    inh(4), inh(4), ___,    ___,    ___,    ___,    ___,    ___,    // 0x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    bsy(8), bsy(8), bry(8), bry(8), // 1x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 2x
        inh(4),  ___,    ___,    ___,    ___,    inh(4), ___,    ___,    inh(6), ___,    inh(4), ___,    inh(5), ___,    ___,    ___,    // 3x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 4x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 5x
        ixy(7),  ___,    ___,    ixy(7), ixy(7), ___,    ixy(7), ixy(7), ixy(7), ixy(7), ixy(7), ___,    ixy(7), ixy(7), ixy(4), ixy(7), // 6x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 7x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    im2(5), ___,    ___,    inh(4), // 8x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    dir(6), ___,    ___,    ___,    // 9x
        ixy(5),  ixy(5), ixy(5), ixy(7), ixy(5), ixy(5), ixy(5), ixy(5), ixy(5), ixy(5), ixy(5), ixy(5), ixy(7), ixy(7), ixy(6), ixy(6), // Ax
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ext(7), ___,    ___,    ___,    // Bx
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    im2(4), ___,    // Cx
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    dir(5), dir(5), // Dx
        ixy(5),  ixy(5), ixy(5), ixy(7), ixy(5), ixy(5), ixy(5), ixy(5), ixy(5), ixy(5), ixy(5), ixy(5), ixy(6), ixy(6), ixy(6), ixy(6), // Ex
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ext(6), ext(6), // Fx
    }});
}();

// Page 3 (prebyte $1A): CPD, and the Y instructions that index through X.
inline constexpr Page kPage1A = [] {
    using namespace detail;
    return withPrebyte(Page{{
        // x0     x1      x2      x3      x4      x5      x6      x7      x8      x9      xA      xB      xC      xD      xE      xF
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 0x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 1x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 2x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 3x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 4x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 5x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 6x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 7x
        ___,     ___,    ___,    im2(5), ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 8x
        ___,     ___,    ___,    dir(6), ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 9x
        ___,     ___,    ___,    ixx(7), ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ixx(7), ___,    ___,    ___,    // Ax
        ___,     ___,    ___,    ext(7), ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // Bx
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // Cx
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // Dx
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ixx(6), ixx(6), // Ex
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // Fx
    }});
}();

// Page 4 (prebyte $CD): the X instructions (and CPD) that index through Y.
inline constexpr Page kPageCD = [] {
    using namespace detail;
    return withPrebyte(Page{{
        // x0     x1      x2      x3      x4      x5      x6      x7      x8      x9      xA      xB      xC      xD      xE      xF
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 0x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 1x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 2x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 3x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 4x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 5x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 6x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 7x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 8x
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // 9x
        ___,     ___,    ___,    ixy(7), ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ixy(7), ___,    ___,    ___,    // Ax
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // Bx
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // Cx
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // Dx
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ixy(6), ixy(6), // Ex
        ___,     ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    ___,    // Fx
    }});
}();

// Anchors: a shifted row or column in any table breaks one of these.
static_assert(kPage1[0x02].cycles == 41 && kPage1[0x03].cycles == 41);              // IDIV, FDIV
static_assert(kPage1[0x12].mode == Mode::BrDir && kPage1[0x1F].mode == Mode::BrIndX); // BRSET dir, BRCLR ind,X
static_assert(kPage1[0x3B].cycles == 12 && kPage1[0x3D].cycles == 10);              // RTI, MUL
static_assert(kPage1[0x4E].mode == Mode::Illegal && kPage1[0x4F].mode == Mode::Inh); // -, CLRA
static_assert(kPage1[0x6E].cycles == 3 && kPage1[0x7E].cycles == 3);                // JMP ind,X / ext
static_assert(kPage1[0x87].mode == Mode::Illegal && kPage1[0xC7].mode == Mode::Illegal);
static_assert(kPage1[0x8D].mode == Mode::Rel && kPage1[0x8D].cycles == 6);          // BSR
static_assert(kPage1[0x18].mode == Mode::Prefix && kPage1[0x1A].mode == Mode::Prefix &&
              kPage1[0xCD].mode == Mode::Prefix);
static_assert(kPage1[0xCF].mode == Mode::Inh && kPage1[0xFF].cycles == 5);          // STOP, STX ext
static_assert(kPage18[0x1E].length == 5 && kPage18[0x1E].cycles == 8);              // BRSET ind,Y
static_assert(kPage18[0x38].cycles == 6 && kPage18[0x8C].length == 4);              // PULY, CPY #
static_assert(kPage18[0xA7].cycles == 5 && kPage18[0xEF].cycles == 6);              // STAA ind,Y, STY ind,Y
static_assert(kPage18[0xFE].mode == Mode::Ext && kPage18[0x86].mode == Mode::Illegal);
static_assert(kPage1A[0x83].length == 4 && kPage1A[0x83].cycles == 5);              // CPD #
static_assert(kPage1A[0xEF].mode == Mode::IndX && kPage1A[0xEE].cycles == 6);       // STY/LDY ind,X
static_assert(kPageCD[0xAC].mode == Mode::IndY && kPageCD[0xAC].cycles == 7);       // CPX ind,Y
static_assert(kPageCD[0xA3].length == 3 && kPageCD[0x83].mode == Mode::Illegal);

// The table entry of an opcode; prebyte is 0 for page 1, else $18, $1A or $CD.
// Any other prebyte value yields an illegal entry.
constexpr const OpInfo& opInfo(uint8_t prebyte, uint8_t opcode) {
    switch (prebyte) {
    case 0x00: return kPage1[opcode];
    case 0x18: return kPage18[opcode];
    case 0x1A: return kPage1A[opcode];
    case 0xCD: return kPageCD[opcode];
    default: return kPage18[0x00]; // an illegal entry
    }
}

} // namespace cputab
