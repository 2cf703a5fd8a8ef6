// The debug session's program-level commands: ELF programs with their symbols and line table,
// addresses typed as symbols or FILE:LINE, and memory and disassembly as data for front ends
// that show them their own way (the editor adapter).
#include "session/DebugSession.h"

#include "engine/CommandTexts.h"
#include "engine/ElfProgram.h"
#include "engine/ListingPath.h"
#include "hc11/Successors.h"

#include <algorithm>
#include <cctype>

using CommandText::format;

namespace {

constexpr uint64_t kAddressSpace = 0x10000;
constexpr const char* kElfLoadProgress = "Loading program %s into memory...";
constexpr const char* kElfLoadDone = "Program loaded and verified";
constexpr const char* kElfVerifyProgress = "Verifying program %s";
constexpr const char* kElfVerifyDone = "Program verified";
constexpr const char* kNoLineInfo = "The program carries no line information: FILE:LINE is not available";
constexpr const char* kMemoryBeyondEnd = "Error: addresses run from $0000 to $ffff";

bool explicitNumber(const std::string& text)
{
    return !text.empty() && (text[0] == '$' || text[0] == '%' || text[0] == '#');
}

} // namespace

CommandResult DebugSession::loadElf(const std::string& path)
{
    CommandResult result;
    if (refuseWhileBusy(result))
        return result;
    ElfProgram program;
    if (TalkerStatus s = program.readFile(path)) {
        // Nothing is sent: the program that was loaded stays the program.
        result.status = s;
        result.failureText = "Error: " + program.error();
        return result;
    }
    result = converse(result, format(kElfLoadProgress, path.c_str()), [&] {
        forgetProgram();
        engine_.s19Progress = progressFor(0, true);
        TalkerStatus s = engine_.loadRecords(program.records());
        if (s == kTalkerOk)
            s = engine_.verifyRecords(program.records()); // every load is checked by reading back
        engine_.s19Progress = nullptr;
        return s;
    });
    symbols_.clear();
    sourceLines_.clear();
    if (!result.ok())
        return result; // the target holds part of a program at best
    engine_.currentPC = program.entry();
    programEntry_ = program.entry();
    (void)symbols_.assign(program.symbols(), path);
    sourceLines_ = program.lines();
    if (!readListingLines(listingPathFor(path), result.lines) && sourceLines_.empty())
        result.notes.push_back(kNoLineInfo);
    noteListing(result.lines);
    result.doneText = kElfLoadDone;
    return result;
}

CommandResult DebugSession::verifyElf(const std::string& path)
{
    CommandResult result;
    ElfProgram program;
    if (TalkerStatus s = program.readFile(path)) {
        result.status = s;
        result.failureText = "Error: " + program.error();
        return result;
    }
    return converse(result, format(kElfVerifyProgress, path.c_str()), [&] {
        engine_.s19Progress = progressFor(0, true);
        const TalkerStatus s = engine_.verifyRecords(program.records());
        engine_.s19Progress = nullptr;
        return s;
    }, kElfVerifyDone);
}

std::optional<uint32_t> DebugSession::resolveAddress(const std::string& text, std::string* why) const
{
    // A prefixed number is a number; a bare word is the program's symbol before it is a number
    // in the default base, so a label such as "add" or "beef" is reachable in hexadecimal.
    const TypedNumber number = readTypedNumber(text, base_, kWordMax);
    if (explicitNumber(text))
        return number.problem == NumberProblem::None ? std::optional<uint32_t>(number.value) : std::nullopt;
    if (const auto symbol = symbols_.addressOf(text))
        return *symbol;
    if (number.problem == NumberProblem::None)
        return number.value;
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return std::nullopt;
    const std::string file = text.substr(0, colon);
    const std::string lineText = text.substr(colon + 1);
    auto say = [&](const std::string& s) {
        if (why)
            *why = s;
        return std::nullopt;
    };
    if (lineText.empty() || lineText.size() > 9 ||
        !std::all_of(lineText.begin(), lineText.end(), [](unsigned char c) { return std::isdigit(c); }))
        return say("'" + text + "' is no FILE:LINE (the line is a decimal number)");
    if (sourceLines_.empty())
        return say(std::string(kNoLineInfo));
    const auto index = sourceLines_.fileNamed(file);
    if (!index)
        return say("the program has no source file '" + file + "' (or more than one of that name)");
    const auto line = static_cast<uint32_t>(std::stoul(lineText));
    const auto code = sourceLines_.codeAtOrAfter(*index, line);
    if (!code)
        return say(format("no code at or after line %u of ", line) + file);
    return code->first;
}

CommandResult DebugSession::readBytes(uint32_t address, uint32_t count, std::vector<uint8_t>& bytes)
{
    CommandResult result;
    if (address >= kAddressSpace || count > kAddressSpace - address) {
        result.refusal = kMemoryBeyondEnd;
        return result;
    }
    bytes.assign(count, 0);
    bool changed = false;
    result = converse(result, "", [&] {
        if (count == 0)
            return kTalkerOk;
        BlockTransfer reader(memory_, link_, progressFor(count));
        const TalkerStatus s = reader.read(address, count, bytes.data());
        changed = reader.changed();
        return s;
    });
    if (!result.ok()) {
        bytes.clear();
        return result;
    }
    engine_.lookThroughSwis(address, bytes.data(), count);
    if (changed)
        result.notes.push_back(CommandText::kReadChanging);
    return result;
}

CommandResult DebugSession::writeBytes(uint32_t address, const std::vector<uint8_t>& bytes)
{
    CommandResult result;
    if (address >= kAddressSpace || bytes.size() > kAddressSpace - address)
        result.refusal = kMemoryBeyondEnd;
    else if (!bytes.empty())
        refuseTalkerWrite(address, static_cast<uint32_t>(bytes.size()), result);
    return converse(result, "", [&] {
        if (bytes.empty())
            return kTalkerOk;
        return userWrite(address, static_cast<uint32_t>(bytes.size()), bytes.data(), true);
    });
}

CommandResult DebugSession::disassembleInstructions(uint32_t address, uint32_t count,
                                                    std::vector<DisassembledLine>& lines)
{
    lines.clear();
    CommandResult result;
    if (address >= kAddressSpace) {
        result.refusal = kMemoryBeyondEnd;
        return result;
    }
    const uint32_t wanted = std::min<uint32_t>(count, 4096);
    const uint32_t span = std::min<uint32_t>(wanted * kMaxInstructionBytes, static_cast<uint32_t>(kAddressSpace - address));
    std::vector<uint8_t> bytes;
    result = readBytes(address, span, bytes);
    if (!result.ok())
        return result;
    lines = Disassembler::disassemble(static_cast<uint16_t>(address), bytes, &symbols_);
    if (lines.size() > wanted)
        lines.resize(wanted);
    return result;
}
