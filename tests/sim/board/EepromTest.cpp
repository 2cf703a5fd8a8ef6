#include "sim/Eeprom.h"
#include "TestImages.h"
#include <fstream>
#include <gtest/gtest.h>

namespace {

// Drives an operation the way a program does: latch, write the target, pump on, wait, pump off.
struct EepromBench {
    Eeprom e;
    uint64_t now = 0;

    EepromBench() { e.writeBprot(0x00, true); }
    void operation(uint8_t latch, uint16_t address, uint8_t data, uint64_t pump = Eeprom::kProgramCycles) {
        e.writePprog(latch, now);
        if (address == Eeprom::kConfigAddress)
            e.writeConfig(data);
        else
            e.writeArray(address, data);
        e.writePprog(uint8_t(latch | Eeprom::kEepgm), now);
        now += pump;
        e.writePprog(0x00, now);
    }
    void program(uint16_t address, uint8_t value) { operation(0x02, address, value); }
    int erasedCount() const {
        int n = 0;
        for (uint16_t a = Eeprom::kStart; a <= Eeprom::kEnd; ++a)
            n += e.cell(a) == 0xFF;
        return n;
    }
};

TEST(Eeprom, ProgrammingClearsBitsAfterTheFullTime) {
    EepromBench b;
    b.program(0xB600, 0x55);
    b.program(0xB600, 0x50);
    EXPECT_EQ(b.e.readArray(0xB600), 0x50);
    b.program(0xB600, 0xAF);
    EXPECT_EQ(b.e.readArray(0xB600), 0x00) << "programming never sets a bit";

    b.operation(0x02, 0xB610, 0x12, Eeprom::kProgramCycles - 1);
    EXPECT_EQ(b.e.readArray(0xB610), 0xFF) << "voltage removed too early";
    b.e.writePprog(0x03, b.now); // EELAT and EEPGM in one write: no pump
    EXPECT_EQ(b.e.readPprog(), 0x02);
    b.e.writeArray(0xB610, 0x12);
    EXPECT_EQ(b.e.readArray(0xB600), 0xFF) << "the array reads $FF while latched";
    b.now += 40000;
    b.e.writePprog(0x00, b.now);
    EXPECT_EQ(b.e.readArray(0xB610), 0xFF);
    EXPECT_EQ(b.e.readArray(0xB600), 0x00);
}

TEST(Eeprom, EraseModesCoverByteRowAndArray) {
    struct Case {
        const char* name;
        uint8_t latch;
        uint16_t address, first, last; // erased range
    } cases[] = {
        {"byte", 0x16, 0xB605, 0xB605, 0xB605}, {"byte overrides row", 0x1E, 0xB7FF, 0xB7FF, 0xB7FF},
        {"row", 0x0E, 0xB613, 0xB610, 0xB61F},  {"bulk", 0x06, 0xB700, 0xB600, 0xB7FF},
    };
    for (const Case& c : cases) {
        EepromBench b;
        for (uint16_t a = Eeprom::kStart; a <= Eeprom::kEnd; ++a)
            b.program(a, 0x00);
        b.operation(c.latch, c.address, 0x00);
        EXPECT_EQ(b.erasedCount(), c.last - c.first + 1) << c.name;
        EXPECT_EQ(b.e.cell(c.first) & b.e.cell(c.last), 0xFF) << c.name;
    }
}

TEST(Eeprom, BlockProtection) {
    EepromBench b;
    b.e.reset();
    EXPECT_EQ(b.e.readBprot(), 0x1F);
    b.program(0xB600, 0x00);
    b.program(Eeprom::kConfigAddress, 0x00);
    EXPECT_EQ(b.e.cell(0xB600), 0xFF);
    EXPECT_EQ(b.e.configCell(), Eeprom::kFactoryConfig);
    b.e.writeBprot(0x00, false);
    EXPECT_EQ(b.e.readBprot(), 0x1F) << "clearing needs permission";

    b.e.writeBprot(0x00, true);
    b.program(0xB630, 0x00);
    b.e.writeBprot(0x02, false); // setting is always allowed: $B620-$B65F
    for (uint16_t a : {0xB61F, 0xB620, 0xB65F, 0xB660})
        b.program(a, 0x00);
    EXPECT_EQ(b.e.cell(0xB61F), 0x00);
    EXPECT_EQ(b.e.cell(0xB620), 0xFF);
    EXPECT_EQ(b.e.cell(0xB65F), 0xFF);
    EXPECT_EQ(b.e.cell(0xB660), 0x00);
    b.operation(0x06, 0xB600, 0);
    EXPECT_EQ(b.e.cell(0xB630), 0x00) << "bulk erase spares the protected block";
    EXPECT_EQ(b.erasedCount(), 511);
}

TEST(Eeprom, ConfigTakesEffectAtResetAndPersists) {
    EepromBench b;
    b.operation(0x16, Eeprom::kConfigAddress, 0x00);
    b.program(Eeprom::kConfigAddress, 0x0C);
    b.program(0xB6AB, 0x42);
    b.e.writeConfig(0x00); // a plain write changes nothing
    EXPECT_EQ(b.e.configCell(), 0x0C);
    EXPECT_EQ(b.e.readConfig(), 0x0D);
    EXPECT_TRUE(b.e.enabled());
    b.e.reset();
    EXPECT_EQ(b.e.readConfig(), 0x0C);
    EXPECT_FALSE(b.e.enabled());

    const std::string dir = testimages::makeTempDir();
    const std::string path = dir + "/eeprom.bin";
    std::string error;
    ASSERT_TRUE(b.e.saveFile(path, &error)) << error;
    Eeprom loaded;
    ASSERT_TRUE(loaded.loadFile(path, &error)) << error;
    EXPECT_EQ(loaded.cell(0xB6AB), 0x42);
    EXPECT_EQ(loaded.readConfig(), 0x0C);
    for (size_t size : {size_t(0), size_t(512), size_t(514)}) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << std::string(size, '\0');
        Eeprom bad;
        EXPECT_FALSE(bad.loadFile(path, &error)) << size;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_EQ(bad.readConfig(), 0x0D) << "a bad file changes nothing";
    }
    EXPECT_FALSE(b.e.saveFile(dir + "/no/such/dir/eeprom.bin", &error));
    testimages::removeTree(dir);
}

} // namespace
