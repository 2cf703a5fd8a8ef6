#pragma once
#include <cstddef>
#include <optional>
#include <string>

// The Debug Adapter Protocol's base framing: "Content-Length: N" (other header fields allowed
// and ignored), a blank line ("\r\n\r\n"), then N bytes of JSON.
class DapFraming {
public:
    // Largest message body accepted, in bytes.
    static constexpr size_t kMaxBody = 16 * 1024 * 1024;
    // Largest header accepted, in bytes.
    static constexpr size_t kMaxHeader = 4096;

    // Appends bytes as they arrived.
    void feed(const char* data, size_t size) { buffer_.append(data, size); }
    // The next whole message body, or nothing until one has arrived. A header without a usable
    // Content-Length (or one too large) sets error() and gives nothing from then on.
    std::optional<std::string> next();
    // Why the stream cannot be read on (empty while it can).
    const std::string& error() const { return error_; }

    // A body with its header, ready to send.
    static std::string frame(const std::string& body);

private:
    std::string buffer_;
    std::string error_;
};
