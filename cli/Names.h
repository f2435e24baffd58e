// Entry names as the command line sees them: matching, the safety rule for
// extracting, and a terminal-safe rendering.
#pragma once

#include "archive/ArchiveEntry.h"

#include <string>
#include <string_view>

// Whether a display name matches a name given on the command line, ignoring
// the case of a-z/A-Z only, as the editor's comparisons do.
bool NameMatches(std::string_view displayName, std::string_view wanted);

// The name with control bytes (0-31, 127) and backslash written as \xNN and
// \\, so that a hostile name cannot drive the terminal and the text stays
// unambiguous. Bytes of 128 and above pass unchanged.
std::string PrintableName(std::string_view name);
// Whether PrintableName would change the name.
bool NeedsEscaping(std::string_view name);

// `folder` + "/" + name, without doubling a trailing '/'; `name` alone when
// the folder is empty.
std::string JoinPath(const std::string& folder, std::string_view name);
