// Where the editor keeps its settings file, Pelkon.ini.
#pragma once

#include <QString>

// "Pelkon.ini" in `programFolder` when a copy lies there and the folder is
// writable, so a portable copy of the program keeps its settings with it;
// otherwise "Pelkon.ini" in the user's configuration folder,
// $XDG_CONFIG_HOME/Pelkon (by default ~/.config/Pelkon), on Windows
// %APPDATA%\Pelkon, which need not exist yet: the first save makes it.
QString SettingsFilePath(const QString& programFolder);
