#include "link/ByteChannel.h"

#include <cctype>
#include <cstddef>

namespace {

// Leading decimal digits of a field (after optional blanks), like atoi but without overflow:
// -1 when the number is absurdly large.
long decimalField(const std::string& field) {
    size_t i = 0;
    while (i < field.size() && (field[i] == ' ' || field[i] == '\t'))
        ++i;
    long value = 0;
    for (; i < field.size() && std::isdigit(static_cast<unsigned char>(field[i])); ++i) {
        value = value * 10 + (field[i] - '0');
        if (value > 100000000)
            return -1;
    }
    return value;
}

} // namespace

int parseModeText(const std::string& text, ModeText& out) {
    const size_t firstComma = text.find(',');
    const size_t colon = text.rfind(':', firstComma);
    out.portName = colon == std::string::npos ? text : text.substr(0, colon);
    if (colon == std::string::npos)
        return 2;

    const size_t baudEnd = text.find(',', colon + 1);
    if (baudEnd == std::string::npos)
        return 2;
    const long baud = decimalField(text.substr(colon + 1, baudEnd - colon - 1));

    const size_t parityEnd = text.find(',', baudEnd + 1);
    if (parityEnd == std::string::npos)
        return 2;
    SerialLineSettings s;
    switch (text[baudEnd + 1]) { // the ',' itself when the field is empty
    case 'N': case 'n': s.parity = SerialLineSettings::Parity::None; break;
    case 'O': case 'o': s.parity = SerialLineSettings::Parity::Odd; break;
    case 'E': case 'e': s.parity = SerialLineSettings::Parity::Even; break;
    default: return 1;
    }

    const size_t dataEnd = text.find(',', parityEnd + 1);
    if (dataEnd == std::string::npos)
        return 2;
    const long dataBits = decimalField(text.substr(parityEnd + 1, dataEnd - parityEnd - 1));

    const std::string stopField = text.substr(dataEnd + 1);
    if (stopField == "1")
        s.stopBits = SerialLineSettings::StopBits::One;
    else if (stopField == "1.5")
        s.stopBits = SerialLineSettings::StopBits::OneAndHalf;
    else if (stopField == "2")
        s.stopBits = SerialLineSettings::StopBits::Two;
    else
        return 1;

    s.baud = baud > 0 ? static_cast<uint32_t>(baud) : 0;
    s.dataBits = dataBits >= 0 && dataBits <= 255 ? static_cast<uint8_t>(dataBits) : 0;
    out.settings = s;
    return 0;
}

bool validSettings(const SerialLineSettings& settings) {
    return settings.baud > 0 && settings.dataBits >= 5 && settings.dataBits <= 8 &&
           settings.parity <= SerialLineSettings::Parity::Even &&
           settings.stopBits <= SerialLineSettings::StopBits::Two;
}

std::chrono::microseconds ByteChannel::characterTime(int count) const {
    const SerialLineSettings s = lineSettings();
    return Deadline::wireTime(count, s.bitsPerCharacter(), static_cast<int>(s.baud));
}
