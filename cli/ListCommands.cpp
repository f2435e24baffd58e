// new and list.
#include "archive/Gta3Archive.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/Names.h"
#include "cli/Output.h"
#include "cli/ReadOnlyPair.h"
#include "platform/Errors.h"
#include "sorting/SortFunctions.h"

#include <algorithm>
#include <filesystem>

namespace {

bool PathExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

TCompareFunc SortOrder(const std::string& key) {
    if (key == "name")
        return CompareByName;
    if (key == "type")
        return CompareByType;
    if (key == "size")
        return CompareBySize;
    throw UsageError("--sort takes name, type or size, not '" + key + "'");
}

void Pad(Output& out, size_t written, size_t width) {
    for (; written < width; ++written)
        out << ' ';
}

// Writes `text` right-aligned in `width` columns, after at least one blank.
void RightAligned(Output& out, const std::string& text, size_t width) {
    out << ' ';
    Pad(out, text.size(), width);
    out << text;
}

void WriteTextLine(Output& out, const TArchiveEntry& entry) {
    std::string name = PrintableName(DisplayName(entry));
    std::string type = PrintableName(GetTypeText(DisplayName(entry)));
    out << name;
    Pad(out, name.size(), 24);
    out << "  " << type;
    Pad(out, type.size(), 12);
    RightAligned(out, std::to_string(uint64_t{entry.Size} * 2), 10);
    out << " kB";
    RightAligned(out, std::to_string(entry.Offset), 10);
    RightAligned(out, std::to_string(entry.Size), 8);
    out << '\n';
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
    const std::string& path = args.positional[0];
    if (!args.Has("--force")) {
        for (const std::string& file : {path, DirectoryFileName(path)})
            if (PathExists(file))
                throw Exception(file + " already exists (use --force to empty the pair)");
    }
    TGTA3Archive archive(path, true);
    archive.Flush();
    return ExitOk;
}

int RunList(const ParsedArgs& args) {
    TCompareFunc compare = SortOrder(args.Value("--sort", "name"));
    ReadOnlyPair pair = OpenReadOnly(args.positional[0]);
    SortDescending = args.Has("--desc");
    std::sort(
        pair.entries.begin(), pair.entries.end(),
        [compare](const TArchiveEntry& a, const TArchiveEntry& b) { return compare(a, b) < 0; });

    Output out;
    if (args.Has("--json")) {
        out << '[';
        for (size_t i = 0; i < pair.entries.size(); ++i) {
            out << (i == 0 ? "\n" : ",\n");
            WriteJsonObject(out, pair.entries[i]);
        }
        out << "\n]\n";
    } else {
        for (const TArchiveEntry& entry : pair.entries)
            WriteTextLine(out, entry);
    }
    out.Flush();
    return ExitOk;
}
