#include "BoardSession.h"
#include "link/ExtendedTalker.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace {

constexpr uint32_t kEepromSize = 512;
constexpr uint8_t kErased = 0xFF;
constexpr uint8_t kFactoryConfig = 0x0D; // EEPROM on
constexpr int kTalkerImageSize = 256;

Bytes fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

// EEPROM array: the start-up code, the talker's RAM image right behind it; then the CONFIG cell.
bool writeRomTalkerImage(const std::string& path, std::string* error, bool checkedTalker)
{
    const Bytes start = fileBytes(TARVIK11_ROM_TALKER_START);
    Bytes talker = fileBytes(TARVIK11_TALKER_FILE);
    if (checkedTalker) {
        const auto layout = recogniseTalkerFile(talker);
        if (!layout) {
            *error = "the talker file is not ours";
            return false;
        }
        for (const auto& patch : checkedModePatches(*layout))
            talker[1 + patch.address] = patch.value;
    }
    if (start.empty() || talker.size() != kTalkerImageSize + 1 ||
        start.size() + kTalkerImageSize > kEepromSize) {
        *error = "the talker or its EEPROM start-up code is missing";
        return false;
    }
    Bytes image(kEepromSize, kErased);
    std::copy(start.begin(), start.end(), image.begin());
    std::copy(talker.begin() + 1, talker.end(), image.begin() + static_cast<long>(start.size()));
    image.push_back(kFactoryConfig);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (!out) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

namespace {

int hexValue(const std::string& s, size_t at, size_t digits)
{
    int v = 0;
    for (size_t i = 0; i < digits; ++i) {
        const char c = s[at + i];
        const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0)
            return -1;
        v = v * 16 + d;
    }
    return v;
}

} // namespace

BoardSession::BoardSession(const std::string& workDir, Options options)
    : eepromFile_(workDir + "/eeprom.img"), options_(std::move(options))
{
    port.readWaitMs = options_.readWaitMs;
    engine.traceWaitMs = options_.readWaitMs;
    memory.programDelayMs = 1;
}

BoardSession::~BoardSession()
{
    stopBoard();
    std::remove(eepromFile_.c_str());
}

bool BoardSession::start(std::string* error)
{
    if (!writeRomTalkerImage(eepromFile_, error, options_.checkedTalker))
        return false;
    VirtualBoardOptions o;
    o.speed = 0;
    o.eepromFile = eepromFile_;
    o.linkPath = options_.linkPath;
    o.faults = options_.faults;
    o.faultSeed = options_.seed;
    board_ = std::make_unique<VirtualBoard>(o);
    return board_->start(error);
}

bool BoardSession::restartBoard(std::string* error)
{
    board_.reset();
    return start(error);
}

void BoardSession::stopBoard()
{
    if (board_)
        board_->stop();
}

TalkerStatus BoardSession::bootRom(int attempts)
{
    TalkerStatus s = kTalkerCommError;
    for (int i = 0; i < attempts && s != kTalkerOk; ++i) {
        board_->pressReset();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        // The ROM start reads no CONFIG, so the EEPROM counts as off: asking for off keeps CONFIG as is.
        s = engine.startTalker(board_->devicePath(), TalkerType::Rom, TARVIK11_TALKER_FILE, ChipMode::SpecialTest, 0);
    }
    return s;
}

TalkerStatus BoardSession::bootRam(int attempts)
{
    TalkerStatus s = kTalkerCommError;
    for (int i = 0; i < attempts && s != kTalkerOk; ++i) {
        board_->pressReset();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        s = engine.startTalker(board_->devicePath(), TalkerType::Ram, TARVIK11_TALKER_FILE, ChipMode::SpecialTest, 1);
    }
    return s;
}

TalkerStatus BoardSession::read(uint32_t address, size_t count, Bytes* out)
{
    out->assign(count, 0);
    return memory.readBlock(address, static_cast<uint32_t>(count), out->data());
}

bool BoardSession::holds(const MemoryImage& image, TalkerStatus* status)
{
    Bytes actual;
    const TalkerStatus s = read(image.address, image.bytes.size(), &actual);
    if (status)
        *status = s;
    return s == kTalkerOk && actual == image.bytes;
}

void BoardSession::setFaults(std::vector<FaultRule> faults, uint64_t seed)
{
    board_->setFaults(std::move(faults), seed);
}

uint64_t BoardSession::lineBytes() const
{
    const LineFaults::Stats s = board_->faultStats();
    return s.bytesToBoard + s.bytesToHost;
}

std::vector<MemoryImage> readS19Images(const std::string& path)
{
    std::vector<MemoryImage> out;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.size() < 10 || line[0] != 'S' || line[1] != '1')
            continue;
        const int count = hexValue(line, 2, 2);
        const int address = hexValue(line, 4, 4);
        if (count < 3 || address < 0 || line.size() < 4 + 2 * static_cast<size_t>(count))
            continue;
        MemoryImage image{static_cast<uint32_t>(address), {}};
        for (int i = 0; i < count - 3; ++i)
            image.bytes.push_back(static_cast<uint8_t>(hexValue(line, 8 + 2 * static_cast<size_t>(i), 2)));
        out.push_back(image);
    }
    return out;
}

MemoryImage spanOf(const std::vector<MemoryImage>& images, uint8_t fill)
{
    if (images.empty())
        return {};
    uint32_t low = 0xFFFF, high = 0;
    for (const auto& i : images) {
        low = std::min(low, i.address);
        high = std::max(high, i.address + static_cast<uint32_t>(i.bytes.size()));
    }
    MemoryImage span{low, Bytes(high - low, fill)};
    for (const auto& i : images)
        std::copy(i.bytes.begin(), i.bytes.end(), span.bytes.begin() + (i.address - low));
    return span;
}

FaultRule faultOf(const std::string& text)
{
    FaultRule spec;
    std::string error;
    if (!FaultRule::parse(text, &spec, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        spec = FaultRule{FaultKind::Drop, FaultDirection::Both, 0, 0, 0, 0, 0};
        spec.after = ~uint64_t{0};
    }
    return spec;
}

std::vector<uint32_t> differences(const MemoryImage& expected, const Bytes& actual)
{
    std::vector<uint32_t> out;
    for (size_t i = 0; i < expected.bytes.size(); ++i)
        if (i >= actual.size() || actual[i] != expected.bytes[i])
            out.push_back(expected.address + static_cast<uint32_t>(i));
    return out;
}
