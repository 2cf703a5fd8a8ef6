#include "document/ListingReader.h"
#include "engine/ListingPath.h"

bool ListingReader::read(const QString& path, QStringList& lines)
{
    // The rule and the reading are the command line's too: regular files only, read without blocking.
    std::vector<std::string> read;
    if (!readListingLines(path.toStdString(), read))
        return false;
    for (const std::string& line : read)
        lines.append(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    return true;
}
