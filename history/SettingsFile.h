// A settings file in the private-profile (INI) format: sections in brackets,
// key=value lines, CR LF line ends. Bound to one path; reads the file when first
// used and writes it back in place when released (or on Flush), keeping every
// line it did not change byte for byte.
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

class TSettingsFile {
public:
    explicit TSettingsFile(const QString& fileName);
    ~TSettingsFile(); // flushes; errors are swallowed here: call Flush() to see them

    const QString& FileName() const { return FFileName; }

    // The value, up to 2047 characters, or `defaultValue` when the section or key is missing.
    QString ReadString(const QString& section, const QString& key, const QString& defaultValue);
    // Throws Exception "Unable to write to %s" when the value cannot be written.
    void WriteString(const QString& section, const QString& key, const QString& value);
    // Removes the section's header and lines; a missing section writes nothing.
    void EraseSection(const QString& section);
    // Writes pending changes. Throws Exception "Unable to write to %s".
    void Flush();

    // Whether ReadString gives `value` back exactly as written: it holds no line
    // break and is not longer than a read takes.
    static bool CanStore(const QString& value);

private:
    // One line of the file as read, so that lines left alone are written back
    // byte for byte.
    struct TLine {
        QByteArray Text; // without its line end
        QByteArray End;  // CR LF, LF, CR, or empty for a last line without one
    };

    void Load();
    void CheckWritable() const;
    [[noreturn]] void ThrowUnableToWrite() const;
    int FindSection(const QByteArray& section, int from = 0) const; // header line, or -1
    int SectionEnd(int header) const;                     // the line after the section's last line
    int FindKey(int header, const QByteArray& key) const; // key line, or -1
    void InsertLine(int at, const QByteArray& text);

    QString FFileName;
    std::vector<TLine> Lines;
    bool Loaded = false;
    bool Unreadable = false; // the file is there but could not be read: never overwrite it
    bool Dirty = false;
};
