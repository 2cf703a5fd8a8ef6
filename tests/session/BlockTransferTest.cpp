// How long transfers are cut into pieces.
#include "session/BlockTransfer.h"
#include "link/SerialPort.h"
#include "link/TalkerLink.h"
#include "link/TargetMemory.h"

#include <gtest/gtest.h>

// Write pieces: 1 KB aligned pieces outside the EEPROM, stopping at its start; one 16-byte row
// per piece inside it while it is enabled.
TEST(BlockTransfer, writePiecesFollowTheEepromRows)
{
    SerialPort port;
    TalkerLink link(port);
    TargetMemory memory(link);
    BlockTransfer transfer(memory, link);
    struct Case {
        int eeprom;
        uint32_t address, last, end;
    } cases[] = {
        {0, 0x0000, 0xFFFF, 0x03FF}, {0, 0x0005, 0x0100, 0x0100}, {0, 0xB400, 0xB7FF, 0xB7FF},
        {1, 0xB400, 0xB7FF, 0xB5FF}, {1, 0xB600, 0xB7FF, 0xB60F}, {1, 0xB605, 0xB7FF, 0xB60F},
        {1, 0xB7F8, 0xFFFF, 0xB7FF}, {1, 0xB800, 0xFFFF, 0xBBFF}, {1, 0xB610, 0xB612, 0xB612},
    };
    for (const Case& c : cases) {
        link.eepromEnabled = c.eeprom;
        EXPECT_EQ(transfer.writePieceEnd(c.address, c.last), c.end) << std::hex << c.address;
    }
}
