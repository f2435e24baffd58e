#include "ui/WholeArchiveCommands.h"

#include "archive/Cancel.h"
#include "archive/Gta3Archive.h"
#include "archive/PrintableName.h"
#include "ui/CommandSupport.h"
#include "ui/DialogSeam.h"
#include "ui/FormProgress.h"
#include "ui/JobRunner.h"
#include "ui/NameText.h"
#include "ui/NumberText.h"
#include "ui/PathText.h"

#include <QFileInfo>

#include <algorithm>

namespace {

// A hostile directory can hold millions of findings; the list shows this many
// and counts the rest.
constexpr size_t ListedFindings = 1000;
// The bar of a compacted copy counts thousandths of the bytes to copy.
constexpr int CopySteps = 1000;

} // namespace

TCheckReport CheckWithFindings(std::span<const TArchiveEntry> entries, uint64_t dataLength,
                               uint64_t directoryLength, const TDirectoryFacts& facts,
                               std::stop_token stop) {
    TCheckReport report;
    report.summary = CheckEntries(
        entries, dataLength, directoryLength, facts,
        [&](const TCheckFinding& finding) {
            if (static_cast<size_t>(report.findings.size()) < ListedFindings)
                report.findings << NameToText(finding.Text);
        },
        stop);
    if (report.summary.Problems > static_cast<uint64_t>(report.findings.size()))
        report.findings << QStringLiteral("… and %1 more")
                               .arg(CountText(report.summary.Problems - ListedFindings));
    return report;
}

TCheckReport CheckWithFindings(QWidget* owner, TJobRunner& runner, const TGTA3Archive& archive) {
    BusyCursor busy;
    auto progress = ShowProgress(owner, QStringLiteral("Checking Archive..."), 1);
    progress->SetLine2(
        QFileInfo(PathToText(QByteArray::fromStdString(archive.FileName()))).fileName());
    TCheckReport report;
    runner.Run(progress.get(), [&](const TJob& job) {
        report = CheckWithFindings(archive.Table(), archive.DataLength(), archive.DirectoryLength(),
                                   archive.DirectoryFacts(), job.Stop());
    });
    return report;
}

void ShowCheckReport(QWidget* owner, const TCheckReport& report) {
    const TCheckSummary& summary = report.summary;
    const QString verdict =
        summary.Problems == 0
            ? QStringLiteral("No problems found.")
            : CountText(summary.Problems, QStringLiteral("problem"), QStringLiteral("problems")) +
                  QStringLiteral(" found.");
    const QString sizes =
        QStringLiteral("%1; data file %2; dead space %3.")
            .arg(CountText(summary.Entries, QStringLiteral("entry"), QStringLiteral("entries")),
                 SizeText(summary.DataLength, TSizeForm::Exact),
                 DeadSpaceShare(summary.DeadBytes, summary.DataLength, TSizeForm::Exact));
    Dialogs().showFindings(owner, QStringLiteral("Check Archive"), verdict + u'\n' + sizes,
                           report.findings);
}

TCopyProgress CopyProgressOn(TfrmProgress& progress, const TJob& job) {
    job.OnWindow([bar = &progress] { bar->SetMax(CopySteps); });
    return [bar = &progress, &job](uint64_t done, uint64_t total) {
        const int step =
            total == 0 ? CopySteps : static_cast<int>(done * CopySteps / std::max(total, done));
        job.OnWindow([bar, step] { bar->StepTo(step); });
    };
}

void RethrowInWindowWords(const ERebuildRefused& refused, TArchiveKind kind) {
    // The window names its own commands, not the command line's.
    if (refused.Why() == ERebuildRefused::TWhy::PairExists)
        throw Exception(refused.Path() +
                        " already exists; a compacted copy is saved only as a new " +
                        (kind == TArchiveKind::SingleFile ? "archive" : "pair"));
    throw Exception("slot " + std::to_string(refused.Slot()) + " \"" +
                    PrintableName(refused.Name()) + "\" reaches past the end of " + refused.Path() +
                    " (see Action, Check Archive); nothing was written");
}

TRebuildResult SaveCompactedCopy(QWidget* owner, TJobRunner& runner, TGTA3Archive& archive,
                                 const QString& dataPath, TArchiveKind kind) {
    BusyCursor busy;
    auto progress = ShowProgress(owner, QStringLiteral("Saving Compacted Copy..."), CopySteps);
    progress->SetLine2(QFileInfo(dataPath).fileName());
    TRebuildResult result;
    try {
        runner.Run(progress.get(), [&](const TJob& job) {
            result = RebuildArchive(archive, HostPath(dataPath), kind,
                                    CopyProgressOn(*progress, job), job.Stop());
        });
    } catch (const ERebuildRefused& refused) {
        RethrowInWindowWords(refused, kind);
    } catch (const ECancelled&) {
        throw ECancelled("nothing was written");
    }
    return result;
}

QString CompactedCopyNotice(const QString& dataPath, const TRebuildResult& result) {
    const QString dirPath =
        PathToText(QByteArray::fromStdString(DirectoryFileName(HostPath(dataPath))));
    const uint64_t saved =
        result.SourceDataLength - std::min(result.DataLength, result.SourceDataLength);
    const QString share = DeadSpaceShare(saved, result.SourceDataLength, TSizeForm::Short);
    QString notice =
        result.Kind == TArchiveKind::Pair
            ? QStringLiteral("Compacted copy saved, %1 smaller: %2 and %3 in %4")
                  .arg(share, QFileInfo(dataPath).fileName(), QFileInfo(dirPath).fileName(),
                       QFileInfo(dataPath).absolutePath())
            : QStringLiteral("Compacted copy saved, %1 smaller: %2 (single file) in %3")
                  .arg(share, QFileInfo(dataPath).fileName(), QFileInfo(dataPath).absolutePath());
    // The pair is whole either way; these only say what may still go wrong.
    if (!result.FolderSynced)
        notice += QStringLiteral(" (its folder could not be put on disk: %1)")
                      .arg(NameToText(result.SyncProblem));
    if (!result.LeftoverProblem.empty())
        notice += QStringLiteral(" (a temporary file was left: %1)")
                      .arg(NameToText(result.LeftoverProblem));
    return notice;
}
