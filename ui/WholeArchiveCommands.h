// The commands that work on the open archive as a whole: Check Archive and
// Save Compacted Copy As.
#pragma once

#include "archive/ArchiveCheck.h"
#include "archive/ArchiveRebuild.h"

#include <QString>

class QWidget;
class TGTA3Archive;

// Checks the archive with a busy cursor and shows the findings in a list
// under a summary ("No problems found." when there are none). Returns the
// summary.
TCheckSummary CheckArchiveCommand(QWidget* owner, const TGTA3Archive& archive);

// Writes the compacted copy of `archive` as the new pair whose data file is
// `dataPath` (RebuildArchive: never over an existing file, the archive only
// read), with the progress dialog and a busy cursor.
TRebuildResult SaveCompactedCopy(QWidget* owner, TGTA3Archive& archive, const QString& dataPath);
// What the status bar tells of a compacted copy: the new pair and the space
// saved.
QString CompactedCopyNotice(const QString& dataPath, const TRebuildResult& result);
