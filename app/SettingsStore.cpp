#include "app/SettingsStore.h"
#include "session/DebugSession.h" // the read wait bound every front end applies
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>

namespace {

constexpr const char* kOrganisation = "Tarvik11";
constexpr const char* kApplication = "Tarvik11";

// A folder of its own for ScratchSettings, made before the store and removed after it.
struct ScratchFolder {
    QTemporaryDir folder;
};

// The store handed out for a settings file that must not be touched: it starts empty and what is
// written to it goes, with its folder, when it is destroyed.
class ScratchSettings : private ScratchFolder, public QSettings {
public:
    ScratchSettings() : QSettings(folder.filePath(QStringLiteral("unused.ini")), QSettings::IniFormat) {}
};

uint32_t boundedDelay(uint32_t ms)
{
    return std::min(ms, static_cast<uint32_t>(kMaxReadWaitMs));
}

int32_t readInt(QSettings& s, const char* name, int32_t fallback)
{
    bool ok = false;
    const qlonglong v = s.value(QLatin1String(name)).toLongLong(&ok);
    if (!ok || v < INT32_MIN || v > INT32_MAX)
        return fallback;
    return static_cast<int32_t>(v);
}

uint32_t readUInt(QSettings& s, const char* name, uint32_t fallback)
{
    bool ok = false;
    const qulonglong v = s.value(QLatin1String(name)).toULongLong(&ok);
    if (!ok || v > UINT32_MAX)
        return fallback;
    return static_cast<uint32_t>(v);
}

QString readString(QSettings& s, const char* name, const QString& fallback)
{
    const QVariant v = s.value(QLatin1String(name));
    if (!v.isValid() || !v.canConvert<QString>())
        return fallback;
    return v.toString();
}

} // namespace

QString SettingsStore::filePath()
{
    // A QSettings reads its files as soon as it is made, so the user-scope folder (which
    // QSettings::setPath may have moved) is learnt from a store of an organisation that has no
    // files: Tarvik11's own could be one that blocks.
    const QSettings probe(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tarvik11 path probe"),
                          QStringLiteral("probe"));
    // Path arithmetic only: the folders need not exist yet.
    const QString userFolder = QFileInfo(QFileInfo(probe.fileName()).path()).path();
    return QStringLiteral("%1/%2/%3.ini").arg(userFolder, QLatin1String(kOrganisation), QLatin1String(kApplication));
}

std::unique_ptr<QSettings> SettingsStore::open()
{
    const QString file = filePath();
    const QFileInfo info(file);
    if (info.exists() && !info.isFile())
        return std::make_unique<ScratchSettings>();
    // Only the user's own file: no organisation-wide or system fallbacks to trip over.
    return std::make_unique<QSettings>(file, QSettings::IniFormat);
}

void SettingsStore::loadTalkerSettings(TalkerSettings& settings)
{
    const TalkerSettings defaults;
    auto s = open();
    s->beginGroup(QLatin1String(kStartup));
    settings.eepromEnable = readInt(*s, "EEPROM", defaults.eepromEnable);
    settings.chipMode = readInt(*s, "Mode", defaults.chipMode);
    settings.talkerType = readInt(*s, "Talker", defaults.talkerType);
    settings.port = readString(*s, "Port", defaults.port);
    settings.talkerFile = readString(*s, "Talker Filename", defaults.talkerFile);
    settings.commDelay = boundedDelay(readUInt(*s, "Comm Delay", defaults.commDelay));
    settings.defaultBase = readInt(*s, "Default Base", defaults.defaultBase);
    // A file written before this value existed has no key: the faster line stays on.
    settings.fastLine = readInt(*s, "Fast Line", defaults.fastLine ? 1 : 0) != 0;
    // Board values that do not name a chip, a crystal in range or a reset line read as defaults.
    const QString chip = readString(*s, "Chip", defaults.chip).toLower();
    settings.chip = findChip(chip.toStdString()) ? chip : defaults.chip;
    const uint32_t crystal = readUInt(*s, "Crystal", defaults.crystalHz);
    settings.crystalHz = crystal >= kMinCrystalHz && crystal <= kMaxCrystalHz ? crystal : defaults.crystalHz;
    const QString reset = readString(*s, "Reset Line", defaults.resetLine).toLower();
    settings.resetLine = resetPulseFromText(reset.toStdString()) ? reset : defaults.resetLine;
    settings.keepBreakpoints = readInt(*s, "Keep Breakpoints", defaults.keepBreakpoints ? 1 : 0) != 0;
    s->endGroup();
}

