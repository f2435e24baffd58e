// Any bytes as a settings file, then one value written into it. What a read
// gave before the write, the same read gives after it, from the same object
// and from the file written back; the written value reads back as given. A
// save that fails leaves the file as it was.
//
// Input: the file's bytes, then, each after a zero byte: section, key, value,
// and the section and key of a second value that the write must leave alone.
#include "fuzz/FuzzCheck.h"
#include "history/SettingsFile.h"
#include "platform/Errors.h"

#include <QStringDecoder>

#include <fstream>
#include <iterator>
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

// Names compare as text: UTF-8 where valid, otherwise Latin-1, blanks trimmed.
QString Named(const QByteArray& bytes) {
    // A byte-order mark is part of a name, not a mark to skip.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = utf8.decode(bytes);
    return (utf8.hasError() ? QString::fromLatin1(bytes) : text).trimmed();
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
    const QByteArray& section = parts[1];
    const QByteArray& key = parts[2];
    const QByteArray& value = parts[3];
    const QByteArray& otherSection = parts[4];
    const QByteArray& otherKey = parts[5];
    const QByteArray missing = "\x01missing";

    TSettingsFile ini(path);
    const QByteArray otherBefore = ini.ReadString(otherSection, otherKey, missing);
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
    try {
        ini.Flush();
    } catch (const Exception& error) {
        // A UTF-16 file takes only text: it is then left as it was.
        FUZZ_CHECK(std::string(error.what()) == "Unable to write to " + path.toStdString(),
                   error.what());
        std::ifstream file(path.toStdString(), std::ios::binary);
        const std::string after((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
        FUZZ_CHECK(after == parts[0].toStdString(), "a file that could not be saved changed");
        return 0;
    }

    TSettingsFile again(path);
    if (canStore)
        FUZZ_CHECK(again.ReadString(section, key, missing) == value,
                   "the file gives another value");
    if (!sameValue)
        FUZZ_CHECK(again.ReadString(otherSection, otherKey, missing) == otherBefore,
                   "another value changed in the file");
    return 0;
}
