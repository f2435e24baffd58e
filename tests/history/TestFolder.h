// Helpers shared by the history tests: a fresh temporary folder per test and
// whole-file reads and writes of raw bytes.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <string>

class TestFolder {
public:
    QString Path() const { return Dir.path(); }
    QString File(const QString& name) const { return Dir.filePath(name); }
    bool IsValid() const { return Dir.isValid(); }

private:
    QTemporaryDir Dir;
};

QByteArray ReadBytes(const QString& path);
void WriteBytes(const QString& path, const QByteArray& bytes);
bool FileExists(const QString& path);

// The message of the Exception `action` throws, or "no error".
std::string ErrorOf(const std::function<void()>& action);

// Runs `body` in a child process as a user whom file permissions bind: as
// root, the user nobody (65534); otherwise the user running the tests.
// Returns what `body` returned, or the message of what it threw.
std::string AsUnprivilegedUser(const std::function<std::string()>& body);
// Hands a file to that user, so that only its folder's permissions stand in the way.
void GiveToUnprivilegedUser(const QString& path);
