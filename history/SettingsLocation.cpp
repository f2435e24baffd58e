#include "history/SettingsLocation.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
const QString SettingsFileName = QStringLiteral("Pelkon.ini");
}

QString SettingsFilePath(const QString& programFolder) {
    const QString portable = QDir(programFolder).filePath(SettingsFileName);
    if (QFileInfo(portable).isFile() && QFileInfo(programFolder).isWritable())
        return portable;
        // The folder is named here, not taken from the application and
        // organisation names, so that nothing set elsewhere can move it. On
        // Windows it is the roaming application data, %APPDATA%, where programs
        // keep what follows the user from machine to machine.
#ifdef Q_OS_WIN
    QString config = QDir::fromNativeSeparators(qEnvironmentVariable("APPDATA"));
    if (config.isEmpty())
        config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
#else
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
#endif
    return QDir(config).filePath(QStringLiteral("Pelkon/") + SettingsFileName);
}
