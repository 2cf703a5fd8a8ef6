#pragma once
// An in-process command interpreter on a virtual board on virtual time.
#include "cli/CommandInterpreter.h"
#include "sim/VirtualBoard.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

class CliSession : public ::testing::Test {
protected:
    void SetUp() override { startBoard(kDefaultChip); }
    // (Re)starts the board with this chip on it, and a new interpreter on it.
    void startBoard(ChipKind chip)
    {
        cli_.reset();
        board_.reset();
        VirtualBoardOptions options;
        options.speed = 0;
        options.chip = chip;
        // On virtual time: the board runs while the interpreter waits, whatever the machine's load.
        options.line = BoardLineKind::Memory;
        options.virtualTime = true;
        board_ = std::make_unique<VirtualBoard>(options);
        std::string error;
        ASSERT_TRUE(board_->start(&error)) << error;
        CommandInterpreter::Settings settings;
        settings.board = board_.get();
        settings.delayMs = 1000; // generous: the board shares a busy machine
        cli_ = std::make_unique<CommandInterpreter>(settings, out_);
    }
    void TearDown() override
    {
        cli_.reset();
        board_.reset();
    }

    // Runs one command; lines holds what it printed.
    bool run(const std::string& command)
    {
        out_.str("");
        const bool ok = cli_->execute(command);
        lines.clear();
        std::istringstream in(out_.str());
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return ok;
    }
    // The last line printed.
    std::string last() const { return lines.empty() ? std::string() : lines.back(); }

    // Boots the talker in special test mode (external RAM reachable) and loads a sample.
    void bootAndLoad(const std::string& sample)
    {
        ASSERT_TRUE(run("boot --mode special-test")) << last();
        ASSERT_TRUE(run("load " + example(sample + ".s19"))) << last();
    }

    uint8_t byteAt(uint32_t address)
    {
        uint8_t b = 0;
        EXPECT_EQ(cli_->memory().readBlock(address, 1, &b), 0);
        return b;
    }

    static std::string example(const std::string& name) { return std::string(TARVIK11_EXAMPLES_DIR) + "/" + name; }

    // The symbols of a sample's map file.
    static std::map<std::string, uint32_t> symbols(const std::string& sample)
    {
        std::map<std::string, uint32_t> out;
        std::ifstream in(example(sample + ".map"));
        std::string address, kind, name;
        while (in >> address >> kind >> name)
            out[name] = static_cast<uint32_t>(std::stoul(address, nullptr, 16));
        return out;
    }

    std::vector<std::string> lines;
    std::unique_ptr<CommandInterpreter> cli_;

private:
    std::ostringstream out_;
    std::unique_ptr<VirtualBoard> board_;
};
