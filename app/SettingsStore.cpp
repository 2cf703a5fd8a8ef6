#include "SettingsStore.h"
#include <QSettings>

namespace {

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

std::unique_ptr<QSettings> SettingsStore::open()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("Tarvik11"), QStringLiteral("Tarvik11"));
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
    settings.commDelay = readUInt(*s, "Comm Delay", defaults.commDelay);
    settings.defaultBase = readInt(*s, "Default Base", defaults.defaultBase);
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
    s->setValue(QStringLiteral("Comm Delay"), settings.commDelay);
    s->setValue(QStringLiteral("Default Base"), settings.defaultBase);
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
