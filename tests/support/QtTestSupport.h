// The shared test helpers in Qt's terms, for the suites that work with QString
// paths and QByteArray contents. Header only: the support library itself uses
// no Qt.
#pragma once

#include "tests/support/TestSupport.h"

#include <QByteArray>
#include <QFile>
#include <QString>

// A fresh temporary folder, removed with its contents.
class TestFolder {
public:
    QString Path() const { return QFile::decodeName(QByteArray::fromStdString(dir_.Path())); }
    QString File(const QString& name) const { return Path() + u'/' + name; }

private:
    TempDir dir_;
};

inline std::string HostBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

inline QByteArray ReadBytes(const QString& path) {
    return QByteArray::fromStdString(ReadAll(HostBytes(path)));
}

inline void WriteBytes(const QString& path, const QByteArray& bytes) {
    WriteAll(HostBytes(path),
             std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

inline bool FileExists(const QString& path) {
    return Exists(HostBytes(path));
}

// The message of what `action` throws, as text, or "" when it throws nothing.
template <typename Action> QString MessageText(Action&& action) {
    return QString::fromStdString(MessageOf(std::forward<Action>(action)));
}

inline void GiveToUnprivilegedUser(const QString& path) {
    GiveToUnprivilegedUser(HostBytes(path));
}
