#include "history/History.h"

#include "history/SettingsFile.h"
#include "platform/Errors.h"

#include <string>

namespace {

void CheckArguments(const TSettingsFile* ini, const QByteArray& section) {
    if (ini == nullptr)
        throw Exception("IniFile not assigned");
    if (section.isEmpty())
        throw Exception("Section is not set!");
}

} // namespace

THistory::THistory(QObject* owner) : QObject(owner) {}

THistory::~THistory() = default;

void THistory::SetMaxItems(int value) {
    if (value == FMaxItems)
        return;
    const int before = Count();
    while (Count() > 0 && Count() > value)
        Items.removeLast();
    // Stored before the notification so that a handler sees the new limit.
    FMaxItems = value;
    if (Count() < before)
        DoChange();
}

void THistory::Add(const QByteArray& path) {
    if (path.isEmpty())
        return;
    // Byte for byte, as the file system tells paths apart.
    const int index = static_cast<int>(Items.indexOf(path));
    if (index < 0) {
        Items.prepend(path);
        while (Count() > 0 && Count() > FMaxItems)
            Items.removeLast();
    } else if (FIfExistsPlaceFirst) {
        Items.move(index, 0);
    }
    DoChange();
}

void THistory::Clear() {
    Items.clear();
    DoChange();
}

QByteArray THistory::GetItem(int index) const {
    if (index < 0 || index >= Count())
        throw Exception("Index out of bounds (" + std::to_string(index) + ")");
    return Items.at(index);
}

void THistory::LoadFromFile(const QString& fileName, const QByteArray& section) {
    TSettingsFile ini(fileName);
    LoadFromIni(&ini, section);
}

void THistory::LoadFromIni(TSettingsFile* ini, const QByteArray& section) {
    CheckArguments(ini, section);
    Items.clear();
    try {
        for (int i = 0; i < FMaxItems; ++i) {
            const QByteArray path = ini->ReadString(section, QByteArray::number(i), QByteArray());
            if (!path.isEmpty())
                Items.append(path);
        }
    } catch (...) {
        // Listeners learn of the paths read so far before the failure goes on.
        DoChange();
        throw;
    }
    DoChange();
}

void THistory::SaveToFile(const QString& fileName, const QByteArray& section) const {
    TSettingsFile ini(fileName);
    SaveToIni(&ini, section);
    ini.Flush();
}

void THistory::SaveToIni(TSettingsFile* ini, const QByteArray& section) const {
    CheckArguments(ini, section);
    ini->EraseSection(section);
    // A path the file cannot give back as written (a line break would split it
    // into lines of its own, an overlong one would be read back cut) is left
    // out, so one odd path cannot cost the others; the keys stay consecutive.
    int key = 0;
    for (const QByteArray& path : Items) {
        if (TSettingsFile::CanStore(path))
            ini->WriteString(section, QByteArray::number(key++), path);
    }
}

void THistory::DoChange() {
    emit OnChange(this);
}
