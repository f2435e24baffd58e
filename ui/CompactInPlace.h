// Compact Archive: the open archive rewritten in place as its compacted copy,
// which the user goes on working on under the same name.
#pragma once

#include "archive/ArchiveCompact.h"

#include <QString>

class QWidget;
class TJobRunner;

// Asks before the archive is rewritten. True for Yes.
bool ConfirmCompact(QWidget* owner, const TGTA3Archive& archive);

// Compacts `archive` in place (CompactArchive) as a job of `runner`, with the
// progress dialog and a busy cursor.
TCompactResult CompactWithProgress(QWidget* owner, TJobRunner& runner, TGTA3Archive& archive);
// What the status bar tells afterwards: the space saved, and what failed once
// the new pair had taken the old one's place.
QString CompactNotice(const TCompactResult& result);
