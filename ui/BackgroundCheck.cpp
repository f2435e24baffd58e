#include "ui/BackgroundCheck.h"

#include "archive/Gta3Archive.h"
#include "platform/Process.h"

#include <QEvent>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace {

// A hidden window is never painted: its check begins after this long.
constexpr int FirstPaintWaitMs = 1000;

} // namespace

struct TBackgroundCheck::Job {
    size_t count = 0; // entries to make room for
    std::vector<TArchiveEntry> entries;
    uint64_t dataLength = 0;
    uint64_t directoryLength = 0;
    TDirectoryFacts facts;
    std::optional<TCheckReport> report; // none when the check failed or was stopped
    std::stop_source stop;
};

TBackgroundCheck::TBackgroundCheck(const std::unique_ptr<TGTA3Archive>& archive, QObject* parent)
    : QObject(parent), FArchive(archive) {}

TBackgroundCheck::~TBackgroundCheck() {
    StopRunning();
    if (FThread) {
        FThread->wait();
        delete FThread;
    }
}

void TBackgroundCheck::StopRunning() {
    if (FJob)
        FJob->stop.request_stop();
}

void TBackgroundCheck::Start(QWidget* shownIn) {
    StopRunning();
    ++FGeneration;
    FReport.reset();
    FWanted = true;
    // Begun from the event loop, so a command that changes the archive in
    // several steps asks once per step.
    if (!shownIn) {
        QTimer::singleShot(0, this, &TBackgroundCheck::LaunchWanted);
        return;
    }
    if (FShownIn)
        FShownIn->removeEventFilter(this);
    FShownIn = shownIn;
    shownIn->installEventFilter(this);
    QTimer::singleShot(FirstPaintWaitMs, this, &TBackgroundCheck::LaunchWanted);
}

bool TBackgroundCheck::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FShownIn && event->type() == QEvent::Paint) {
        FShownIn->removeEventFilter(this);
        FShownIn = nullptr;
        QTimer::singleShot(0, this, &TBackgroundCheck::LaunchWanted); // once it is painted
    }
    return false;
}

void TBackgroundCheck::LaunchWanted() {
    if (FWanted && !FThread && FArchive && !FHeld)
        Prepare();
}

void TBackgroundCheck::SetHeld(bool held) {
    FHeld = held;
    if (!held)
        QTimer::singleShot(0, this, &TBackgroundCheck::LaunchWanted);
}

void TBackgroundCheck::Discard() {
    StopRunning();
    ++FGeneration;
    FWanted = false;
    FReport.reset();
}

void TBackgroundCheck::SetResult(const TCheckReport& report) {
    Discard();
    FReport = report;
}

void TBackgroundCheck::RunInWorker(std::function<void()> work, void (TBackgroundCheck::*then)()) {
    FThread = QThread::create([work = std::move(work)] {
        // Behind the window for the processor, yet never starved on a busy
        // machine as the idle class could be.
        LowerThreadPriority();
        work();
    });
    connect(FThread, &QThread::finished, this, [this, then] {
        FThread->wait();
        delete FThread;
        FThread = nullptr;
        (this->*then)();
    });
    FThread->start();
}

void TBackgroundCheck::Prepare() {
    // A million entries are 40 MB: the worker makes that memory ready first,
    // so that copying the table holds the window up for as little as can be.
    auto job = std::make_shared<Job>();
    job->count = static_cast<size_t>(FArchive->Count());
    FJob = job;
    RunInWorker(
        [job] {
            try {
                job->entries.resize(job->count);
            } catch (...) {
                job->entries = {};
            }
        },
        &TBackgroundCheck::CopyTable);
}

void TBackgroundCheck::CopyTable() {
    const std::shared_ptr<Job> job = FJob;
    if (!FWanted || !FArchive || FHeld) {
        FJob = nullptr; // discarded meanwhile, or wanted again once released
        return;
    }
    // The copy is of the archive as it stands now, changed meanwhile or not.
    FWanted = false;
    try {
        const auto table = FArchive->Table();
        job->entries.resize(table.size());
        std::copy(table.begin(), table.end(), job->entries.begin());
        job->dataLength = FArchive->DataLength();
        job->directoryLength = FArchive->DirectoryLength();
        job->facts = FArchive->DirectoryFacts();
    } catch (...) {
        FJob = nullptr;
        emit Finished(); // no memory for the copy, or no length: nothing to tell
        return;
    }
    FRunningGeneration = FGeneration;
    RunInWorker(
        [job] {
            try {
                job->report = CheckWithFindings(job->entries, job->dataLength, job->directoryLength,
                                                job->facts, job->stop.get_token());
            } catch (...) {
            }
            job->entries = {};
        },
        &TBackgroundCheck::CheckDone);
}

void TBackgroundCheck::CheckDone() {
    const bool current = FRunningGeneration == FGeneration;
    FRunningGeneration = 0;
    const std::shared_ptr<Job> job = std::exchange(FJob, nullptr);
    if (FWanted) {
        LaunchWanted(); // the archive changed meanwhile: this result is of no use
        return;
    }
    if (current) {
        FReport = job->report;
        emit Finished();
    }
}
