// new and list.
#include "archive/ArchiveCommands.h"
#include "archive/Gta3Archive.h"
#include "archive/PrintableName.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/Output.h"
#include "platform/Errors.h"
#include "sorting/SortFunctions.h"

#include <charconv>

namespace {

TCompareFunc SortOrder(const std::string& key) {
    if (key == "name")
        return CompareByName;
    if (key == "type")
        return CompareByType;
    if (key == "size")
        return CompareBySize;
    throw UsageError("--sort takes name, type or size, not '" + PrintableName(key) + "'");
}

// Appends `text` to `line`, then blanks up to `width` columns.
void LeftAligned(std::string& line, std::string_view text, size_t width) {
    line += text;
    if (text.size() < width)
        line.append(width - text.size(), ' ');
}

// Appends at least one blank, then `number` right-aligned in `width` columns.
void RightAligned(std::string& line, uint64_t number, size_t width) {
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    size_t length = static_cast<size_t>(end - digits);
    line.append(length < width ? width - length + 1 : 1, ' ');
    line.append(digits, length);
}

// One line, built whole and handed over at once: this runs a million times.
void WriteTextLine(Output& out, std::string& line, const TArchiveEntry& entry) {
    line.clear();
    std::string_view name = DisplayName(entry);
    if (NeedsEscaping(name))
        LeftAligned(line, PrintableName(name), 24);
    else
        LeftAligned(line, name, 24);
    line += "  ";
    LeftAligned(line, PrintableName(GetTypeText(name)), 12);
    RightAligned(line, uint64_t{entry.Size} * 2, 10);
    line += " kB";
    RightAligned(line, entry.Offset, 10);
    RightAligned(line, entry.Size, 8);
    line += '\n';
    out << line;
}

void WriteJsonObject(Output& out, const TArchiveEntry& entry) {
    out << "{\"slot\":" << static_cast<uint64_t>(entry.DirIndex)
        << ",\"name\":" << JsonString(DisplayName(entry))
        << ",\"stored_name\":" << JsonString(NameText(entry))
        << ",\"name_hex\":" << JsonHex(NameText(entry))
        << ",\"type\":" << JsonString(GetTypeText(DisplayName(entry)))
        << ",\"size_kb\":" << uint64_t{entry.Size} * 2 << ",\"offset\":" << entry.Offset
        << ",\"sectors\":" << entry.Size << '}';
}

} // namespace

int RunNew(const ParsedArgs& args) {
    const TArchiveKind kind = FormatOption(args, TArchiveKind::Pair);
    try {
        PrintWarnings(args.positional[0],
                      CreateArchive(args.positional[0], kind, args.Has("--force")).Warnings,
                      kind == TArchiveKind::Pair ? "the new pair is in place"
                                                 : "the new archive is in place");
    } catch (const EFileError& error) {
        if (error.SystemError() != EEXIST)
            throw;
        throw EFileError(error.what(), error.Path(), EEXIST,
                         kind == TArchiveKind::Pair
                             ? "already exists (use --force to replace the pair with an empty one)"
                             : "already exists (use --force to replace it)");
    }
    return ExitOk;
}

int RunList(const ParsedArgs& args) {
    const TCompareFunc compare = SortOrder(args.Value("--sort", "name"));
    TGTA3Archive archive(args.positional[0], TOpenMode::Shared);
    PrintWarnings(args.positional[0], archive.OpeningWarnings(), "it is left alone");
    const auto table = archive.Table();
    const std::vector<uint32_t> rows = SortedSlots(table, compare, args.Has("--desc"));

    Output out;
    if (args.Has("--json")) {
        out << '[';
        for (size_t i = 0; i < rows.size(); ++i) {
            out << (i == 0 ? "\n" : ",\n");
            WriteJsonObject(out, table[rows[i]]);
        }
        out << "\n]\n";
    } else {
        std::string line;
        for (const uint32_t slot : rows)
            WriteTextLine(out, line, table[slot]);
    }
    out.Flush();
    return ExitOk;
}
