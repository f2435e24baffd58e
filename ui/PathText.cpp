#include "ui/PathText.h"

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "ui/NameText.h"

#include <QStringList>

#include <optional>
#include <string>

namespace {

// The one name in `folder` that Qt shows as `name`, if there is exactly one.
std::optional<QByteArray> NameOnDisk(const QByteArray& folder, const QString& name) {
    std::vector<std::string> names;
    try {
        names = FolderNames(folder.toStdString());
    } catch (const Exception&) {
        return std::nullopt; // an unreadable folder: the text's own bytes are tried
    }
    std::optional<QByteArray> found;
    for (const std::string& candidate : names) {
        if (HostNameText(QByteArray::fromStdString(candidate)) != name)
            continue;
        if (found)
            return std::nullopt;
        found = QByteArray::fromStdString(candidate);
    }
    return found;
}

} // namespace

QString PathToText(const QByteArray& path) {
    QStringList parts;
    for (const QByteArray& part : path.split('/'))
        parts << NameToText(part.toStdString());
    return parts.join(u'/');
}

QByteArray TextToPath(const QString& text) {
    if (!text.contains(QChar::ReplacementCharacter))
        return HostNameBytes(text);
    QByteArray path;
    const QStringList parts = text.split(u'/');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            path += '/';
        const QByteArray folder = path.isEmpty() ? QByteArray(".") : path;
        const std::optional<QByteArray> onDisk = parts[i].contains(QChar::ReplacementCharacter)
                                                     ? NameOnDisk(folder, parts[i])
                                                     : std::nullopt;
        path += onDisk ? *onDisk : HostNameBytes(parts[i]);
    }
    return path;
}