void SettingsStore::saveTalkerSettings(const TalkerSettings& settings)
{
    auto s = open();
    s->beginGroup(QLatin1String(kStartup));
    s->setValue(QStringLiteral("EEPROM"), settings.eepromEnable);
    s->setValue(QStringLiteral("Mode"), settings.chipMode);
    s->setValue(QStringLiteral("Talker"), settings.talkerType);
    s->setValue(QStringLiteral("Port"), settings.port);
    s->setValue(QStringLiteral("Talker Filename"), settings.talkerFile);
    s->setValue(QStringLiteral("Comm Delay"), boundedDelay(settings.commDelay));
    s->setValue(QStringLiteral("Default Base"), settings.defaultBase);
    s->setValue(QStringLiteral("Fast Line"), settings.fastLine ? 1 : 0);
    s->setValue(QStringLiteral("Chip"), settings.chip);
    s->setValue(QStringLiteral("Crystal"), settings.crystalHz);
    s->setValue(QStringLiteral("Reset Line"), settings.resetLine);
    s->setValue(QStringLiteral("Keep Breakpoints"), settings.keepBreakpoints ? 1 : 0);
    s->endGroup();
}

QStringList SettingsStore::loadRecentFiles()
{
    auto s = open();
    s->beginGroup(QLatin1String(kRecentFiles));
    QStringList files;
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString f = readString(*s, QStringLiteral("File%1").arg(i).toLatin1().constData(), {});
        if (!f.isEmpty() && !files.contains(f))
            files << f;
    }
    s->endGroup();
    return files;
}

void SettingsStore::saveRecentFiles(const QStringList& files)
{
    auto s = open();
    s->remove(QLatin1String(kRecentFiles));
    s->beginGroup(QLatin1String(kRecentFiles));
    for (int i = 0; i < files.size() && i < kRecentFileCount; ++i)
        s->setValue(QStringLiteral("File%1").arg(i + 1), files[i]);
    s->endGroup();
}

QMap<QString, QString> SettingsStore::loadPortMap()
{
    QMap<QString, QString> map;
    auto s = open();
    s->beginGroup(QLatin1String(kPorts));
    for (int i = 1; i <= 4; ++i) {
        const QString name = QStringLiteral("COM%1").arg(i);
        const QString device = readString(*s, name.toLatin1().constData(), {}).trimmed();
        if (!device.isEmpty())
            map.insert(name, device);
    }
    s->endGroup();
    return map;
}

void SettingsStore::savePortMap(const QMap<QString, QString>& map)
{
    auto s = open();
    s->remove(QLatin1String(kPorts));
    s->beginGroup(QLatin1String(kPorts));
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        s->setValue(it.key(), it.value());
    s->endGroup();
}

QByteArray SettingsStore::loadWindowGeometry()
{
    auto s = open();
    return s->value(QStringLiteral("%1/Geometry").arg(QLatin1String(kWindow))).toByteArray();
}

QByteArray SettingsStore::loadWindowState()
{
    auto s = open();
    return s->value(QStringLiteral("%1/State").arg(QLatin1String(kWindow))).toByteArray();
}

QStringList SettingsStore::loadWatchRanges()
{
    auto s = open();
    QStringList out;
    for (const QString& range : s->value(QStringLiteral("%1/Ranges").arg(QLatin1String(kWatch))).toStringList())
        if (!range.trimmed().isEmpty() && out.size() < kMaxWatchRanges)
            out << range.trimmed();
    return out;
}

bool SettingsStore::loadWatchWhileRunning()
{
    auto s = open();
    return s->value(QStringLiteral("%1/Refresh While Running").arg(QLatin1String(kWatch)), 0).toInt() != 0;
}

void SettingsStore::saveWatch(const QStringList& ranges, bool whileRunning)
{
    auto s = open();
    s->beginGroup(QLatin1String(kWatch));
    s->setValue(QStringLiteral("Ranges"), ranges.mid(0, kMaxWatchRanges));
    s->setValue(QStringLiteral("Refresh While Running"), whileRunning ? 1 : 0);
    s->endGroup();
}

void SettingsStore::saveWindowLayout(const QByteArray& geometry, const QByteArray& state)
{
    auto s = open();
    s->beginGroup(QLatin1String(kWindow));
    s->setValue(QStringLiteral("Geometry"), geometry);
    s->setValue(QStringLiteral("State"), state);
    s->endGroup();
}
