// The list of recently opened archives: bounded, most recent first, kept in
// the settings file between runs. Changes are announced through OnChange,
// emitted synchronously after each change.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

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

    void Add(const QString& path);
    void Clear();
    QString GetItem(int index) const; // throws Exception "Index out of bounds (%d)"
    int Count() const { return static_cast<int>(Items.size()); }

    void LoadFromFile(const QString& fileName, const QString& section);
    void LoadFromIni(TSettingsFile* ini, const QString& section);
    void SaveToFile(const QString& fileName, const QString& section) const;
    void SaveToIni(TSettingsFile* ini, const QString& section) const;

signals:
    void OnChange(THistory* sender);

protected:
    virtual void DoChange();

private:
    int IndexOf(const QString& path) const;

    int FMaxItems = 5;
    QStringList Items;
    bool FIfExistsPlaceFirst = true;
};
