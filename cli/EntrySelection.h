// Finding the entries that names given on the command line refer to.
#pragma once

#include "archive/Gta3Archive.h"

#include <span>
#include <string>
#include <vector>

// The slots of the entries whose display name matches any of `names` (the
// case of a-z aside), ascending. Throws Exception "no entry named ..." for a
// name that matches nothing, so a command fails before it changes anything.
std::vector<int> MatchingEntries(const TGTA3Archive& archive, std::span<const std::string> names);
