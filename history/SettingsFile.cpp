#include "history/SettingsFile.h"

#include "history/SettingsStorage.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <limits>

namespace {

// A read gives at most this many bytes of a value.
constexpr qsizetype MaxValueLength = 2047;

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
bool EndsEarly(QByteArrayView text) {
    return text.contains('\r') || text.contains('\n') || text.contains('\0');
}

// Only spaces and tabs are trimmed: other control bytes belong to the text.
QByteArrayView Trimmed(QByteArrayView text) {
    while (!text.isEmpty() && IsBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && IsBlank(text.back()))
        text.chop(1);
    return text;
}

bool HasQuotePair(QByteArrayView text) {
    return text.size() >= 2 && IsQuote(text.front()) && text.back() == text.front();
}

QByteArrayView Unquoted(QByteArrayView text) {
    return HasQuotePair(text) ? text.sliced(1, text.size() - 2) : text;
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
// Latin-1, so that no two different names turn into the same text; folded, so
// that names differing in letter case alone are the same text. Equal folded
// texts are what QString's case-insensitive comparison finds equal.
QString FoldedName(QByteArrayView name) {
    // A byte-order mark is part of a name, not a mark to skip.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = utf8.decode(name);
    return (utf8.hasError() ? QString::fromLatin1(name) : text).toCaseFolded();
}

uint32_t NameHash(QByteArrayView name) {
    return static_cast<uint32_t>(qHash(FoldedName(name)));
}

bool SameName(QByteArrayView a, QByteArrayView b) {
    return FoldedName(a) == FoldedName(b);
}

// The name of a section header line: "[name]" with blanks allowed around the
// brackets and the name; whatever follows the first "]" is ignored.
std::optional<QByteArrayView> SectionName(QByteArrayView line) {
    const QByteArrayView text = Trimmed(line);
    if (!text.startsWith('['))
        return std::nullopt;
    const qsizetype close = text.indexOf(']');
    if (close < 0)
        return std::nullopt;
    return Trimmed(text.sliced(1, close - 1));
}

// The key of a "key=value" line that is no section header; the first "=" splits it.
std::optional<QByteArrayView> KeyOf(QByteArrayView line) {
    const qsizetype equals = line.indexOf('=');
    if (equals < 0)
        return std::nullopt;
    return Trimmed(line.first(equals));
}

QByteArray ValueOf(QByteArrayView line) {
    QByteArrayView value = line.sliced(line.indexOf('=') + 1);
    if (const qsizetype nul = value.indexOf('\0'); nul >= 0)
        value.truncate(nul);
    if (value.endsWith(CtrlZ))
        value.chop(1);
    return Unquoted(Trimmed(value)).toByteArray();
}

// The line end of a TLineEnd, in its order.
QByteArrayView EndText(uint8_t end) {
    static constexpr const char* Ends[] = {"", "\r\n", "\n", "\r"};
    return Ends[end];
}

// The file's path as messages carry paths: the system's bytes on Linux, UTF-8
// on Windows, where encodeName would give the ANSI code page, which cannot
// hold every name.
std::string PathBytes(const QString& fileName) {
#ifdef Q_OS_WIN
    return fileName.toStdString();
#else
    return QFile::encodeName(fileName).toStdString();
#endif
}

} // namespace

ESettingsFileTooLarge::ESettingsFileTooLarge(const QString& fileName)
    : Exception(PathBytes(fileName) +
                " is over 1 MiB, too large to be Pelkon's settings file: it is left as it is, "
                "and the list of recent files starts empty and is not saved") {
    static_assert(TSettingsFile::MaxFileSize == 1024 * 1024, "the message names the size");
}

TSettingsFile::TSettingsFile(const QString& fileName) : FFileName(fileName) {}

TSettingsFile::~TSettingsFile() {
    // A failure Flush() reported is not retried behind the caller's back: the
    // caller was told that the file holds what it held before.
    if (FlushFailed)
        return;
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
    if (TooLarge)
        throw ESettingsFileTooLarge(FFileName);
    const int header = FindSection(Trimmed(section));
    if (header < 0)
        return defaultValue;
    const int line = FindKey(header, Trimmed(key));
    if (line < 0)
        return defaultValue;
    return CutToReadLength(ValueOf(TextOf(Lines[static_cast<size_t>(line)])));
}

void TSettingsFile::WriteString(const QByteArray& section, const QByteArray& key,
                                const QByteArray& value) {
    const QByteArray sectionName = Trimmed(section).toByteArray();
    const QByteArray keyName = Trimmed(key).toByteArray();
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
        TLine& old = Lines[static_cast<size_t>(line)];
        if (ValueOf(TextOf(old)) != value) {
            old = NewLine(text, old.End);
            Dirty = true;
        }
        return;
    }
    // After the section's last non-blank line, so blank lines that part it
    // from the next section stay where they are.
    int last = SectionEnd(header) - 1;
    while (last > header && Trimmed(TextOf(Lines[static_cast<size_t>(last)])).isEmpty())
        --last;
    InsertLine(last + 1, text);
}

void TSettingsFile::EraseSection(const QByteArray& section) {
    Load();
    CheckWritable();
    const QByteArrayView name = Trimmed(section);
    const uint32_t hash = NameHash(name);
    // Every section of that name goes, not just the first: otherwise a later
    // one would take its place and its keys would come back on the next read.
    // One pass, however many there are.
    size_t kept = 0;
    bool erasing = false;
    for (size_t i = 0; i < Lines.size(); ++i) {
        if (Lines[i].Kind == TLineKind::Section)
            erasing = IsSection(Lines[i], name, hash);
        if (!erasing)
            Lines[kept++] = Lines[i];
    }
    if (kept < Lines.size()) {
        Lines.resize(kept);
        Dirty = true;
    }
}

