// The check of the open archive that keeps the status bar's dead space and
// problem count true: run in a worker thread on a copy of the table, so that
// neither opening a large archive nor a command waits for it. A result is
// delivered only while it is still the result for the archive as it stands.
#pragma once

#include "archive/ArchiveCheck.h"
#include "ui/WholeArchiveCommands.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

class QThread;
class TGTA3Archive;

class TBackgroundCheck : public QObject {
    Q_OBJECT
public:
    // `archive` is the program's open archive, read when a check begins.
    explicit TBackgroundCheck(const std::unique_ptr<TGTA3Archive>& archive,
                              QObject* parent = nullptr);
    ~TBackgroundCheck() override; // waits for a check still running

    // The archive is as it will be checked: a check of it begins once the
    // event loop runs again, after a check still running for an older state.
    // With `shownIn`, it begins only after that widget's next paint (or a
    // second at most): copying a large table takes a moment, and a newly
    // opened archive is shown first.
    void Start(QWidget* shownIn = nullptr);
    // The archive was closed: nothing known, nothing to come. A check still
    // running is asked to stop, as it is by Start().
    void Discard();
    // A check made in the foreground on the archive as it stands.
    void SetResult(const TCheckReport& report);
    // While held (a job may change the archive on another thread), no check
    // reads the archive; one wanted meanwhile begins once released.
    void SetHeld(bool held);

    // The summary for the archive as it stands; none while one is still to come.
    std::optional<TCheckSummary> Result() const {
        return FReport ? std::optional(FReport->summary) : std::nullopt;
    }
    // The whole report behind Result(), which Check Archive shows instead of
    // checking again.
    const std::optional<TCheckReport>& Report() const { return FReport; }
    bool Pending() const { return FWanted || FRunningGeneration == FGeneration; }
    // A check is under way in the worker, of this state of the archive or an
    // older one; its result is not yet delivered.
    bool Running() const { return FRunningGeneration != 0; }

signals:
    void Finished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Job;
    void LaunchWanted();
    void RunInWorker(std::function<void()> work, void (TBackgroundCheck::*then)());
    void Prepare();
    void CopyTable();
    void CheckDone();
    void StopRunning();

    const std::unique_ptr<TGTA3Archive>& FArchive;
    uint64_t FGeneration = 1;        // counts the states of the archive
    uint64_t FRunningGeneration = 0; // of the check running, 0 for none
    bool FWanted = false;            // a check is asked for and not begun
    QPointer<QWidget> FShownIn;      // whose next paint the check waits for
    QThread* FThread = nullptr;
    std::shared_ptr<Job> FJob;
    bool FHeld = false;
    std::optional<TCheckReport> FReport;
};
