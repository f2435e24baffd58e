// The list of recently opened archives: bounded, most recent first, kept in
// the settings file between runs. Changes are announced through OnChange,
// emitted synchronously after each change.
//
// Paths are the bytes the file system knows them by, stored and compared
// exactly as given: they need not be UTF-8, and letter case makes another path.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QObject>
#include <QString>

class TSettingsFile;

class THistory : public QObject {
    Q_OBJECT
public:
    explicit THistory(QObject* owner = nullptr); // MaxItems 5, IfExistsPlaceFirst true
    ~THistory() override;

    int MaxItems() const { return FMaxItems; }
    void SetMaxItems(int value);
    bool IfExistsPlaceFirst() const { return FIfExistsPlaceFirst; }
    void SetIfExistsPlaceFirst(bool value) { FIfExistsPlaceFirst = value; }

    void Add(const QByteArray& path);
    void Clear();
    QByteArray GetItem(int index) const; // throws Exception "Index out of bounds (%d)"
    int Count() const { return static_cast<int>(Items.size()); }

    void LoadFromFile(const QString& fileName, const QByteArray& section);
    void LoadFromIni(TSettingsFile* ini, const QByteArray& section);
    void SaveToFile(const QString& fileName, const QByteArray& section) const;
    void SaveToIni(TSettingsFile* ini, const QByteArray& section) const;

signals:
    void OnChange(THistory* sender);

protected:
    virtual void DoChange();

private:
    int FMaxItems = 5;
    QByteArrayList Items;
    bool FIfExistsPlaceFirst = true;
};
