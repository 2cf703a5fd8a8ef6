#include "engine/IoRegisters.h"

#include "engine/CommandTexts.h"

namespace IoRegisters {

namespace {

constexpr std::array<const char*, 8> kNone{"-", "-", "-", "-", "-", "-", "-", "-"};
constexpr std::array<const char*, 8> kData{"7", "6", "5", "4", "3", "2", "1", "0"};

// The block in address order. Behaviour chosen where the manual leaves room: the reserved
// addresses of the A series ($1001, $1006, $1036-$1038) read as plain bytes and are shown unnamed.
constexpr std::array<Info, kCount> kBlock{{
    {"PORTA", kData, false},
    {"", kNone, false},
    {"PIOC", {"STAF", "STAI", "CWOM", "HNDS", "OIN", "PLS", "EGA", "INVB"}, false},
    {"PORTC", kData, false},
    {"PORTB", kData, false},
    {"PORTCL", kData, false}, // read after STAF clears it only with PIOC read first: left to the user
    {"", kNone, false},
    {"DDRC", kData, false},
    {"PORTD", kData, false},
    {"DDRD", kData, false},
    {"PORTE", kData, false},
    {"CFORC", {"FOC1", "FOC2", "FOC3", "FOC4", "FOC5", "-", "-", "-"}, false},
    {"OC1M", {"OC1M7", "OC1M6", "OC1M5", "OC1M4", "OC1M3", "-", "-", "-"}, false},
    {"OC1D", {"OC1D7", "OC1D6", "OC1D5", "OC1D4", "OC1D3", "-", "-", "-"}, false},
    {"TCNT", kData, false},
    {"TCNT+1", kData, false},
    {"TIC1", kData, false},
    {"TIC1+1", kData, false},
    {"TIC2", kData, false},
    {"TIC2+1", kData, false},
    {"TIC3", kData, false},
    {"TIC3+1", kData, false},
    {"TOC1", kData, false},
    {"TOC1+1", kData, false},
    {"TOC2", kData, false},
    {"TOC2+1", kData, false},
    {"TOC3", kData, false},
    {"TOC3+1", kData, false},
    {"TOC4", kData, false},
    {"TOC4+1", kData, false},
    {"TOC5", kData, false},
    {"TOC5+1", kData, false},
    {"TCTL1", {"OM2", "OL2", "OM3", "OL3", "OM4", "OL4", "OM5", "OL5"}, false},
    {"TCTL2", {"-", "-", "EDG1B", "EDG1A", "EDG2B", "EDG2A", "EDG3B", "EDG3A"}, false},
    {"TMSK1", {"OC1I", "OC2I", "OC3I", "OC4I", "OC5I", "IC1I", "IC2I", "IC3I"}, false},
    {"TFLG1", {"OC1F", "OC2F", "OC3F", "OC4F", "OC5F", "IC1F", "IC2F", "IC3F"}, false},
    {"TMSK2", {"TOI", "RTII", "PAOVI", "PAII", "-", "-", "PR1", "PR0"}, false},
    {"TFLG2", {"TOF", "RTIF", "PAOVF", "PAIF", "-", "-", "-", "-"}, false},
    {"PACTL", {"DDRA7", "PAEN", "PAMOD", "PEDGE", "-", "-", "RTR1", "RTR0"}, false},
    {"PACNT", kData, false},
    {"SPCR", {"SPIE", "SPE", "DWOM", "MSTR", "CPOL", "CPHA", "SPR1", "SPR0"}, false},
    {"SPSR", {"SPIF", "WCOL", "-", "MODF", "-", "-", "-", "-"}, true},
    {"SPDR", kData, true},
    {"BAUD", {"TCLR", "-", "SCP1", "SCP0", "RCKB", "SCR2", "SCR1", "SCR0"}, false},
    {"SCCR1", {"R8", "T8", "-", "M", "WAKE", "-", "-", "-"}, false},
    {"SCCR2", {"TIE", "TCIE", "RIE", "ILIE", "TE", "RE", "RWU", "SBK"}, false},
    {"SCSR", {"TDRE", "TC", "RDRF", "IDLE", "OR", "NF", "FE", "-"}, true},
    {"SCDR", kData, true},
    {"ADCTL", {"CCF", "-", "SCAN", "MULT", "CD", "CC", "CB", "CA"}, false},
    {"ADR1", kData, false},
    {"ADR2", kData, false},
    {"ADR3", kData, false},
    {"ADR4", kData, false},
    {"BPROT", {"-", "-", "-", "PTCON", "BPRT3", "BPRT2", "BPRT1", "BPRT0"}, false},
    {"", kNone, false},
    {"", kNone, false},
    {"", kNone, false},
    {"OPTION", {"ADPU", "CSEL", "IRQE", "DLY", "CME", "-", "CR1", "CR0"}, false},
    {"COPRST", kData, false},
    {"PPROG", {"ODD", "EVEN", "-", "BYTE", "ROW", "ERASE", "EELAT", "EEPGM"}, false},
    {"HPRIO", {"RBOOT", "SMOD", "MDA", "IRV", "PSEL3", "PSEL2", "PSEL1", "PSEL0"}, false},
    {"INIT", {"RAM3", "RAM2", "RAM1", "RAM0", "REG3", "REG2", "REG1", "REG0"}, false},
    {"TEST1", {"TILOP", "-", "OCCR", "CBYP", "DISR", "FCM", "FCOP", "TCON"}, false},
    {"CONFIG", {"-", "-", "-", "-", "NOSEC", "NOCOP", "ROMON", "EEON"}, false},
}};

static_assert(kBlock[0x2E].readDisturbs && kBlock[0x2F].readDisturbs, "SCSR and SCDR");
static_assert(kBlock[0x29].readDisturbs && kBlock[0x2A].readDisturbs, "SPSR and SPDR");
static_assert(kBlock[0x3F].bits[7][0] == 'E', "CONFIG's EEON is bit 0");

} // namespace

const Info& info(uint32_t offset) { return kBlock[offset % kCount]; }

bool readDisturbs(uint32_t offset) { return info(offset).readDisturbs; }

std::string line(uint32_t offset, uint8_t value, bool read)
{
    const Info& r = info(offset);
    std::string text = CommandText::format("$%04x %-7s ", kBase + offset % kCount, r.name);
    if (!read)
        return text + "(not read: reading it disturbs the chip)";
    text += CommandText::format("$%02x %%", value);
    for (int bit = 7; bit >= 0; --bit)
        text += (value >> bit) & 1 ? '1' : '0';
    if (r.bits != kData) {
        std::string names;
        for (int i = 0; i < 8; ++i)
            if ((value >> (7 - i)) & 1 && r.bits[i][0] != '-')
                names += std::string(" ") + r.bits[i];
        if (!names.empty())
            text += " " + names;
    }
    return text;
}

} // namespace IoRegisters
