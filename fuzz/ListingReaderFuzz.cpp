#include "FuzzCheck.h"
#include "FuzzEntries.h"
#include "FuzzScratch.h"

#include "document/ListingReader.h"
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <algorithm>
#include <string>


int fuzzListingReader(const uint8_t* data, size_t size) {
    const std::string path = FuzzScratch::path("prog.lst");
    if (!FuzzScratch::writeFile(path, data, size))
        return 0;
    QStringList lines;
    fuzzExpect(ListingReader::read(QString::fromStdString(path), lines), "a listing file did not open");

    // Every character comes from at least one byte of the file, and every line but the last
    // ended at a line feed or carriage return.
    qsizetype characters = 0;
    for (const QString& line : lines) {
        characters += line.size();
        fuzzExpect(!line.contains(QLatin1Char('\n')), "a listing line kept its line feed");
    }
    fuzzExpect(characters <= static_cast<qsizetype>(size), "a listing grew more characters than bytes");
    const auto ends = std::count_if(data, data + size, [](uint8_t b) { return b == '\n' || b == '\r'; });
    fuzzExpect(lines.size() <= ends + 1, "a listing gave more lines than it has line ends");
    // A leading UTF-8 byte order mark is no text: a file of nothing else has no line.
    const bool byteOrderMark = size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF;
    const size_t textBytes = byteOrderMark ? size - 3 : size;
    if (textBytes > 0 && std::find(data, data + size, uint8_t('\n')) == data + size &&
        std::find(data, data + size, uint8_t('\r')) == data + size)
        fuzzExpect(lines.size() == 1, "a listing without line ends did not give exactly one line");
    return 0;
}
