#include "dap/DapFraming.h"

#include <cctype>
#include <cstdlib>

namespace {

std::string lowerCase(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

std::optional<std::string> DapFraming::next()
{
    if (!error_.empty())
        return std::nullopt;
    const size_t end = buffer_.find("\r\n\r\n");
    if (end == std::string::npos) {
        if (buffer_.size() > kMaxHeader)
            error_ = "a message header is longer than " + std::to_string(kMaxHeader) + " bytes";
        return std::nullopt;
    }
    if (end > kMaxHeader) {
        error_ = "a message header is longer than " + std::to_string(kMaxHeader) + " bytes";
        return std::nullopt;
    }
    std::optional<size_t> length;
    size_t pos = 0;
    while (pos < end) {
        size_t lineEnd = buffer_.find("\r\n", pos);
        if (lineEnd == std::string::npos || lineEnd > end)
            lineEnd = end;
        const std::string line = buffer_.substr(pos, lineEnd - pos);
        pos = lineEnd + 2;
        const size_t colon = line.find(':');
        if (colon == std::string::npos || lowerCase(line.substr(0, colon)) != "content-length")
            continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        value.erase(value.find_last_not_of(" \t") + 1);
        if (value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos) {
            error_ = "the Content-Length '" + value + "' is no byte count";
            return std::nullopt;
        }
        length = std::strtoul(value.c_str(), nullptr, 10);
    }
    if (!length) {
        error_ = "a message header has no Content-Length";
        return std::nullopt;
    }
    if (*length > kMaxBody) {
        error_ = "a message of " + std::to_string(*length) + " bytes is larger than allowed";
        return std::nullopt;
    }
    const size_t bodyStart = end + 4;
    if (buffer_.size() - bodyStart < *length)
        return std::nullopt;
    std::string body = buffer_.substr(bodyStart, *length);
    buffer_.erase(0, bodyStart + *length);
    return body;
}

std::string DapFraming::frame(const std::string& body)
{
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
