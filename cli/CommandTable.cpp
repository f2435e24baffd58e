// The subcommands, their options and their help texts.
#include "cli/CommandTable.h"

#include <cstdint>

namespace {

const OptionSpec NewOptions[] = {{"--force", false}, {"--format", true}};
const OptionSpec ListOptions[] = {{"--sort", true}, {"--desc", false}, {"--json", false}};
const OptionSpec ExtractOptions[] = {{"--all", false}, {"-C", true}};
const OptionSpec DryRunOptions[] = {{"--dry-run", false}};
const OptionSpec AddOptions[] = {{"--replace", false}};
const OptionSpec FormatOptions[] = {{"--format", true}};

const Command Commands[] = {
    {"new", "ARCHIVE [--format v1|v2] [--force]",
     "Creates an empty archive: with --format v1 (the default) a pair, an empty\n"
     "data file ARCHIVE and an empty directory file beside it; with --format v2\n"
     "a single-file archive (the later game's \"VER2\" kind), one file with\n"
     "room for 512 records before its data.\n"
     "\n"
     "  --force   replace an existing pair instead of refusing (its entries are\n"
     "            lost): new files are renamed over the old ones, which are\n"
     "            never emptied, so other names of them keep their bytes. A\n"
     "            file held by another program is refused.\n"
     "\n"
     "A pair's ARCHIVE must not end in .dir (it would be its own directory file).\n"
     "Nothing is changed when the command fails.\n",
     NewOptions, 1, 1, RunNew},
    {"list", "ARCHIVE [--sort name|type|size] [--desc] [--json]",
     "Lists the entries, one per line: display name, type, size in kB, first\n"
     "sector and size in sectors. Names are shown with control bytes as \\xNN and a\n"
     "backslash as \\\\.\n"
     "\n"
     "  --sort name|type|size   order of the entries (default: name), as the\n"
     "                          editor's columns sort them\n"
     "  --desc                  descending order\n"
     "  --json                  a JSON array of objects instead, one per entry:\n"
     "      \"slot\"          the record's place in the directory file, from 0\n"
     "      \"name\"          the display name as a JSON string\n"
     "      \"stored_name\"   the name as stored (untrimmed) as a JSON string\n"
     "      \"name_hex\"      the stored name's bytes in hexadecimal, two digits\n"
     "                      a byte: this field alone gives every byte exactly\n"
     "      \"type\", \"size_kb\", \"offset\", \"sectors\"\n"
     "    In the two strings, printable ASCII and well-formed UTF-8 appear as\n"
     "    they are and any other byte as \\u00XX, which cannot be told apart\n"
     "    from the character U+00XX: use \"name_hex\" for the exact bytes.\n"
     "\n"
     "The pair is opened for reading only.\n",
     ListOptions, 1, 1, RunList},
    {"add", "ARCHIVE FILE... [--replace]",
     "Appends each FILE as a new entry, in the order given, named by the part\n"
     "of its path after the last '/' (cut to 24 bytes). A name already present\n"
     "makes a second entry of that name. The first file that fails stops the\n"
     "command; the files added before it stay added.\n"
     "\n"
     "  --replace   import and replace: a FILE whose name an entry already has\n"
     "              (ignoring the case of a-z) becomes that entry's new data;\n"
     "              of several such entries, the first in the directory. Other\n"
     "              files are added. Prints a line per file: \"replaced NAME\" or\n"
     "              \"added NAME\". Each entry keeps either its old data or its\n"
     "              new, whatever stops the command; the old data stays as dead\n"
     "              space (see rebuild).\n",
     AddOptions, 2, SIZE_MAX, RunAdd},
    {"extract", "ARCHIVE (NAME...|--all) [-C DIR]",
     "Writes entries into files named by their display names, each file the\n"
     "entry's sectors whole (Size x 2048 bytes). An existing file is replaced.\n"
     "NAME matches display names ignoring the case of a-z only; a NAME that\n"
     "matches nothing is an error and nothing is written. Entries are written\n"
     "in name order; of entries with the same name, one file remains.\n"
     "A display name that is empty, \".\" or \"..\" or contains '/' is refused,\n"
     "as is an entry whose file would replace a symbolic link or a folder, so\n"
     "nothing is written outside DIR; every name is checked before any file\n"
     "is written. Each file is written under a temporary name and renamed into\n"
     "place when whole. The first failure stops the command.\n"
     "\n"
     "  --all    every entry\n"
     "  -C DIR   the folder to write into, which must exist (default: the\n"
     "           current folder)\n",
     ExtractOptions, 1, SIZE_MAX, RunExtract},
    {"delete", "ARCHIVE NAME... [--dry-run]",
     "Removes every entry whose display name matches a NAME (ignoring the case\n"
     "of a-z only) from the directory file. The data file is not changed: the\n"
     "entries' sectors stay as dead space (see rebuild). A NAME that matches\n"
     "nothing is an error and nothing is deleted. The directory file is\n"
     "written whole or not at all: a new file renamed over it, or, where that\n"
     "would change its owner or other names of it, rewritten in place through\n"
     "a journal at its end that the next opening finishes. What fails once\n"
     "the new directory is whole is a warning, and the exit status is 0.\n"
     "\n"
     "  --dry-run   show the entries that would be deleted; change nothing\n",
     DryRunOptions, 2, SIZE_MAX, RunDelete},
    {"rename", "ARCHIVE OLD NEW [--dry-run]",
     "Gives the entry whose display name matches OLD (ignoring the case of a-z\n"
     "only) the name NEW, cut to 24 bytes. OLD must match exactly one entry.\n"
     "\n"
     "  --dry-run   show the change; change nothing\n",
     DryRunOptions, 3, 3, RunRename},
    {"check",
     "ARCHIVE",
     "Reports problems of the pair without changing it: records that reach\n"
     "past the data file's end, records that repeat another record exactly,\n"
     "records whose data overlap, display names that occur more than once\n"
     "(ignoring the case of a-z), names that cannot be extracted safely, names\n"
     "that fill all 24 bytes without a terminating zero byte, a data file that\n"
     "is not whole sectors, and a trailing piece of the directory file shorter\n"
     "than a record. It also tells the dead\n"
     "space: bytes of the data file that no record refers to (left by deleting;\n"
     "rebuild removes it), which by itself is not a problem.\n"
     "\n"
     "Exit status: 0 no problems, 1 problems found or the pair cannot be read.\n",
     {},
     1,
     1,
     RunCheck},
    {"rebuild", "ARCHIVE NEW_ARCHIVE [--format v1|v2]",
     "Writes a compacted copy of ARCHIVE as the new archive NEW_ARCHIVE: the\n"
     "same records in the same order, their data packed without dead space\n"
     "(records that share data keep sharing one copy). ARCHIVE is only read.\n"
     "\n"
     "  --format v1|v2   the kind of the copy: v1 a pair, v2 a single file\n"
     "                   (default: the kind of ARCHIVE; see convert)\n"
     "\n"
     "The copy is written under temporary names beside NEW_ARCHIVE, put on\n"
     "disk, then linked into place, so a complete archive or none appears; the\n"
     "leftovers of a rebuild that was killed there are removed by the next\n"
     "one. Refuses when a file of the new archive exists or appears\n"
     "meanwhile, when a record of ARCHIVE reaches past its data file's end,\n"
     "and, for a single file, when an entry takes more than 65535 sectors.\n"
     "When only the final sync of the folder fails, the copy is in place:\n"
     "a warning is printed and the exit status is 0.\n",
     FormatOptions, 2, 2, RunRebuild},
    {"compact",
     "ARCHIVE",
     "Rewrites ARCHIVE as its compacted copy under the same names: the same\n"
     "records in the same order, their data packed without dead space in\n"
     "directory order, as the games read it (records that share data keep\n"
     "sharing one copy). Prints how much smaller the data file became.\n"
     "The new pair is written beside the old one under temporary names and\n"
     "put on disk, then a marker file naming it, and then renamed over the\n"
     "old pair; an opening that finds the marker finishes the renames first,\n"
     "so after a failure or a kill the pair is the old one or the new one,\n"
     "whole. Refuses, writing nothing, when the folder lacks the free space\n"
     "for the new pair, and when a file of the pair is a symbolic link, has\n"
     "other names or belongs to another user (use rebuild then). What fails\n"
     "once the new pair has taken the old one's place is a warning, and the\n"
     "exit status is 0.\n",
     {},
     1,
     1,
     RunCompact},
    {"convert", "SOURCE DEST [--format v1|v2]",
     "Writes SOURCE as an archive of the other kind at DEST (or of the kind\n"
     "--format names): a pair (v1) becomes a single file (v2) and back, with\n"
     "the same entries in the same order and the same bytes. The copy is\n"
     "written as rebuild writes it, compacted, and refused as rebuild refuses.\n",
     FormatOptions, 2, 2, RunConvert},
};

} // namespace

std::span<const Command> AllCommands() {
    return Commands;
}

const Command* FindCommand(std::string_view name) {
    for (const Command& command : Commands)
        if (name == command.name)
            return &command;
    return nullptr;
}

std::string ProgramHelp() {
    std::string text = "Usage: pelkon-cli COMMAND ARCHIVE [ARGUMENTS...]\n"
                       "       pelkon-cli COMMAND --help\n"
                       "\n"
                       "Works on a GTA3 archive pair. ARCHIVE is the data file's path (usually\n"
                       ".img); the directory file is the same path with its extension replaced\n"
                       "by .dir, or .dir appended when it has none.\n"
                       "\n"
                       "Commands:\n";
    for (const Command& command : Commands)
        text += std::string("  ") + command.name + " " + command.synopsis + "\n";
    text += "\n"
            "Names are compared ignoring the case of the letters a-z only. A pair\n"
            "held open by the editor or another command cannot be opened.\n"
            "Exit status: 0 success, 1 failure (check: problems found), 2 usage error.\n";
    return text;
}

std::string CommandHelp(const Command& command) {
    return "Usage: pelkon-cli " + std::string(command.name) + " " + command.synopsis + "\n\n" +
           command.help;
}
