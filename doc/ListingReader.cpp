#include "ListingReader.h"
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

bool ListingReader::read(const QString& path, QStringList& lines)
{
    // Only regular files: opening a FIFO would block, and a device would never end.
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > kMaxBytes)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QStringList read;
    QTextStream in(&file);
    while (!in.atEnd())
        read.append(in.readLine());
    lines.append(read);
    return true;
}