void TSettingsFile::Flush() {
    if (!Dirty)
        return;
    FlushFailed = true; // until it is done
    QByteArray text;
    text.reserve(Text.size() + 2 * static_cast<qsizetype>(Lines.size()));
    for (const TLine& line : Lines) {
        text += TextOf(line);
        text += EndText(static_cast<uint8_t>(line.End));
    }
    const QByteArray content = Encoded(text);
    // A file that the next start would refuse to read is not written.
    if (content.size() > MaxFileSize)
        ThrowUnableToWrite();
    try {
        const std::string path = PathBytes(FFileName);
        if (content != Original || !TargetInfo(path))
            WriteStoredSettings(path, content);
    } catch (const EFileError&) {
        ThrowUnableToWrite();
    }
    Original = content;
    Dirty = false;
    FlushFailed = false;
}

void TSettingsFile::Load() {
    if (Loaded)
        return;
    Loaded = true;
    try {
        Read();
    } catch (...) {
        // A file read in part is never written back: it would lose the rest.
        Lines.clear();
        KeepAsIs = true;
        throw;
    }
}

void TSettingsFile::Read() {
    using TState = TStoredSettings::TState;
    TStoredSettings stored = ReadStoredSettings(PathBytes(FFileName), MaxFileSize);
    if (stored.State == TState::Missing)
        return;
    if (stored.State != TState::Read) {
        TooLarge = stored.State == TState::TooLarge;
        KeepAsIs = true;
        return;
    }
    Original = std::move(stored.Bytes);
    Text = Decoded(Original);
    // CR LF, LF and CR each end a line, mixed as they come. Room for the most
    // lines there can be is reserved first, so the table is never copied as
    // it grows; what stays unused is never touched.
    const QByteArrayView text = Text;
    Lines.reserve(static_cast<size_t>(text.count('\r') + text.count('\n') + 1));
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        TLineEnd end = text[i] == '\n' ? TLineEnd::Lf : TLineEnd::Cr;
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            end = TLineEnd::CrLf;
        Lines.push_back(Classified(start, i - start, end));
        i += end == TLineEnd::CrLf ? 1 : 0;
        start = i + 1;
    }
    if (start < text.size())
        Lines.push_back(Classified(start, text.size() - start, TLineEnd::None));
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
    throw Exception("Unable to write to " + PathBytes(FFileName));
}

QByteArrayView TSettingsFile::TextOf(const TLine& line) const {
    return QByteArrayView(Text).sliced(line.Begin, line.Length);
}

TSettingsFile::TLine TSettingsFile::Classified(qsizetype begin, qsizetype length,
                                               TLineEnd end) const {
    TLine line{static_cast<uint32_t>(begin), static_cast<uint32_t>(length), 0, TLineKind::Other,
               end};
    const QByteArrayView text = TextOf(line);
    if (const std::optional<QByteArrayView> section = SectionName(text)) {
        line.Kind = TLineKind::Section;
        line.NameHash = NameHash(*section);
    } else if (const std::optional<QByteArrayView> key = KeyOf(text)) {
        line.Kind = TLineKind::Key;
        line.NameHash = NameHash(*key);
    }
    return line;
}

TSettingsFile::TLine TSettingsFile::NewLine(const QByteArray& text, TLineEnd end) {
    const qsizetype begin = Text.size();
    // Far past any file that is read back; a caller that writes this much is refused.
    if (begin + text.size() > std::numeric_limits<uint32_t>::max())
        ThrowUnableToWrite();
    Text += text;
    return Classified(begin, text.size(), end);
}

bool TSettingsFile::IsSection(const TLine& line, QByteArrayView name, uint32_t hash) const {
    return line.Kind == TLineKind::Section && line.NameHash == hash &&
           SameName(*SectionName(TextOf(line)), name);
}

int TSettingsFile::FindSection(QByteArrayView section) const {
    const uint32_t hash = NameHash(section);
    for (size_t i = 0; i < Lines.size(); ++i) {
        if (IsSection(Lines[i], section, hash))
            return static_cast<int>(i);
    }
    return -1;
}

int TSettingsFile::SectionEnd(int header) const {
    auto end = static_cast<size_t>(header) + 1;
    while (end < Lines.size() && Lines[end].Kind != TLineKind::Section)
        ++end;
    return static_cast<int>(end);
}

int TSettingsFile::FindKey(int header, QByteArrayView key) const {
    const uint32_t hash = NameHash(key);
    for (auto i = static_cast<size_t>(header) + 1;
         i < Lines.size() && Lines[i].Kind != TLineKind::Section; ++i) {
        const TLine& line = Lines[i];
        if (line.Kind == TLineKind::Key && line.NameHash == hash &&
            SameName(*KeyOf(TextOf(line)), key))
            return static_cast<int>(i);
    }
    return -1;
}

void TSettingsFile::InsertLine(int at, const QByteArray& text) {
    // The line before may be the file's last one, written without a line end.
    if (at > 0 && Lines[static_cast<size_t>(at - 1)].End == TLineEnd::None)
        Lines[static_cast<size_t>(at - 1)].End = TLineEnd::CrLf;
    Lines.insert(Lines.begin() + at, NewLine(text, TLineEnd::CrLf));
    Dirty = true;
}
