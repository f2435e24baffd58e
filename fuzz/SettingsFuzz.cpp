// Any bytes as a settings file, then one value written into it. What a read
// gave before the write, the same read gives after it, from the same object
// and from the file written back; the written value reads back as given.
//
// Input: the file's bytes, then, each after a zero byte: section, key, value,
// and the section and key of a second value that the write must leave alone.
#include "fuzz/FuzzCheck.h"
#include "history/SettingsFile.h"
#include "platform/Errors.h"

#include <QFile>

#include <fstream>
#include <vector>

namespace {

std::vector<QByteArray> Parts(const uint8_t* data, size_t size) {
    std::vector<QByteArray> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && parts.size() < 6)
            parts.emplace_back();
        else
            parts.back().append(static_cast<char>(data[i]));
    }
    parts.resize(6);
    return parts;
}

QString Named(const QByteArray& bytes) {
    return QFile::decodeName(bytes).trimmed();
}

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<QByteArray> parts = Parts(data, size);
    const QString path = QString::fromStdString(FuzzScratchFolder() + "/Pelkon.ini");
    {
        std::ofstream file(path.toStdString(), std::ios::binary | std::ios::trunc);
        file.write(parts[0].data(), parts[0].size());
    }
    const QString section = QFile::decodeName(parts[1]);
    const QString key = QFile::decodeName(parts[2]);
    const QString value = QFile::decodeName(parts[3]);
    const QString otherSection = QFile::decodeName(parts[4]);
    const QString otherKey = QFile::decodeName(parts[5]);
    const QString missing = QStringLiteral("\x01missing");

    TSettingsFile ini(path);
    const QString otherBefore = ini.ReadString(otherSection, otherKey, missing);
    try {
        ini.WriteString(section, key, value);
    } catch (const Exception& error) {
        // Refused: a name or value that would read back as other lines.
        FUZZ_CHECK(std::string(error.what()) == "Unable to write to " + path.toStdString(),
                   error.what());
        return 0;
    }
    const bool canStore = TSettingsFile::CanStore(value);
    if (canStore)
        FUZZ_CHECK(ini.ReadString(section, key, missing) == value, "the value read back differs");
    const bool sameValue =
        SameName(Named(parts[1]), Named(parts[4])) && SameName(Named(parts[2]), Named(parts[5]));
    if (!sameValue)
        FUZZ_CHECK(ini.ReadString(otherSection, otherKey, missing) == otherBefore,
                   "another value changed");
    ini.Flush();

    TSettingsFile again(path);
    if (canStore)
        FUZZ_CHECK(again.ReadString(section, key, missing) == value,
                   "the file gives another value");
    if (!sameValue)
        FUZZ_CHECK(again.ReadString(otherSection, otherKey, missing) == otherBefore,
                   "another value changed in the file");
    return 0;
}
