#include "history/SettingsFile.h"

#include "platform/Errors.h"

#include <QFile>
#include <QSaveFile>

#include <optional>

namespace {

// A read gives at most this many bytes of a value.
constexpr qsizetype MaxValueLength = 2047;

const QByteArray LineEnd = "\r\n";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

bool HasLineBreak(const QByteArray& text) {
    return text.contains('\r') || text.contains('\n');
}

// Only spaces and tabs are trimmed: other control bytes belong to the text.
QByteArray Trimmed(const QByteArray& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

bool HasQuotePair(const QByteArray& text) {
    return text.size() >= 2 && IsQuote(text.front()) && text.back() == text.front();
}

QByteArray Unquoted(const QByteArray& text) {
    return HasQuotePair(text) ? text.mid(1, text.size() - 2) : text;
}

// A value that reading would trim or unquote is written in quotes, so that it
// reads back exactly as it was given.
QByteArray Quoted(const QByteArray& value) {
    if (value.isEmpty())
        return value;
    if (IsBlank(value.front()) || IsBlank(value.back()) || HasQuotePair(value))
        return '"' + value + '"';
    return value;
}

// Cuts the value to what a read returns, without splitting a UTF-8 sequence.
QByteArray CutToReadLength(const QByteArray& value) {
    if (value.size() <= MaxValueLength)
        return value;
    qsizetype length = MaxValueLength;
    for (int back = 0; back < 3 && length > 0 && (value[length] & 0xC0) == 0x80; ++back)
        --length;
    return value.left(length);
}

bool SameName(const QByteArray& a, const QByteArray& b) {
    return QFile::decodeName(a).compare(QFile::decodeName(b), Qt::CaseInsensitive) == 0;
}

// The name of a section header line: "[name]" with blanks allowed around the
// brackets and the name; whatever follows the first "]" is ignored.
std::optional<QByteArray> SectionName(const QByteArray& line) {
    const QByteArray text = Trimmed(line);
    if (!text.startsWith('['))
        return std::nullopt;
    const qsizetype close = text.indexOf(']');
    if (close < 0)
        return std::nullopt;
    return Trimmed(text.mid(1, close - 1));
}

// The key of a "key=value" line; the first "=" splits it.
std::optional<QByteArray> KeyOf(const QByteArray& line) {
    const qsizetype equals = line.indexOf('=');
    if (equals < 0 || SectionName(line))
        return std::nullopt;
    return Trimmed(line.left(equals));
}

QByteArray ValueOf(const QByteArray& line) {
    return Unquoted(Trimmed(line.mid(line.indexOf('=') + 1)));
}

} // namespace

TSettingsFile::TSettingsFile(const QString& fileName) : FFileName(fileName) {}

TSettingsFile::~TSettingsFile() {
    try {
        Flush();
    } catch (...) {
        // Released without a way to report; callers who care call Flush() first.
    }
}

bool TSettingsFile::CanStore(const QString& value) {
    const QByteArray bytes = QFile::encodeName(value);
    return !HasLineBreak(bytes) && bytes.size() <= MaxValueLength;
}

QString TSettingsFile::ReadString(const QString& section, const QString& key,
                                  const QString& defaultValue) {
    Load();
    const int header = FindSection(Trimmed(QFile::encodeName(section)));
    if (header < 0)
        return defaultValue;
    const int line = FindKey(header, Trimmed(QFile::encodeName(key)));
    if (line < 0)
        return defaultValue;
    return QFile::decodeName(CutToReadLength(ValueOf(Lines[static_cast<size_t>(line)].Text)));
}

void TSettingsFile::WriteString(const QString& section, const QString& key, const QString& value) {
    const QByteArray sectionName = Trimmed(QFile::encodeName(section));
    const QByteArray keyName = Trimmed(QFile::encodeName(key));
    const QByteArray bytes = QFile::encodeName(value);
    // Anything that would read back as other lines, another key or a section
    // header is refused rather than written.
    if (HasLineBreak(sectionName) || sectionName.contains(']') || HasLineBreak(keyName) ||
        keyName.contains('=') || keyName.startsWith('[') || HasLineBreak(bytes))
        ThrowUnableToWrite();
    Load();
    CheckWritable();

    const QByteArray text = keyName + '=' + Quoted(bytes);
    const int header = FindSection(sectionName);
    if (header < 0) {
        InsertLine(static_cast<int>(Lines.size()), '[' + sectionName + ']');
        InsertLine(static_cast<int>(Lines.size()), text);
        return;
    }
    const int line = FindKey(header, keyName);
    if (line >= 0) {
        // The same value already there is left as written.
        if (ValueOf(Lines[static_cast<size_t>(line)].Text) != bytes) {
            Lines[static_cast<size_t>(line)].Text = text;
            Dirty = true;
        }
        return;
    }
    // After the section's last non-blank line, so blank lines that part it
    // from the next section stay where they are.
    int last = SectionEnd(header) - 1;
    while (last > header && Trimmed(Lines[static_cast<size_t>(last)].Text).isEmpty())
        --last;
    InsertLine(last + 1, text);
}

void TSettingsFile::EraseSection(const QString& section) {
    Load();
    CheckWritable();
    const QByteArray name = Trimmed(QFile::encodeName(section));
    // Every section of that name goes, not just the first: otherwise a later
    // one would take its place and its keys would come back on the next read.
    for (int header = FindSection(name); header >= 0; header = FindSection(name, header)) {
        Lines.erase(Lines.begin() + header, Lines.begin() + SectionEnd(header));
        Dirty = true;
    }
}

void TSettingsFile::Flush() {
    if (!Dirty)
        return;
    QByteArray content;
    for (const TLine& line : Lines)
        content += line.Text + line.End;
    // Written beside the file and renamed over it, so a failure part-way
    // leaves the old file whole. Unbuffered, because a buffered QSaveFile
    // commits a file cut short by a full disk or a size limit as if whole;
    // a short write is seen here, and the temporary file is dropped unrenamed.
    QSaveFile file(FFileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(content) != content.size() || !file.commit())
        ThrowUnableToWrite();
    Dirty = false;
}

void TSettingsFile::Load() {
    if (Loaded)
        return;
    Loaded = true;
    QFile file(FFileName);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        Unreadable = true;
        return;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        Unreadable = true;
        return;
    }
    // CR LF, LF and CR each end a line, mixed as they come.
    qsizetype start = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (data[i] != '\r' && data[i] != '\n')
            continue;
        const qsizetype endLength =
            (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ? 2 : 1;
        Lines.push_back({data.mid(start, i - start), data.mid(i, endLength)});
        i += endLength - 1;
        start = i + 1;
    }
    if (start < data.size())
        Lines.push_back({data.mid(start), QByteArray()});
}

