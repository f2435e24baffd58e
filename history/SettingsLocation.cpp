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
    // organisation names, so that nothing set elsewhere can move it.
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(config).filePath(QStringLiteral("Pelkon/") + SettingsFileName);
}
