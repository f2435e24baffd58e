// Paths are bytes and need not be UTF-8. These show a path's bytes as text
// and turn a path given as text, as Qt's dialogs give it, back into the bytes
// of the file it names.
#pragma once

#include <QByteArray>
#include <QString>

// Each part between slashes as a name is shown (UTF-8 where valid, otherwise
// Latin-1), so one odd name leaves the rest of the path readable.
QString PathToText(const QByteArray& path);

// The path's bytes. Qt decodes a name that is not UTF-8 into replacement
// characters; such a part is taken back from the folder that holds it, when
// exactly one name there decodes to it.
QByteArray TextToPath(const QString& text);
