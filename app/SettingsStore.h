#pragma once
#include "document/TalkerSettings.h"
#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <memory>

class QSettings;

// The per-user settings store: an INI file under organisation and application "Tarvik11".
// Absent, unreadable or malformed values read as their defaults. A store file that is not a
// regular file (a FIFO, a device, a folder) is neither read nor written: reading a FIFO would
// block start-up until a writer came. Every value then reads as its default.
class SettingsStore {
public:
    // Section and value names.
    static constexpr const char* kStartup = "Startup";
    static constexpr const char* kRecentFiles = "Recent File List";
    static constexpr const char* kPorts = "Ports";
    static constexpr const char* kWindow = "Window";
    static constexpr const char* kWatch = "Memory Watch";
    // Most ranges stored for the Memory Watch window.
    static constexpr int kMaxWatchRanges = 64;
    static constexpr int kRecentFileCount = 4;

    // The path of the store's file (which need not exist).
    static QString filePath();
    // Opens the store; for a file that is not a regular file, an empty store that goes nowhere.
    static std::unique_ptr<QSettings> open();
    // Fills all eleven fields, each with its default when absent or unreadable; a Comm Delay above
    // kMaxReadWaitMs reads as kMaxReadWaitMs, a Fast Line other than 0 as on; a Chip, Crystal or
    // Reset Line that names no chip, no crystal in range or no line reads as its default.
    static void loadTalkerSettings(TalkerSettings& settings);
    // Writes all eleven fields (a Comm Delay above kMaxReadWaitMs as kMaxReadWaitMs).
    static void saveTalkerSettings(const TalkerSettings& settings);
    // The recent-file list, most recent first, at most four entries.
    static QStringList loadRecentFiles();
    // Replaces the stored recent-file list ("File1" to "File4").
    static void saveRecentFiles(const QStringList& files);
    // The stored port map: "COM1".."COM4" to device paths (only the names present).
    static QMap<QString, QString> loadPortMap();
    // Replaces the stored port map.
    static void savePortMap(const QMap<QString, QString>& map);
    // The main window's stored geometry and the places of its docks (empty when none).
    static QByteArray loadWindowGeometry();
    static QByteArray loadWindowState();
    // Stores the main window's geometry and the places of its docks.
    static void saveWindowLayout(const QByteArray& geometry, const QByteArray& state);
    // The Memory Watch window's ranges ("WHERE #COUNT", at most kMaxWatchRanges, blank ones
    // dropped) and its "refresh while running" box.
    static QStringList loadWatchRanges();
    static bool loadWatchWhileRunning();
    static void saveWatch(const QStringList& ranges, bool whileRunning);
};
