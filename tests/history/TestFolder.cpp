#include "TestFolder.h"

#include "platform/Errors.h"
#include "tests/support/TestSupport.h"

#include <QFile>

#include <unistd.h>

#include <stdexcept>

namespace {
constexpr uid_t Nobody = 65534;
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read test file " + path.toStdString());
    return file.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write test file " + path.toStdString());
}

bool FileExists(const QString& path) {
    return QFile::exists(path);
}

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& error) {
        return error.what();
    }
    return "no error";
}

std::string AsUnprivilegedUser(const std::function<std::string()>& body) {
    return RunInChild([&] {
        if (geteuid() == 0 && !BecomeNobody())
            return std::string("cannot become an unprivileged user");
        return body();
    });
}

void GiveToUnprivilegedUser(const QString& path) {
    if (geteuid() == 0 && chown(QFile::encodeName(path).constData(), Nobody, Nobody) != 0)
        throw std::runtime_error("cannot hand " + path.toStdString() + " to nobody");
}
