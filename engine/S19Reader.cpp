#include "engine/S19Reader.h"

#include "engine/CommandTexts.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A character as a message shows it: printable ones quoted, the others by their code.
std::string shown(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (u == 0)
        return "a NUL byte";
    if (u < 0x20 || u >= 0x7F)
        return CommandText::format("the byte $%02x", u);
    return std::string("'") + c + "'";
}

std::string lineText(uint32_t line) { return "line " + std::to_string(line) + ": "; }

} // namespace

TalkerStatus S19Reader::readFile(const std::string& path)
{
    records_.clear();
    problem_.clear();
    // A path with a NUL would name another file; a FIFO or device would block the open or the
    // read (O_NONBLOCK keeps the open from waiting for a writer): only regular files are taken.
    if (path.empty() || path.find('\0') != std::string::npos)
        return kTalkerS19OpenFailed;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return kTalkerS19OpenFailed;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return kTalkerS19OpenFailed;
    }
    if (static_cast<unsigned long long>(info.st_size) > kMaxFileSize) {
        ::close(fd);
        return refuse("the file is " + std::to_string(static_cast<unsigned long long>(info.st_size)) +
                      " bytes; an S19 file is at most " + std::to_string(kMaxFileSize) +
                      " bytes, which holds far more than the 64 KB address space");
    }
    std::string text(static_cast<size_t>(info.st_size), '\0');
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (got < text.size())
        return kTalkerS19ReadFailed;
    return parse(text);
}

TalkerStatus S19Reader::refuse(std::string problem)
{
    records_.clear();
    problem_ = std::move(problem);
    return kTalkerS19Invalid;
}

TalkerStatus S19Reader::parse(const std::string& text)
{
    records_.clear();
    problem_.clear();
    firstAddress_ = 0;
    uint64_t dataBytes = 0;
    bool haveFirst = false;
    uint32_t line = 1;
    size_t begin = 0;
    while (begin <= text.size()) {
        size_t end = text.find_first_of("\r\n", begin);
        if (end == std::string::npos)
            end = text.size();
        if (!takeLine(text, begin, end, line, dataBytes, haveFirst)) {
            records_.clear();
            return kTalkerS19Invalid;
        }
        if (end == text.size())
            break;
        begin = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        ++line;
    }
    if (records_.empty())
        return refuse("the file holds no data records (S1)");
    return kTalkerOk;
}

bool S19Reader::takeLine(const std::string& text, size_t begin, size_t end, uint32_t line, uint64_t& dataBytes,
                         bool& haveFirst)
{
    // Trailing blanks, and the end-of-file mark some old tools write, are no part of a record.
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\x1A'))
        --end;
    if (end == begin)
        return true;
    const auto fail = [&](const std::string& what) {
        problem_ = lineText(line) + what;
        return false;
    };
    const size_t length = end - begin;
    const char* r = text.data() + begin;
    if (r[0] != 'S') {
        if (r[0] == 's')
            return fail("a record must start with an upper-case 'S'");
        return fail("the line starts with " + shown(r[0]) + ", not an S record");
    }
    if (length < 4)
        return fail("the record is cut short");
    const char type = r[1];
    if (type == '2' || type == '3' || type == '7' || type == '8')
        return fail(std::string("S") + type + " records carry addresses over 16 bits, beyond the 68HC11's $0000-$ffff");
    if (type != '0' && type != '1' && type != '5' && type != '9')
        return fail("S" + std::string(1, type) + " is no S-record type (S0, S1, S5 and S9 are read)");
    for (size_t i = 2; i < length; ++i)
        if (hexDigit(r[i]) < 0)
            return fail("column " + std::to_string(i + 1) + ": " + shown(r[i]) + " is not a hexadecimal digit");
    if (length % 2 != 0)
        return fail("the record has an odd number of hexadecimal digits");
    const auto byteAt = [&](size_t i) { return static_cast<uint32_t>(hexDigit(r[i]) * 16 + hexDigit(r[i + 1])); };
    const uint32_t count = byteAt(2);
    const size_t present = (length - 4) / 2;
    if (count < 3)
        return fail(CommandText::format("the count $%02x is below 3 (two address bytes and the checksum)", count));
    if (present != count)
        return fail(CommandText::format("the count $%02x names %u bytes, but the line holds %zu", count, count, present));
    uint32_t sum = 0;
    for (size_t i = 2; i + 2 < length; i += 2)
        sum += byteAt(i);
    const uint32_t checksum = byteAt(length - 2);
    const uint32_t expected = ~sum & 0xFF;
    if (checksum != expected)
        return fail(CommandText::format("the checksum is $%02x, but the record's bytes give $%02x", checksum, expected));
    const uint32_t address = byteAt(4) << 8 | byteAt(6);
    const uint32_t n = count - 3;
    if (type == '1' || type == '9') {
        if (!haveFirst) {
            firstAddress_ = address;
            haveFirst = true;
        }
    }
    if (type != '1' || n == 0)
        return true;
    // Data running past $FFFF would wrap into $0000, over the talker itself.
    if (address + n > 0x10000u)
        return fail(CommandText::format("the data at $%04x runs past $ffff", address));
    dataBytes += n;
    if (dataBytes > kMaxDataBytes)
        return fail("the file holds more than 65536 data bytes, more than the 64 KB address space");
    S19Record record;
    record.address = address;
    record.dataLength = static_cast<uint8_t>(n);
    record.line = line;
    record.data.resize(n);
    for (uint32_t i = 0; i < n; ++i)
        record.data[i] = static_cast<uint8_t>(byteAt(8 + 2 * i));
    records_.push_back(std::move(record));
    return true;
}

uint64_t S19Reader::dataBytes() const
{
    uint64_t total = 0;
    for (const S19Record& r : records_)
        total += r.dataLength;
    return total;
}
