#include "ui/CompactInPlace.h"

#include "archive/ArchiveCheck.h"
#include "archive/Cancel.h"
#include "ui/CommandSupport.h"
#include "ui/DialogSeam.h"
#include "ui/FormProgress.h"
#include "ui/JobRunner.h"
#include "ui/NumberText.h"
#include "ui/PathText.h"
#include "ui/WholeArchiveCommands.h"

#include <QFileInfo>

namespace {

QString ArchiveName(const TGTA3Archive& archive) {
    return QFileInfo(PathToText(QByteArray::fromStdString(archive.FileName()))).fileName();
}

} // namespace

bool ConfirmCompact(QWidget* owner, const TGTA3Archive& archive) {
    return Dialogs().confirm(
        owner, QStringLiteral("Confirm"),
        QStringLiteral("Compact %1?\n\nThe archive is rewritten: its data is copied in directory "
                       "order without dead space into a new %2, which then takes the place of "
                       "the old one. What Undo could bring back is forgotten.")
            .arg(ArchiveName(archive), archive.Kind() == TArchiveKind::SingleFile
                                           ? QStringLiteral("file")
                                           : QStringLiteral("pair")));
}

TCompactResult CompactWithProgress(QWidget* owner, TJobRunner& runner, TGTA3Archive& archive) {
    BusyCursor busy;
    auto progress = ShowProgress(owner, QStringLiteral("Compacting Archive..."), 1);
    progress->SetLine2(ArchiveName(archive));
    TCompactResult result;
    try {
        runner.Run(progress.get(), [&](const TJob& job) {
            result = CompactArchive(archive, CopyProgressOn(*progress, job), job.Stop());
        });
    } catch (const ERebuildRefused& refused) {
        RethrowInWindowWords(refused, archive.Kind());
    } catch (const ECancelled&) {
        throw ECancelled("the archive is as it was");
    }
    return result;
}

QString CompactNotice(const TCompactResult& result) {
    const uint64_t saved = result.OldDataLength - std::min(result.DataLength, result.OldDataLength);
    QString notice = QStringLiteral("Archive compacted, %1 smaller")
                         .arg(DeadSpaceShare(saved, result.OldDataLength, TSizeForm::Short));
    // The new pair is in place, or is put there by the next opening.
    if (const QString warnings = WarningsNotice(QStringLiteral("Compact Archive"), result.Warnings,
                                                QStringLiteral("the archive is compacted"));
        !warnings.isEmpty())
        notice += QStringLiteral("; ") + warnings;
    return notice;
}
