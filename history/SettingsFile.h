// A settings file in the private-profile (INI) format: sections in brackets,
// key=value lines, CR LF line ends. Bound to one path; reads the file when first
// used and writes it back in place when released (or on Flush), keeping every
// line it did not change byte for byte.
#pragma once

#include <QByteArray>
#include <QString>

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

private:
    // implementation-defined
    QString FFileName;
};
