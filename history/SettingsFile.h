// A settings file in the private-profile (INI) format: sections in brackets,
// key=value lines, CR LF line ends. Bound to one path; reads the file when first
// used and writes it back when released (or on Flush), keeping every line it did
// not change byte for byte.
//
// Names and values are bytes, as paths are. A file that starts with a UTF-8
// byte-order mark keeps it; a UTF-16 file with a byte-order mark is read as
// UTF-8 bytes and written back in UTF-16, or not at all.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringConverter>

#include <optional>
#include <vector>

class TSettingsFile {
public:
    explicit TSettingsFile(const QString& fileName);
    ~TSettingsFile(); // flushes; errors are swallowed here: call Flush() to see them

    const QString& FileName() const { return FFileName; }

    // The value, up to 2047 bytes, or `defaultValue` when the section or key is missing.
    QByteArray ReadString(const QByteArray& section, const QByteArray& key,
                          const QByteArray& defaultValue);
    // Throws Exception "Unable to write to %s" when the value cannot be written.
    void WriteString(const QByteArray& section, const QByteArray& key, const QByteArray& value);
    // Removes the section's header and lines; a missing section writes nothing.
    void EraseSection(const QByteArray& section);
    // Writes pending changes: by replacing the file where its folder allows,
    // otherwise in place. Throws Exception "Unable to write to %s".
    void Flush();

    // Whether ReadString gives `value` back exactly as written: it holds no line
    // break or NUL and is not longer than a read takes.
    static bool CanStore(const QByteArray& value);

private:
    // One line of the file as read, so that lines left alone are written back
    // byte for byte.
    struct TLine {
        QByteArray Text; // without its line end
        QByteArray End;  // CR LF, LF, CR, or empty for a last line without one
    };

    void Load();
    void CheckWritable() const;
    QByteArray Decoded(const QByteArray& data);       // the text of the file, noting its encoding
    QByteArray Encoded(const QByteArray& text) const; // throws when it cannot be done faithfully
    [[noreturn]] void ThrowUnableToWrite() const;
    int FindSection(const QByteArray& section, int from = 0) const; // header line, or -1
    int SectionEnd(int header) const;                     // the line after the section's last line
    int FindKey(int header, const QByteArray& key) const; // key line, or -1
    void InsertLine(int at, const QByteArray& text);

    QString FFileName;
    std::vector<TLine> Lines;
    QByteArray Original; // the file's bytes as read
    QByteArray Utf8Mark; // the UTF-8 byte-order mark the file began with, if any
    std::optional<QStringConverter::Encoding> Utf16; // the file is UTF-16 in this byte order
    bool Loaded = false;
    bool KeepAsIs = false; // the file could not be read, or not be written back faithfully
    bool Dirty = false;
};
