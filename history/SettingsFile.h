// A settings file in the private-profile (INI) format: sections in brackets,
// key=value lines, CR LF line ends. Bound to one path; reads the file when first
// used and writes it back when released (or on Flush), keeping every line it did
// not change byte for byte.
//
// Names and values are bytes, as paths are. A file that starts with a UTF-8
// byte-order mark keeps it; a UTF-16 file with a byte-order mark is read as
// UTF-8 bytes and written back in UTF-16, or not at all.
//
// A file larger than MaxFileSize is not this program's: nothing in it is read
// and nothing is written to it.
#pragma once

#include "platform/Errors.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringConverter>

#include <cstdint>
#include <optional>
#include <vector>

// "%s is over 1 MiB, too large to be Pelkon's settings file: ..." with the path.
class ESettingsFileTooLarge : public Exception {
public:
    explicit ESettingsFileTooLarge(const QString& fileName);
};

class TSettingsFile {
public:
    explicit TSettingsFile(const QString& fileName);
    // Flushes, unless the last Flush() failed; errors are swallowed here: call
    // Flush() to see them.
    ~TSettingsFile();

    const QString& FileName() const { return FFileName; }

    // The most a settings file of this program holds: eight paths of at most
    // 2047 bytes make under 17 KB, and the rest is room for lines kept by hand.
    // Whatever its lines, a file this size loads in about a tenth of a second.
    static constexpr qint64 MaxFileSize = 1024 * 1024;

    // The value, up to 2047 bytes, or `defaultValue` when the section or key is
    // missing. Throws ESettingsFileTooLarge.
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
    enum class TLineKind : uint8_t { Other, Section, Key };
    enum class TLineEnd : uint8_t { None, CrLf, Lf, Cr };
    // One line of the file, so that lines left alone are written back byte for
    // byte: its text lies in Text. What a line is, and the hash of its name,
    // are worked out once, so a look-up compares names only where hashes match.
    // 16 bytes: a file at the bound may be a million empty lines.
    struct TLine {
        uint32_t Begin = 0; // where its text starts in Text, which stays below 4 GiB
        uint32_t Length = 0;
        uint32_t NameHash = 0; // of a section's or key's name
        TLineKind Kind = TLineKind::Other;
        TLineEnd End = TLineEnd::None;
    };

    void Load();
    void Read();
    void CheckWritable() const;
    QByteArray Decoded(const QByteArray& data);       // the text of the file, noting its encoding
    QByteArray Encoded(const QByteArray& text) const; // throws when it cannot be done faithfully
    [[noreturn]] void ThrowUnableToWrite() const;
    QByteArrayView TextOf(const TLine& line) const;
    TLine Classified(qsizetype begin, qsizetype length, TLineEnd end) const;
    TLine NewLine(const QByteArray& text, TLineEnd end); // its text appended to Text
    bool IsSection(const TLine& line, QByteArrayView name, uint32_t hash) const;
    int FindSection(QByteArrayView section) const;     // header line, or -1
    int SectionEnd(int header) const;                  // the line after the section's last line
    int FindKey(int header, QByteArrayView key) const; // key line, or -1
    void InsertLine(int at, const QByteArray& text);

    QString FFileName;
    std::vector<TLine> Lines;
    QByteArray Text;     // the text of the file as read, then each line written here
    QByteArray Original; // the file's bytes as read
    QByteArray Utf8Mark; // the UTF-8 byte-order mark the file began with, if any
    std::optional<QStringConverter::Encoding> Utf16; // the file is UTF-16 in this byte order
    bool Loaded = false;
    bool KeepAsIs = false; // the file could not be read, or not be written back faithfully
    bool TooLarge = false; // larger than MaxFileSize: not read
    bool Dirty = false;
    bool FlushFailed = false; // the last Flush() threw
};
