#pragma once
#include "engine/ListingPath.h"
#include <QString>
#include <QStringList>

// Reads an assembler listing for the Assembly View.
namespace ListingReader {
// Largest listing file read; a larger one (or anything not a regular file) is refused.
inline constexpr qint64 kMaxBytes = kMaxListingBytes;
// Appends every line of the file at path (without its line end, decoded as UTF-8) to lines; false,
// with lines untouched, when the file is missing, not a regular file (a folder, a FIFO, a device),
// too large or unreadable. The same rule as listingFileUsable and readListingLines.
bool read(const QString& path, QStringList& lines);
} // namespace ListingReader
