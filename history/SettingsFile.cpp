#include "history/SettingsFile.h"

#include "platform/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace {

// A read gives at most this many bytes of a value.
constexpr qsizetype MaxValueLength = 2047;

const QByteArray LineEnd = "\r\n";
const QByteArray Utf8ByteOrderMark = "\xEF\xBB\xBF";

// The old end-of-file mark of text files, which a value does not keep at its end.
constexpr char CtrlZ = '\x1A';

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

// A line break would split the text into lines of its own; a read stops at a NUL.
bool EndsEarly(const QByteArray& text) {
    return text.contains('\r') || text.contains('\n') || text.contains('\0');
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

// A value that reading would trim, unquote or cut is written in quotes, so that
// it reads back exactly as it was given.
QByteArray Quoted(const QByteArray& value) {
    if (value.isEmpty())
        return value;
    if (IsBlank(value.front()) || IsBlank(value.back()) || value.back() == CtrlZ ||
        HasQuotePair(value))
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

// Names as text for comparing: UTF-8 where they are valid UTF-8, otherwise
// Latin-1, so that no two different names turn into the same text.
QString NameText(const QByteArray& name) {
    // A byte-order mark is part of a name, not a mark to skip.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = utf8.decode(name);
    return utf8.hasError() ? QString::fromLatin1(name) : text;
}

bool SameName(const QByteArray& a, const QByteArray& b) {
    return NameText(a).compare(NameText(b), Qt::CaseInsensitive) == 0;
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
    QByteArray value = line.mid(line.indexOf('=') + 1);
    if (const qsizetype nul = value.indexOf('\0'); nul >= 0)
        value.truncate(nul);
    if (value.endsWith(CtrlZ))
        value.chop(1);
    return Unquoted(Trimmed(value));
}

// Makes the folder and any missing folders above it, each for the user alone,
// as a desktop's configuration folders are made.
bool MakeFolders(const QString& folder) {
    const QFileInfo info(folder);
    if (info.exists())
        return info.isDir();
    const QString parent = info.absolutePath();
    if (parent != info.absoluteFilePath() && !MakeFolders(parent))
        return false;
    return QDir().mkdir(info.absoluteFilePath(),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) ||
           QFileInfo(folder).isDir();
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

bool TSettingsFile::CanStore(const QByteArray& value) {
    return !EndsEarly(value) && value.size() <= MaxValueLength;
}

QByteArray TSettingsFile::ReadString(const QByteArray& section, const QByteArray& key,
                                     const QByteArray& defaultValue) {
    Load();
    const int header = FindSection(Trimmed(section));
    if (header < 0)
        return defaultValue;
    const int line = FindKey(header, Trimmed(key));
    if (line < 0)
        return defaultValue;
    return CutToReadLength(ValueOf(Lines[static_cast<size_t>(line)].Text));
}

void TSettingsFile::WriteString(const QByteArray& section, const QByteArray& key,
                                const QByteArray& value) {
    const QByteArray sectionName = Trimmed(section);
    const QByteArray keyName = Trimmed(key);
    // Anything that would read back as other lines, another key or a section
    // header is refused rather than written.
    if (EndsEarly(sectionName) || sectionName.contains(']') || EndsEarly(keyName) ||
        keyName.contains('=') || keyName.startsWith('[') || EndsEarly(value))
        ThrowUnableToWrite();
    Load();
    CheckWritable();

    const QByteArray text = keyName + '=' + Quoted(value);
    const int header = FindSection(sectionName);
    if (header < 0) {
        InsertLine(static_cast<int>(Lines.size()), '[' + sectionName + ']');
        InsertLine(static_cast<int>(Lines.size()), text);
        return;
    }
    const int line = FindKey(header, keyName);
    if (line >= 0) {
        // The same value already there is left as written.
        if (ValueOf(Lines[static_cast<size_t>(line)].Text) != value) {
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

void TSettingsFile::EraseSection(const QByteArray& section) {
    Load();
    CheckWritable();
    const QByteArray name = Trimmed(section);
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
    QByteArray text;
    for (const TLine& line : Lines)
        text += line.Text + line.End;
    const QByteArray content = Encoded(text);
    if (content == Original && QFileInfo::exists(FFileName)) {
        Dirty = false;
        return;
    }
    if (!MakeFolders(QFileInfo(FFileName).absolutePath()))
        ThrowUnableToWrite();
    // Written beside the file and renamed over it, so a failure part-way
    // leaves the old file whole. Where the folder lets no file be made, the
    // file is rewritten in place instead, as the platform's profile functions
    // do. Unbuffered, because a buffered QSaveFile commits a file cut short by
    // a full disk or a size limit as if whole; a short write is seen here, and
    // a temporary file is dropped unrenamed.
    QSaveFile file(FFileName);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(content) != content.size() || !file.commit())
        ThrowUnableToWrite();
    Original = content;
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
        KeepAsIs = true;
        return;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        KeepAsIs = true;
        return;
    }
    Original = data;
    const QByteArray text = Decoded(data);
    // CR LF, LF and CR each end a line, mixed as they come.
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        const qsizetype endLength =
            (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        Lines.push_back({text.mid(start, i - start), text.mid(i, endLength)});
        i += endLength - 1;
        start = i + 1;
    }
    if (start < text.size())
        Lines.push_back({text.mid(start), QByteArray()});
}

QByteArray TSettingsFile::Decoded(const QByteArray& data) {
    if (data.startsWith(Utf8ByteOrderMark)) {
        Utf8Mark = Utf8ByteOrderMark;
        return data.mid(Utf8ByteOrderMark.size());
    }
    if (data.startsWith("\xFF\xFE"))
        Utf16 = QStringConverter::Utf16LE;
    else if (data.startsWith("\xFE\xFF"))
        Utf16 = QStringConverter::Utf16BE;
    else
        return data;
    QStringDecoder decoder(*Utf16, QStringDecoder::Flag::Stateless |
                                       QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder.decode(QByteArrayView(data).sliced(2));
    // What does not decode cleanly cannot be written back as it was.
    if (decoder.hasError() || data.size() % 2 != 0 || !text.isValidUtf16())
        KeepAsIs = true;
    return text.toUtf8();
}

QByteArray TSettingsFile::Encoded(const QByteArray& text) const {
    if (!Utf16)
        return Utf8Mark + text;
    // The whole file in UTF-16 or nothing: a value that is not UTF-8 has no
    // UTF-16 form, and the file is then left as it is.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString decoded = utf8.decode(text);
    if (utf8.hasError())
        ThrowUnableToWrite();
    QStringEncoder encoder(*Utf16, QStringEncoder::Flag::WriteBom);
    return encoder.encode(decoded);
}

void TSettingsFile::CheckWritable() const {
    if (KeepAsIs)
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
