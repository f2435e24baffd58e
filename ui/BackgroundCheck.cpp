#include "ui/BackgroundCheck.h"

#include "archive/Gta3Archive.h"

#include <QThread>
#include <QTimer>

#include <utility>
#include <vector>

struct TBackgroundCheck::Job {
    std::vector<TArchiveEntry> entries;
    uint64_t dataLength = 0;
    uint64_t directoryLength = 0;
    std::optional<TCheckSummary> summary; // none when the check failed
};

TBackgroundCheck::TBackgroundCheck(const std::unique_ptr<TGTA3Archive>& archive, QObject* parent)
    : QObject(parent), FArchive(archive) {}

TBackgroundCheck::~TBackgroundCheck() {
    if (FThread) {
        FThread->wait();
        delete FThread;
    }
}

void TBackgroundCheck::Start() {
    ++FGeneration;
    FResult.reset();
    if (FWanted)
        return; // already asked for
    FWanted = true;
    // Begun from the event loop: a command that changes the archive in several
    // steps asks once per step, and an archive being opened shows first.
    QTimer::singleShot(0, this, [this] {
        if (FWanted && !FThread)
            Launch();
    });
}

void TBackgroundCheck::Discard() {
    ++FGeneration;
    FWanted = false;
    FResult.reset();
}

void TBackgroundCheck::SetResult(const TCheckSummary& summary) {
    Discard();
    FResult = summary;
}

void TBackgroundCheck::Launch() {
    FWanted = false;
    if (!FArchive)
        return;
    auto job = std::make_shared<Job>();
    try {
        const auto table = FArchive->Table();
        job->entries.assign(table.begin(), table.end());
        job->dataLength = FArchive->DataLength();
        job->directoryLength = FArchive->DirectoryLength();
    } catch (...) {
        emit Finished(); // no memory for the copy, or no length: nothing to tell
        return;
    }
    FJob = job;
    FRunningGeneration = FGeneration;
    FThread = QThread::create([job] {
        try {
            job->summary = CheckEntries(job->entries, job->dataLength, job->directoryLength, {});
        } catch (...) {
        }
        job->entries = {};
    });
    connect(FThread, &QThread::finished, this, &TBackgroundCheck::WorkerDone);
    FThread->start(QThread::LowPriority);
}

void TBackgroundCheck::WorkerDone() {
    FThread->wait();
    delete FThread;
    FThread = nullptr;
    const bool current = FRunningGeneration == FGeneration;
    FRunningGeneration = 0;
    const std::shared_ptr<Job> job = std::exchange(FJob, nullptr);
    if (FWanted) {
        Launch(); // the archive changed meanwhile: this result is of no use
        return;
    }
    if (current) {
        FResult = job->summary;
        emit Finished();
    }
}
