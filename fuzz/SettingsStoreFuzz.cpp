#include "FuzzCheck.h"
#include "FuzzEntries.h"
#include "FuzzScratch.h"
#include "app/SettingsStore.h"

#include <QDir>
#include <QSettings>
#include <QString>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>

namespace {

// Points the user-scope store into the scratch folder once; the path of the store's file.
const QString& storeFile() {
    static const QString file = [] {
        const QString folder = QString::fromStdString(FuzzScratch::path("settings"));
        QDir().mkpath(folder);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
        return SettingsStore::open()->fileName();
    }();
    return file;
}

// Writes the store's file with a modification time that no earlier input had, so Qt's cache of
// the parsed file cannot hand back an earlier input.
bool writeStore(const uint8_t* data, size_t size) {
    static long long generation = 0;
    const QString file = storeFile();
    QDir().mkpath(file.section(QLatin1Char('/'), 0, -2));
    const std::string path = file.toStdString();
    if (!FuzzScratch::writeFile(path, data, size))
        return false;
    ++generation;
    const timespec times[2] = {{generation, 0}, {generation, 0}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool validCom(const QString& name) {
    return name == QLatin1String("COM1") || name == QLatin1String("COM2") ||
           name == QLatin1String("COM3") || name == QLatin1String("COM4");
}

} // namespace

int fuzzSettingsStore(const uint8_t* data, size_t size) {
    if (!writeStore(data, size))
        return 0;

    TalkerSettings settings;
    SettingsStore::loadTalkerSettings(settings);
    const QStringList recent = SettingsStore::loadRecentFiles();
    const QMap<QString, QString> ports = SettingsStore::loadPortMap();

    fuzzExpect(recent.size() <= SettingsStore::kRecentFileCount, "more than four recent files");
    QStringList unique = recent;
    fuzzExpect(unique.removeDuplicates() == 0, "a recent file listed twice");
    fuzzExpect(!recent.contains(QString()), "an empty recent file entry");
    for (auto it = ports.cbegin(); it != ports.cend(); ++it) {
        fuzzExpect(validCom(it.key()), "a port map entry outside COM1..COM4");
        fuzzExpect(!it.value().isEmpty() && it.value() == it.value().trimmed(),
                   "a port map device that is empty or not trimmed");
    }

    // What was read must survive being saved and read again. The saves cost four times what
    // the reading does, so one file in four takes the round trip (chosen by its length, so a
    // saved input always does the same), and only when it set something of its own.
    if (size % 4 != 0 || (settings == TalkerSettings{} && recent.isEmpty() && ports.isEmpty()))
        return 0;
    SettingsStore::saveTalkerSettings(settings);
    SettingsStore::saveRecentFiles(recent);
    SettingsStore::savePortMap(ports);
    TalkerSettings again;
    SettingsStore::loadTalkerSettings(again);
    fuzzExpect(again == settings, "talker settings changed on a save and reload");
    fuzzExpect(SettingsStore::loadRecentFiles() == recent, "recent files changed on a save and reload");
    fuzzExpect(SettingsStore::loadPortMap() == ports, "the port map changed on a save and reload");
    return 0;
}