void TSettingsFile::CheckWritable() const {
    if (Unreadable)
        ThrowUnableToWrite();
}

void TSettingsFile::ThrowUnableToWrite() const {
    throw Exception("Unable to write to " + QFile::encodeName(FFileName).toStdString());
}

int TSettingsFile::FindSection(const QByteArray& section, int from) const {
    for (int i = from; i < static_cast<int>(Lines.size()); ++i) {
        const std::optional<QByteArray> name = SectionName(Lines[static_cast<size_t>(i)].Text);
        if (name && SameName(*name, section))
            return i;
    }
    return -1;
}

int TSettingsFile::SectionEnd(int header) const {
    int end = header + 1;
    while (end < static_cast<int>(Lines.size()) &&
           !SectionName(Lines[static_cast<size_t>(end)].Text))
        ++end;
    return end;
}

int TSettingsFile::FindKey(int header, const QByteArray& key) const {
    const int end = SectionEnd(header);
    for (int i = header + 1; i < end; ++i) {
        const std::optional<QByteArray> name = KeyOf(Lines[static_cast<size_t>(i)].Text);
        if (name && SameName(*name, key))
            return i;
    }
    return -1;
}

void TSettingsFile::InsertLine(int at, const QByteArray& text) {
    // The line before may be the file's last one, written without a line end.
    if (at > 0 && Lines[static_cast<size_t>(at - 1)].End.isEmpty())
        Lines[static_cast<size_t>(at - 1)].End = LineEnd;
    Lines.insert(Lines.begin() + at, TLine{text, LineEnd});
    Dirty = true;
}
