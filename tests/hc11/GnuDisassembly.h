#pragma once
// The GNU disassembler for 68HC11 as an independent reference: a byte image in, the instructions
// it finds out. Shared by the opcode table's test and the disassembler's.
#include "hc11/OpcodeTable.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

// One instruction as the GNU disassembler prints it.
struct GnuInstruction {
    int address = 0;      // from the image's first byte
    int length = 0;       // bytes up to the next instruction
    std::string mnemonic; // lower case; ".byte" for data it cannot decode
    std::string operands; // as printed, with the "0x0x" of relative targets read as "0x"
};

// Every opcode of every page, each in a slot of slotBytes bytes (a prebyte first where the page has
// one) padded with NOPs ($01), so the listing falls back into step at every slot and every operand
// byte is $01. Slot number page * 256 + opcode.
inline std::vector<uint8_t> everyPageImage(int slotBytes)
{
    std::vector<uint8_t> image;
    for (uint8_t prebyte : opcodes::kPrebytes)
        for (int op = 0; op < 256; ++op) {
            std::vector<uint8_t> slot;
            if (prebyte)
                slot.push_back(prebyte);
            slot.push_back(static_cast<uint8_t>(op));
            slot.resize(static_cast<size_t>(slotBytes), 0x01);
            image.insert(image.end(), slot.begin(), slot.end());
        }
    return image;
}

// Runs the GNU disassembler over image (its first byte at address 0) and returns the instructions
// it finds, in order; the last one is left out, as nothing after it bounds its length.
inline std::vector<GnuInstruction> gnuDisassemble(const std::vector<uint8_t>& image)
{
    char path[] = "/tmp/tarvik11_opcodes_XXXXXX";
    const int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, image.data(), image.size()), static_cast<ssize_t>(image.size()));
    close(fd);
    const std::string command = std::string(HC11_OBJDUMP) + " -D -b binary -m m68hc11 " + path;
    std::string listing;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            listing.append(buf, n);
        pclose(p);
    }
    unlink(path);

    // "  addr:\tbytes \tmnemonic\toperands"; continuation lines carry bytes only.
    std::vector<GnuInstruction> starts;
    std::istringstream in(listing);
    for (std::string text; std::getline(in, text);) {
        const size_t colon = text.find(":\t");
        const size_t tab2 = colon == std::string::npos ? colon : text.find('\t', colon + 2);
        if (tab2 == std::string::npos)
            continue;
        char* end = nullptr;
        const long address = std::strtol(text.c_str(), &end, 16);
        if (end != text.c_str() + colon)
            continue;
        GnuInstruction d;
        d.address = static_cast<int>(address);
        const std::string rest = text.substr(tab2 + 1);
        const size_t tab3 = rest.find('\t');
        d.mnemonic = rest.substr(0, tab3);
        if (tab3 != std::string::npos)
            d.operands = rest.substr(tab3 + 1);
        for (size_t at; (at = d.operands.find("0x0x")) != std::string::npos;)
            d.operands.erase(at, 2);
        while (!d.operands.empty() && std::isspace(static_cast<unsigned char>(d.operands.back())))
            d.operands.pop_back();
        starts.push_back(d);
    }
    for (size_t i = 0; i + 1 < starts.size(); ++i)
        starts[i].length = starts[i + 1].address - starts[i].address;
    if (!starts.empty())
        starts.pop_back();
    return starts;
}
