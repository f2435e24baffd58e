// The commands that work on the open archive as a whole: Check Archive and
// Save Compacted Copy As.
#pragma once

#include "archive/ArchiveCheck.h"
#include "archive/ArchiveRebuild.h"

#include <QString>
#include <QStringList>

#include <span>
#include <stop_token>

class QWidget;
class TGTA3Archive;
class TJob;
class TJobRunner;
class TfrmProgress;

// Check Archive: the summary and the findings' lines, as many as a list can
// show and then how many more.
struct TCheckReport {
    TCheckSummary summary;
    QStringList findings;
};
// Checks the records and lengths given (CheckEntries), on any thread.
TCheckReport CheckWithFindings(std::span<const TArchiveEntry> entries, uint64_t dataLength,
                               uint64_t directoryLength, const TDirectoryFacts& facts,
                               std::stop_token stop = {});
// Checks the archive as a job of `runner`, with the progress dialog and a busy cursor.
TCheckReport CheckWithFindings(QWidget* owner, TJobRunner& runner, const TGTA3Archive& archive);
// Shows the findings in a list under a summary ("No problems found." when
// there are none).
void ShowCheckReport(QWidget* owner, const TCheckReport& report);

// Moves `progress`'s bar along with the bytes a copy of `job` has done.
TCopyProgress CopyProgressOn(TfrmProgress& progress, const TJob& job);

// A compacted copy's refusal, told in the window's words; `kind` is that of
// the copy.
[[noreturn]] void RethrowInWindowWords(const ERebuildRefused& refused, TArchiveKind kind);

// Writes the compacted copy of `archive` as the new archive of the kind `kind`
// whose data file is `dataPath` (RebuildArchive: never over an existing file,
// the archive only read), with the progress dialog and a busy cursor.
TRebuildResult SaveCompactedCopy(QWidget* owner, TJobRunner& runner, TGTA3Archive& archive,
                                 const QString& dataPath, TArchiveKind kind);
// What the status bar tells of a compacted copy: the new pair and the space
// saved.
QString CompactedCopyNotice(const QString& dataPath, const TRebuildResult& result);
